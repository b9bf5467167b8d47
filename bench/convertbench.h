#pragma once
// The conversion component's four operations on a photo.
#include <QString>

namespace lumenta {

// Prints the time and output size of each conversion of photo (a JPEG); 0
// on success.
int convertBench(const QString& photo, int runs);

} // namespace lumenta
