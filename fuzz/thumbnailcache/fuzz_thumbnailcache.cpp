// Entries of the shared thumbnail cache, which any program of the desktop
// may write: the input is a normal entry and a failure record of one
// picture file (PNG, with the chunk checksums mended so that the fuzzer's
// changes reach the reader), looked up as the browser does.
#include "fuzzsupport.h"

#include "browser/thumbnailcache.h"
#include "picture/pictureloader.h"

#include <QDir>
#include <QFile>
#include <QImageReader>
#include <QtEndian>

#include <sys/stat.h>
#include <utime.h>
#include <zlib.h>

using namespace lumenta;

namespace {

// The picture the entries stand for: the same path and stamp in every run,
// so that the seeds' Thumb::URI and Thumb::MTime match it.
constexpr time_t kPictureMTime = 1700000000;
QString picturePath() {
    const QString base =
        QDir(QStringLiteral("/dev/shm")).exists() ? QStringLiteral("/dev/shm") : QDir::tempPath();
    return base + QStringLiteral("/lumenta-fuzz-thumbnail/photo.png");
}

// The chunks' CRCs made right, as far as the chunk layout is readable.
QByteArray mendChecksums(QByteArray png) {
    qsizetype at = 8;
    while (at + 12 <= png.size()) {
        const quint32 length = qFromBigEndian<quint32>(png.constData() + at);
        if (length > quint32(png.size() - at - 12))
            break;
        const auto* typeAndData = reinterpret_cast<const Bytef*>(png.constData() + at + 4);
        const quint32 crc = quint32(::crc32(0, typeAndData, uInt(length + 4)));
        qToBigEndian(crc, png.data() + at + 8 + length);
        at += 12 + qsizetype(length);
    }
    return png;
}

ThumbnailCache* cache;
FileStamp stamp;

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::startGuiApplication();
    // As the program, which sets it with its first picture.
    QImageReader::setAllocationLimit(kPictureAllocationLimitMB);
    const QString picture = picturePath();
    QDir().mkpath(QFileInfo(picture).path());
    if (!QFileInfo::exists(picture)) {
        const QString temp = fuzz::writeScratchFile(QStringLiteral("photo.png"), "picture\n");
        QFile::rename(temp, picture); // another run may have made it meanwhile
    }
    const utimbuf times{kPictureMTime, kPictureMTime};
    ::utime(QFile::encodeName(picture).constData(), &times);
    stamp = FileStamp::of(picture);
    if (!stamp.regular)
        std::abort();
    cache = new ThumbnailCache(fuzz::scratchFolder() + QStringLiteral("/thumbnails"));
    QDir().mkpath(QFileInfo(cache->normalPath(picture)).path());
    QDir().mkpath(QFileInfo(cache->failPath(picture)).path());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray entry =
        mendChecksums(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)));
    const QString picture = picturePath();
    QFile normal(cache->normalPath(picture)), fail(cache->failPath(picture));
    if (!normal.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        normal.write(entry) != entry.size() ||
        !fail.open(QIODevice::WriteOnly | QIODevice::Truncate) || fail.write(entry) != entry.size())
        std::abort();
    normal.close();
    fail.close();

    const std::optional<QImage> thumbnail = cache->lookup(picture, stamp);
    const bool failed = cache->hasFailure(picture, stamp);
    if (thumbnail) {
        LUMENTA_FUZZ_CHECK(!thumbnail->isNull());
        LUMENTA_FUZZ_CHECK(failed);
    }
    return 0;
}
