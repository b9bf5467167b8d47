#pragma once
// The main window's figures on a 24-megapixel JPEG, beside djpeg.
#include <QString>

namespace lumenta {

// Prints the figures for photo (a JPEG); 0 on success.
int viewerBench(const QString& photo, int runs);
// Opens the main window on folder, shows file, waits until all decoding is
// done and prints the peak resident memory in MB (run in a child process).
int peakMemoryRun(const QString& folder, const QString& file);

} // namespace lumenta
