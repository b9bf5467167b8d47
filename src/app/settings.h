#pragma once
// The saved display and slideshow settings, plus the few slideshow fields
// that live only in memory.
#include <QString>
#include <cstdint>

namespace lumenta {

struct Settings {
    // Line 1 of Affich.cfg
    int16_t FullScreenSizeMode = 0;
    int16_t FullScreenBackColor = 0;
    // Line 2
    int16_t SlideShowType = 0;
    int16_t SlideSizeMode = 0;
    int16_t SlideOrder = 1;
    int16_t SlideBackColor = 1;
    int16_t SlidePauseSeconds = 0;
    int16_t SlideShowFileName = 0;
    int16_t SlideLoop = 1;
    // Line 3
    int16_t KeepSearchFolder = 0;
    // Line 4
    QString SearchFolder;

    // Not saved
    int16_t SlideMusicOn = 0;
    QString SlideMusicFile;
    int16_t SlideSource = 0;
    int16_t SelectionListValid = 0;

    bool operator==(const Settings&) const = default;
};

} // namespace lumenta
