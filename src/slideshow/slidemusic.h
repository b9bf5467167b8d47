#pragma once
// Background music of a slideshow, through a multimedia control: opened by
// the file's type, played, and started again from its beginning each time it
// completes. A file that cannot be opened or played leaves the show silent.
#include <QObject>
#include <QString>

namespace lumenta {

class MMControl;

class SlideMusic : public QObject {
    Q_OBJECT
public:
    // Drives `control` (owned by the caller, usually a hidden child of the
    // show window).
    explicit SlideMusic(MMControl* control, QObject* parent = nullptr);

    // Opens the file and starts playing; false when it cannot (no message).
    bool play(const QString& file);
    // Closes the device: the music stops.
    void stop();

private:
    void completed(int notifyCode);

    MMControl* m_control;
    bool m_playing = false;
};

} // namespace lumenta
