#include "picture/picturesaver.h"

#include <QBuffer>
#include <QFileInfo>
#include <QImageWriter>
#include <QPainter>
#include <QSaveFile>

namespace lumenta {

QString bitmapNameFor(const QString& path) {
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    const qsizetype dot = path.lastIndexOf(QLatin1Char('.'));
    if (dot > slash && dot > slash + 1)
        return path.left(dot + 1) + QStringLiteral("BMP");
    if (path.isEmpty() || path.endsWith(QLatin1Char('/')))
        return path;
    return path + QStringLiteral(".BMP");
}

namespace {

QImage onWhite(const QImage& image) {
    if (!image.hasAlphaChannel())
        return image;
    QImage out(image.size(), QImage::Format_RGB32);
    out.fill(Qt::white);
    QPainter p(&out);
    p.drawImage(0, 0, image);
    return out;
}

} // namespace

std::optional<QByteArray> encodeForName(const QImage& image, const QString& path) {
    if (image.isNull())
        return std::nullopt;
    QByteArray format = QFileInfo(path).suffix().toLower().toLatin1();
    if (format.isEmpty())
        format = "bmp";
    if (format == "jpe" || format == "jif" || format == "jfif")
        format = "jpeg";
    if (!QImageWriter::supportedImageFormats().contains(format))
        return std::nullopt;
    QImage out = image;
    const bool keepsAlpha = format == "png" || format == "ico" || format == "cur" ||
                            format == "webp" || format == "tif" || format == "tiff";
    if (!keepsAlpha)
        out = onWhite(image);
    if ((format == "ico" || format == "cur") && (out.width() > 256 || out.height() > 256))
        out = out.scaled(256, 256, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    if (!writer.write(out))
        return std::nullopt;
    return bytes;
}

bool saveBmp(const QImage& image, const QString& path) {
    if (image.isNull() || path.isEmpty())
        return false;
    const QImage out = onWhite(image);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    QImageWriter writer(&file, "bmp");
    if (!writer.write(out)) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

} // namespace lumenta
