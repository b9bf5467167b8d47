#pragma once
// Work-around for libwmf, applied to the WMF records before playing them:
// libwmf skips a whole META_POLYPOLYGON record when one of its polygons has
// fewer than three points (drawing programs write empty ones for text
// outlines, so letters vanished). Such polygons are dropped from the record.
// A pure function on bytes, shared by the renderer helper and the tests.
#include <QByteArray>

namespace lumenta {

struct PreparedWmf {
    QByteArray data;
    int polygonsDropped = 0;
};

// Rewrites the records as described above; records from a malformed one on
// are copied unchanged, and bytes that are not a WMF come back untouched.
PreparedWmf prepareWmfForLibwmf(const QByteArray& wmf);

} // namespace lumenta
