#include "slideshow/slideshowrules.h"

#include "app/module1.h"

#include <algorithm>

namespace lumenta {

void normaliseSlideSettings(Settings& s) {
    if (s.SlideShowType != 1)
        s.SlideShowType = 0;
    if (s.SlideSizeMode < 1 || s.SlideSizeMode > 4)
        s.SlideSizeMode = 3;
    if (s.SlideOrder != 1 && s.SlideOrder != 2)
        s.SlideOrder = 1;
    if (s.SlideBackColor < 1 || s.SlideBackColor > 6)
        s.SlideBackColor = 1;
    if (s.SlidePauseSeconds <= 0)
        s.SlidePauseSeconds = 5;
    else if (s.SlidePauseSeconds > 60)
        s.SlidePauseSeconds = 60;
    s.SlideLoop = s.SlideLoop == 1 ? 1 : 0;
    s.SlideMusicOn = s.SlideMusicOn == 1 ? 1 : 0;
    s.SlideShowFileName = s.SlideShowFileName != 0 ? 1 : 0;
}

SourceChoice slideSourceChoice(int mainFileCount, int16_t selectionListValid, int16_t source) {
    SourceChoice c;
    c.folderEnabled = mainFileCount > 0;
    c.listEnabled = selectionListValid == 1;
    if (!c.folderEnabled && c.listEnabled)
        c.source = 1;
    else if (!c.listEnabled)
        c.source = 0;
    else
        c.source = source == 1 ? 1 : 0;
    return c;
}

QStringList showOrder(int16_t slideOrder, const QStringList& entries) {
    QStringList out = entries;
    if (slideOrder != 1)
        std::reverse(out.begin(), out.end());
    return out;
}

QString slideCaption(const QString& path, qint64 sizeBytes) {
    return QLatin1Char(' ') + path.toUpper() + QStringLiteral("  ") + printForm(sizeBytes) +
           QStringLiteral(" Octets");
}

QString musicDeviceType(const QString& file) {
    const QString end = file.right(3).toUpper();
    if (end == QLatin1String("WAV"))
        return QStringLiteral("WaveAudio");
    if (end == QLatin1String("MID"))
        return QStringLiteral("Sequencer");
    return QString();
}

ManualPosition manualPosition(int wanted, int count) {
    ManualPosition p;
    const int last = std::max(count - 1, 0);
    p.index = std::clamp(wanted, 0, last);
    p.previousEnabled = p.index > 0;
    p.nextEnabled = p.index < last;
    return p;
}

} // namespace lumenta
