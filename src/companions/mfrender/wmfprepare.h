#pragma once
// Work-arounds for libwmf, applied to the WMF records before playing them:
// - it skips a whole META_POLYPOLYGON record when one of its polygons has
//   fewer than three points (drawing programs write empty ones for text
//   outlines, so letters vanished): such polygons are dropped;
// - after META_SETMAPMODE to an isotropic or anisotropic mode it keeps the
//   old scale until the next extent change, so pens and fonts made right
//   after came out at the wrong size: the last META_SETWINDOWEXT is
//   repeated after such a record.
// A pure function on bytes, shared by the renderer helper and the tests.
#include <QByteArray>

namespace lumenta {

struct PreparedWmf {
    QByteArray data;
    int polygonsDropped = 0;
    int extentsRepeated = 0;
};

// Rewrites the records as described above; records from a malformed one on
// are copied unchanged, and bytes that are not a WMF come back untouched.
PreparedWmf prepareWmfForLibwmf(const QByteArray& wmf);

} // namespace lumenta
