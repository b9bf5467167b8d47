#pragma once
// Telling whether a file is a picture the program can read, from its header
// only: nothing is decoded. Files that are not regular files (FIFOs,
// devices, sockets) are refused without being opened for reading.
#include <QByteArray>
#include <QSize>
#include <QString>

namespace lumenta {

struct PictureProbe {
    bool picture = false;
    QByteArray format;        // "jpeg", "bmp", "wmf", ...
    QSize size;               // natural size when the header gives it
    QString mimeType() const; // "image/jpeg", or empty when unknown
};

// Blocks on file input: call it off the GUI thread.
PictureProbe probePicture(const QString& path);

} // namespace lumenta
