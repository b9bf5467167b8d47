#include "picture/pictureloader.h"

#include "picture/metafile.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QFutureWatcher>
#include <QImageReader>
#include <QThread>
#include <QtConcurrent/QtConcurrentRun>

#include <mutex>

namespace lumenta {

namespace {

// Icons with more entries than this are looked at only this far.
constexpr int kMaxIconEntries = 64;
// Metafiles larger than this are not read.
constexpr qint64 kMaxMetafileBytes = 256 * 1024 * 1024;

// Files from this size on are decoded on a worker when the GUI thread asks.
constexpr qint64 kBackgroundBytes = 2 * 1024 * 1024;

bool onGuiThread() {
    return QCoreApplication::instance() &&
           QThread::currentThread() == QCoreApplication::instance()->thread();
}

// Runs fn on a worker while the windows keep repainting; user input waits
// until it is done, so nothing re-enters the caller meanwhile.
template <typename F> auto keepingWindowsPainted(F fn) -> decltype(fn()) {
    using Result = decltype(fn());
    QFutureWatcher<Result> watcher;
    QEventLoop loop;
    QObject::connect(&watcher, &QFutureWatcherBase::finished, &loop, &QEventLoop::quit);
    watcher.setFuture(QtConcurrent::run(std::move(fn)));
    if (!watcher.isFinished())
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    return watcher.result();
}

// A metafile's picture, or nothing when the file is no metafile.
bool loadMetafile(QFile& file, Picture& pic) {
    file.seek(0);
    const MetafileKind kind = detectMetafile(file.peek(64));
    if (kind == MetafileKind::None)
        return false;
    if (file.size() > kMaxMetafileBytes) {
        pic.error = QStringLiteral("metafile too large");
        return true;
    }
    const QByteArray bytes = file.readAll();
    QString error;
    QImage img = renderMetafile(bytes, kind, &error);
    if (img.isNull()) {
        pic.error = error.isEmpty() ? QStringLiteral("metafile cannot be rendered") : error;
        return true;
    }
    pic.kind = kind == MetafileKind::Wmf ? Picture::Kind::Wmf : Picture::Kind::Emf;
    pic.image = std::move(img);
    pic.metafileData = bytes;
    return true;
}

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

Picture loadNow(const QString& path) {
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
    if (loadMetafile(file, pic))
        return pic;
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
    static std::once_flag limitSet;
    std::call_once(limitSet, [] { QImageReader::setAllocationLimit(kPictureAllocationLimitMB); });
    if (!onGuiThread())
        return loadNow(path);
    // Small pictures decode in a blink; a large one, or a metafile (rendered
    // by a helper process), is loaded without freezing the windows.
    QFile file(path);
    const bool slow =
        file.open(QIODevice::ReadOnly) &&
        (file.size() >= kBackgroundBytes || detectMetafile(file.peek(64)) != MetafileKind::None);
    file.close();
    if (!slow)
        return loadNow(path);
    return keepingWindowsPainted([path] { return loadNow(path); });
}

} // namespace lumenta
