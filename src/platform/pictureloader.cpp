#include "platform/pictureloader.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>

namespace lumenta {

namespace {

// Icons with more entries than this are looked at only this far.
constexpr int kMaxIconEntries = 64;

QImage readRaster(QIODevice* device, const QByteArray& format, QString* error) {
    device->seek(0);
    QImageReader reader(device, format);
    reader.setAutoTransform(true);
    if (format.isEmpty())
        reader.setDecideFormatFromContent(true);
    if (!reader.canRead()) {
        *error = reader.errorString();
        return QImage();
    }
    const QByteArray fmt = reader.format();
    if (fmt == "ico" || fmt == "cur") {
        // Several images: keep the largest (then the deepest).
        QImage best;
        const int count = qMin(reader.imageCount(), kMaxIconEntries);
        for (int i = 0; i < qMax(count, 1); ++i) {
            if (i > 0 && !reader.jumpToImage(i))
                break;
            QImage img = reader.read();
            if (img.isNull())
                continue;
            const qint64 area = qint64(img.width()) * img.height();
            const qint64 bestArea = qint64(best.width()) * best.height();
            if (best.isNull() || area > bestArea ||
                (area == bestArea && img.depth() > best.depth()))
                best = img;
        }
        if (best.isNull())
            *error = reader.errorString();
        return best;
    }
    QImage img = reader.read();
    if (img.isNull())
        *error = reader.errorString();
    return img;
}

} // namespace

QImage scaledSmooth(const QImage& image, const QSize& size, Qt::AspectRatioMode mode) {
    if (image.isNull() || size.isEmpty())
        return QImage();
    const QSize target = image.size().scaled(size, mode);
    constexpr int kOversample = 4;
    if (image.width() > target.width() * kOversample * 2 &&
        image.height() > target.height() * kOversample * 2) {
        const QImage reduced =
            image.scaled(target * kOversample, Qt::IgnoreAspectRatio, Qt::FastTransformation);
        return reduced.scaled(target, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    }
    return image.scaled(target, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

Picture loadPicture(const QString& path) {
    QImageReader::setAllocationLimit(kPictureAllocationLimitMB);
    Picture pic;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        pic.error = file.errorString();
        return pic;
    }
    if (file.size() == 0) {
        pic.error = QStringLiteral("empty file");
        return pic;
    }
    QString error;
    QImage img = readRaster(&file, QByteArray(), &error);
    if (img.isNull()) {
        // A device-independent bitmap without its file header.
        QString dibError;
        img = readRaster(&file, "dib", &dibError);
    }
    if (img.isNull()) {
        pic.error = error.isEmpty() ? QStringLiteral("unsupported picture") : error;
        return pic;
    }
    pic.kind = Picture::Kind::Raster;
    pic.image = std::move(img);
    return pic;
}

} // namespace lumenta
