#pragma once
// The slideshow's rules that need no window: the settings as the settings
// window takes them, the source of the pictures, the order of a show, the
// caption under a picture and the music device.
#include "app/settings.h"

#include <QString>
#include <QStringList>

namespace lumenta {

// Replaces every slideshow value outside its range as the settings window
// does when it loads: show type 0 (automatic) unless 1, size rule 3 unless
// 1 to 4, order 1 unless 2, colour 1 unless 1 to 6, a pause of 0 or less 5
// and above 60 60; loop and music on only when 1, the file name caption on
// for any value but 0.
void normaliseSlideSettings(Settings& s);

// Where the pictures of an automatic show come from, and which of the two
// choices the user may take.
struct SourceChoice {
    int16_t source = 0;        // 0 the folder's pictures, 1 the selection list
    bool folderEnabled = true; // Option13
    bool listEnabled = false;  // Option14
    bool operator==(const SourceChoice&) const = default;
};
// From the number of files of the main list, the selection list's valid flag
// and the stored source.
SourceChoice slideSourceChoice(int mainFileCount, int16_t selectionListValid, int16_t source);

// One pass of an automatic show: the entries in list order (order 1) or the
// reverse (any other order).
QStringList showOrder(int16_t slideOrder, const QStringList& entries);

// The caption under a picture: " PATH  SIZE Octets" with the path in
// capitals and the size in the numeric print form.
QString slideCaption(const QString& path, qint64 sizeBytes);

// The music device for a file by the last three characters of its name:
// "WaveAudio" for WAV, "Sequencer" for MID, empty otherwise.
QString musicDeviceType(const QString& file);

// Where the manual show stands in a list of `count` files when the user asks
// for entry `wanted`: the index kept within the list, and whether "Image
// précédente" and "Image suivante" may be used from there.
struct ManualPosition {
    int index = 0;
    bool previousEnabled = false;
    bool nextEnabled = false;
    bool operator==(const ManualPosition&) const = default;
};
ManualPosition manualPosition(int wanted, int count);

} // namespace lumenta
