#pragma once
// The one way the program loads a picture file, whatever window asks:
// raster formats through Qt's readers (format from the content, EXIF
// orientation, the largest image of an icon), metafiles through the
// metafile renderer.
#include <QByteArray>
#include <QImage>
#include <QString>

namespace lumenta {

struct Picture {
    enum class Kind { None, Raster, Wmf, Emf };
    Kind kind = Kind::None;
    QImage image;            // what is drawn, at the picture's natural size
    QByteArray metafileData; // the file's own bytes for WMF and EMF
    QString error;           // why loading failed (for logs), empty on success

    bool isNull() const { return image.isNull(); }
    QSize size() const { return image.size(); }
};

// Loads a picture file. A file that is missing, empty, unreadable or not a
// picture gives a null Picture (kind None).
Picture loadPicture(const QString& path);

// A smooth (filtered) scaling of image to size that stays fast for large
// reductions: a huge picture is first reduced by plain sampling to a few
// times the target, then filtered down.
QImage scaledSmooth(const QImage& image, const QSize& size,
                    Qt::AspectRatioMode mode = Qt::IgnoreAspectRatio);

// Upper bound of the memory one decoded picture may take, in megabytes.
constexpr int kPictureAllocationLimitMB = 1024;

} // namespace lumenta
