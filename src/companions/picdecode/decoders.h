#pragma once
// The decoders of lumenta-picdecode. Each returns the upright picture, in
// whatever 32- or 24-bit format its decoder gives (it is converted once,
// into the shared memory it goes to the viewer in), and its natural size;
// when a box is given the picture may come smaller than natural (an
// embedded thumbnail) but never smaller than what fits the box.
#include <QByteArray>
#include <QImage>
#include <QString>

#include <functional>

namespace lumenta::picdecode {

struct Request {
    QSize box;              // empty: the natural size
    bool thumbnail = false; // embedded thumbnails welcome
    // Told the natural size as soon as it is known and allowed, before the
    // pixels are decoded.
    std::function<void(QSize natural)> naturalKnown;
};

struct Decoded {
    QImage image;
    QSize natural;
    QString error;
};

Decoded decodeHeif(const QByteArray& file, const Request& request);
// Has libheif decode HEVC with libde265 on every processor (once).
void useThreadedHevcDecoder();
Decoded decodeJxl(const QByteArray& file, const Request& request);

} // namespace lumenta::picdecode
