#include "slideshow/slidemusic.h"

#include "slideshow/slideshowrules.h"
#include "widgets/mmcontrol.h"

namespace lumenta {

SlideMusic::SlideMusic(MMControl* control, QObject* parent) : QObject(parent), m_control(control) {
    connect(m_control, &MMControl::done, this, &SlideMusic::completed);
}

bool SlideMusic::play(const QString& file) {
    MMControl& mm = *m_control;
    // Never Wait: a waiting command would hold the show until the music ends.
    mm.setNotify(true);
    mm.setWait(false);
    mm.setShareable(false);
    mm.setDeviceType(musicDeviceType(file));
    mm.setFileName(file);
    if (!mm.command(QStringLiteral("Open"))) {
        m_playing = false;
        return false;
    }
    mm.setNotify(true);
    m_playing = mm.command(QStringLiteral("play"));
    return m_playing;
}

void SlideMusic::stop() {
    m_playing = false;
    m_control->command(QStringLiteral("Close"));
}

void SlideMusic::completed(int notifyCode) {
    if (!m_playing || notifyCode != MMControl::NotifySuccessful)
        return;
    // From the beginning again.
    m_control->command(QStringLiteral("prev"));
    m_control->setTo(0);
    m_control->command(QStringLiteral("seek"));
    m_control->command(QStringLiteral("play"));
}

} // namespace lumenta
