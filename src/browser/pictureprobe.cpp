#include "browser/pictureprobe.h"

#include "picture/metafile.h"
#include "picture/pictureformats.h"
#include "picture/pictureloader.h"
#include "picture/tgareader.h"

#include <QFile>
#include <QHash>
#include <QImageReader>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace lumenta {

namespace {

// Metafiles whose natural size needs more of the file than this are not
// recognised here (a plain WMF is read up to its window extent).
constexpr qint64 kMetafileHeadBytes = 1024 * 1024;

struct FdCloser {
    int fd;
    ~FdCloser() {
        if (fd >= 0)
            ::close(fd);
    }
};

} // namespace

QString PictureProbe::mimeType() const {
    static const QHash<QByteArray, QString> types = {
        {"jpeg", QStringLiteral("image/jpeg")},
        {"png", QStringLiteral("image/png")},
        {"gif", QStringLiteral("image/gif")},
        {"bmp", QStringLiteral("image/bmp")},
        {"dib", QStringLiteral("image/bmp")},
        {"ico", QStringLiteral("image/vnd.microsoft.icon")},
        {"cur", QStringLiteral("image/x-win-bitmap")},
        {"wmf", QStringLiteral("image/wmf")},
        {"emf", QStringLiteral("image/emf")},
        {"webp", QStringLiteral("image/webp")},
        {"tiff", QStringLiteral("image/tiff")},
        {"tga", QStringLiteral("image/x-tga")},
        {"svg", QStringLiteral("image/svg+xml")},
        {"svgz", QStringLiteral("image/svg+xml-compressed")},
        {"heif", QStringLiteral("image/heif")},
        {"jxl", QStringLiteral("image/jxl")},
    };
    return types.value(format);
}

PictureProbe probePicture(const QString& path) {
    PictureProbe probe;
    const QByteArray name = QFile::encodeName(path);
    struct stat st {};
    if (::stat(name.constData(), &st) != 0 || !S_ISREG(st.st_mode))
        return probe; // FIFOs, devices and sockets are not opened
    // O_NONBLOCK: should the file have been replaced by a FIFO meanwhile,
    // opening it does not wait for a writer; it is refused below.
    const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    const FdCloser closer{fd};
    if (fd < 0 || ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size == 0)
        return probe;
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);

    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::DontCloseHandle))
        return probe;
    const QByteArray head = file.peek(64);
    if (const MetafileKind kind = detectMetafile(head); kind != MetafileKind::None) {
        const QByteArray bytes = file.read(kMetafileHeadBytes);
        probe.size = metafileNaturalSize(bytes, kind);
        probe.format = kind == MetafileKind::Wmf ? "wmf" : "emf";
        probe.picture = probe.size.isValid() && !probe.size.isEmpty();
        return probe;
    }
    // HEIF, AVIF and JPEG XL are decoded out of process: their signature is
    // all that is read here, as for the formats that keep their size.
    if (const HelperFormat helper = detectHelperFormat(head); helper != HelperFormat::None) {
        probe.format = helper == HelperFormat::Heif ? "heif" : "jxl";
        probe.picture = true;
        return probe;
    }
    // TGA has no signature (the loader's rules, picture/tgareader.h).
    if (const std::optional<TgaHeader> tga = detectTga(&file, path)) {
        probe.format = "tga";
        probe.size = tga->size;
        probe.picture = sizeReadable("tga", probe.size);
        return probe;
    }
    for (const QByteArray& format : {QByteArray(), QByteArray("dib")}) {
        file.seek(0);
        QImageReader reader(&file, format);
        reader.setDecideFormatFromContent(format.isEmpty());
        if (!reader.canRead() || reader.format() == "tga")
            continue;
        probe.format = reader.format();
        probe.size = reader.size();
        // Formats that do not give their size before decoding are taken on
        // the word of their header check.
        probe.picture = !reader.supportsOption(QImageIOHandler::Size) ||
                        (probe.size.isValid() && sizeReadable(probe.format, probe.size));
        return probe;
    }
    return probe;
}

} // namespace lumenta
