#include "picture/picturesaver.h"

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

bool saveBmp(const QImage& image, const QString& path) {
    if (image.isNull() || path.isEmpty())
        return false;
    QImage out;
    if (image.hasAlphaChannel()) {
        out = QImage(image.size(), QImage::Format_RGB32);
        out.fill(Qt::white);
        QPainter p(&out);
        p.drawImage(0, 0, image);
    } else {
        out = image;
    }
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
