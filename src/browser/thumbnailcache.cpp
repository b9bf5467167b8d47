#include "browser/thumbnailcache.h"

#include "app/version.h"
#include "picture/pictureloader.h"

#include <QBuffer>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QtEndian>

#include <glib.h>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace lumenta {

namespace {

QString desktopRoot() {
    QString base = qEnvironmentVariable("XDG_CACHE_HOME");
    if (base.isEmpty() || !QDir::isAbsolutePath(base))
        base = QDir::homePath() + QStringLiteral("/.cache");
    return QDir::cleanPath(base + QStringLiteral("/thumbnails"));
}

// Makes folder and the missing folders above it, each 0700.
bool makePrivateFolder(const QString& folder) {
    const QByteArray f = QFile::encodeName(folder);
    struct stat st {};
    if (::stat(f.constData(), &st) == 0)
        return S_ISDIR(st.st_mode);
    const QString parent = QFileInfo(folder).path();
    if (parent != folder && !makePrivateFolder(parent))
        return false;
    return ::mkdir(f.constData(), 0700) == 0 || errno == EEXIST;
}

bool writeAll(int fd, const QByteArray& bytes) {
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += n;
    }
    return true;
}

QString failFolderName() {
    return QStringLiteral("lumenta-") + versionText();
}

// Any program may write entries: they are read only when they look like
// one. A normal entry with its texts takes a few dozen kilobytes; no
// thumbnail size is larger than 512 pixels a side.
constexpr qint64 kMaxEntryBytes = 1 << 20;
constexpr int kMaxEntrySide = 512;

// A PNG whose chunks all lie within the bytes, up to its IEND: the PNG
// reader trusts a chunk's length and would allocate what it declares.
bool chunksWithinFile(const QByteArray& png) {
    if (!png.startsWith("\x89PNG\r\n\x1a\n"))
        return false;
    qsizetype at = 8;
    while (at + 12 <= png.size()) {
        const quint32 length = qFromBigEndian<quint32>(png.constData() + at);
        if (length > quint64(png.size() - at - 12))
            return false;
        if (png.mid(at + 4, 4) == "IEND")
            return true;
        at += 12 + qsizetype(length);
    }
    return false;
}

} // namespace

FileStamp FileStamp::of(const QString& path) {
    FileStamp s;
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) == 0 && S_ISREG(st.st_mode)) {
        s.regular = true;
        s.mtime = qint64(st.st_mtim.tv_sec);
        s.size = qint64(st.st_size);
    }
    return s;
}

ThumbnailCache::ThumbnailCache(const QString& root)
    : m_root(root.isEmpty() ? desktopRoot() : QDir::cleanPath(root)) {
    const QString canonical = QFileInfo(m_root).canonicalFilePath();
    m_canonicalRoot = canonical.isEmpty() ? m_root : canonical;
}

QByteArray ThumbnailCache::uriFor(const QString& path) {
    const QByteArray file = QFile::encodeName(path);
    gchar* uri = g_filename_to_uri(file.constData(), nullptr, nullptr);
    if (!uri)
        return QByteArray();
    QByteArray out(uri);
    g_free(uri);
    return out;
}

QString ThumbnailCache::entryName(const QString& path) {
    const QByteArray md5 = QCryptographicHash::hash(uriFor(path), QCryptographicHash::Md5);
    return QString::fromLatin1(md5.toHex()) + QStringLiteral(".png");
}

QString ThumbnailCache::normalPath(const QString& path) const {
    return m_root + QStringLiteral("/normal/") + entryName(path);
}

QString ThumbnailCache::failPath(const QString& path) const {
    return m_root + QStringLiteral("/fail/") + failFolderName() + QLatin1Char('/') +
           entryName(path);
}

bool ThumbnailCache::covers(const QString& path) const {
    if (!QDir::isAbsolutePath(path))
        return false;
    const QString canonical = QFileInfo(path).canonicalFilePath();
    for (const QString& p : {QDir::cleanPath(path), canonical}) {
        if (p.isEmpty())
            continue;
        for (const QString& r : {m_root, m_canonicalRoot}) {
            if (p == r || p.startsWith(r + QLatin1Char('/')))
                return false;
        }
    }
    return true;
}

std::optional<QImage> ThumbnailCache::readValid(const QString& entryPath, const QString& path,
                                                const FileStamp& stamp) const {
    if (!stamp.regular || !covers(path))
        return std::nullopt;
    QFile file(entryPath);
    if (!file.open(QIODevice::ReadOnly) || file.size() > kMaxEntryBytes)
        return std::nullopt;
    QByteArray bytes = file.read(kMaxEntryBytes);
    if (!chunksWithinFile(bytes))
        return std::nullopt;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "png");
    const QSize sides = reader.size();
    if (sides.width() > kMaxEntrySide || sides.height() > kMaxEntrySide)
        return std::nullopt;
    QImage image = reader.read();
    if (image.isNull())
        return std::nullopt;
    if (image.text(QStringLiteral("Thumb::URI")).toUtf8() != uriFor(path))
        return std::nullopt;
    bool ok = false;
    if (image.text(QStringLiteral("Thumb::MTime")).toLongLong(&ok) != stamp.mtime || !ok)
        return std::nullopt;
    const QString size = image.text(QStringLiteral("Thumb::Size"));
    if (!size.isEmpty() && size.toLongLong() != stamp.size)
        return std::nullopt;
    return image;
}

std::optional<QImage> ThumbnailCache::lookup(const QString& path, const FileStamp& stamp) const {
    std::optional<QImage> image = readValid(normalPath(path), path, stamp);
    if (!image)
        return std::nullopt;
    // Thumbnailers of videos, documents and the like write entries too:
    // only one made for a picture stands for the picture.
    const QString mime = image->text(QStringLiteral("Thumb::Mimetype"));
    if (!mime.isEmpty() && !mime.startsWith(QLatin1String("image/")))
        return std::nullopt;
    return image;
}

bool ThumbnailCache::hasFailure(const QString& path, const FileStamp& stamp) const {
    return readValid(failPath(path), path, stamp).has_value();
}

QImage ThumbnailCache::normalImage(const QImage& picture) {
    if (picture.isNull())
        return QImage();
    if (picture.width() <= kNormalSide && picture.height() <= kNormalSide)
        return picture;
    return scaledSmooth(picture, QSize(kNormalSide, kNormalSide), Qt::KeepAspectRatio);
}

bool ThumbnailCache::write(const QString& folder, const QString& entry, const QImage& image,
                           const PngText& texts) const {
    if (!makePrivateFolder(folder))
        return false;
    const QByteArray png = encodeThumbnailPng(image, texts);
    if (png.isEmpty())
        return false;
    QByteArray temp = QFile::encodeName(folder + QStringLiteral("/.lumenta-XXXXXX"));
    const int fd = ::mkstemp(temp.data());
    if (fd < 0)
        return false;
    const bool written = ::fchmod(fd, 0600) == 0 && writeAll(fd, png);
    const bool closed = ::close(fd) == 0;
    const QByteArray target = QFile::encodeName(folder + QLatin1Char('/') + entry);
    if (written && closed && ::rename(temp.constData(), target.constData()) == 0)
        return true;
    ::unlink(temp.constData());
    return false;
}

bool ThumbnailCache::store(const QString& path, const FileStamp& stamp, const QImage& picture,
                           QSize naturalSize, const QString& mimeType) const {
    if (!stamp.regular || !covers(path) || picture.isNull())
        return false;
    const QByteArray uri = uriFor(path);
    if (uri.isEmpty())
        return false;
    PngText texts = {{"Thumb::URI", uri},
                     {"Thumb::MTime", QByteArray::number(stamp.mtime)},
                     {"Thumb::Size", QByteArray::number(stamp.size)}};
    if (!mimeType.isEmpty())
        texts.append({"Thumb::Mimetype", mimeType.toLatin1()});
    if (naturalSize.isValid()) {
        texts.append({"Thumb::Image::Width", QByteArray::number(naturalSize.width())});
        texts.append({"Thumb::Image::Height", QByteArray::number(naturalSize.height())});
    }
    texts.append({"Software", applicationTitle().toLatin1()});
    return write(m_root + QStringLiteral("/normal"), entryName(path), normalImage(picture), texts);
}

bool ThumbnailCache::storeFailure(const QString& path, const FileStamp& stamp) const {
    if (!stamp.regular || !covers(path))
        return false;
    const QByteArray uri = uriFor(path);
    if (uri.isEmpty())
        return false;
    QImage image(1, 1, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    const PngText texts = {{"Thumb::URI", uri},
                           {"Thumb::MTime", QByteArray::number(stamp.mtime)},
                           {"Software", applicationTitle().toLatin1()}};
    return write(m_root + QStringLiteral("/fail/") + failFolderName(), entryName(path), image,
                 texts);
}

void ThumbnailCache::forget(const QString& path) const {
    QFile::remove(normalPath(path));
    QFile::remove(failPath(path));
}

} // namespace lumenta
