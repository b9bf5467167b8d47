#pragma once
// The decoders of lumenta-picdecode. Each returns the upright picture
// (RGB32, or ARGB32_Premultiplied when it has transparency) and its
// natural size; when a box is given the picture may come smaller than
// natural (an embedded thumbnail, an early progressive pass) but never
// smaller than what fits the box. The pixels come with the colours they
// are in (the file's ICC profile or coded primaries and transfer), which
// the viewer converts.
#include "picture/colourspace.h"

#include <QByteArray>
#include <QImage>
#include <QString>

namespace lumenta::picdecode {

struct Request {
    QSize box;              // empty: the natural size
    bool thumbnail = false; // embedded thumbnails welcome
};

struct Decoded {
    QImage image;
    QSize natural;
    ColourSpace colours;
    QString error;
};

Decoded decodeHeif(const QByteArray& file, const Request& request);
Decoded decodeJxl(const QByteArray& file, const Request& request);

} // namespace lumenta::picdecode
