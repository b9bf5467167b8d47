#include "picture/pictureformats.h"

#include <QtEndian>

#include <cstring>

namespace lumenta {

const QStringList& pictureExtensions() {
    static const QStringList exts = {
        QStringLiteral("WMF"),  QStringLiteral("BMP"),  QStringLiteral("GIF"),
        QStringLiteral("JPG"),  QStringLiteral("ICO"),  QStringLiteral("CUR"),
        QStringLiteral("EMF"),  QStringLiteral("RLE"),  QStringLiteral("DIB"),
        QStringLiteral("JPE"),  QStringLiteral("JPEG"), QStringLiteral("JIF"),
        QStringLiteral("PNG"),  QStringLiteral("WEBP"), QStringLiteral("TIF"),
        QStringLiteral("TIFF"), QStringLiteral("TGA"),  QStringLiteral("SVG"),
        QStringLiteral("SVGZ"), QStringLiteral("HEIC"), QStringLiteral("HEIF"),
        QStringLiteral("AVIF"), QStringLiteral("JXL")};
    return exts;
}

bool isPictureExtension(const QString& upperExt) {
    return pictureExtensions().contains(upperExt, Qt::CaseSensitive);
}

namespace {

// An ISO base media box: its type and where its payload lies.
struct Box {
    QByteArray type;
    qsizetype payload = 0; // offset of the payload
    qsizetype end = 0;     // offset just past the box
};

// The box at offset `at` that must end by `limit`; false when malformed.
bool readBox(const QByteArray& data, qsizetype at, qsizetype limit, Box* box) {
    if (at < 0 || limit > data.size() || limit - at < 8)
        return false;
    const auto* p = reinterpret_cast<const uchar*>(data.constData()) + at;
    quint64 size = qFromBigEndian<quint32>(p);
    qsizetype header = 8;
    if (size == 1) { // 64-bit size
        if (limit - at < 16)
            return false;
        size = qFromBigEndian<quint64>(p + 8);
        header = 16;
    } else if (size == 0) { // to the end of the enclosing space
        size = quint64(limit - at);
    }
    if (size < quint64(header) || size > quint64(limit - at))
        return false;
    box->type = data.mid(at + 4, 4);
    box->payload = at + header;
    box->end = at + qsizetype(size);
    return true;
}

// The first child box of that type between begin and end.
bool findBox(const QByteArray& data, qsizetype begin, qsizetype end, const char* type, Box* out) {
    for (qsizetype at = begin; at < end;) {
        Box box;
        if (!readBox(data, at, end, &box))
            return false;
        if (box.type == type) {
            *out = box;
            return true;
        }
        at = box.end;
    }
    return false;
}

} // namespace

HelperFormat detectHelperFormat(const QByteArray& head) {
    static const char kJxlContainer[] = "\0\0\0\x0CJXL \x0D\x0A\x87\x0A";
    if (head.startsWith("\xFF\x0A") || head.startsWith(QByteArray(kJxlContainer, 12)))
        return HelperFormat::Jxl;
    if (head.size() < 16 || head.mid(4, 4) != "ftyp")
        return HelperFormat::None;
    // The major brand, then the compatible ones, within the ftyp box and
    // the bytes at hand.
    static const char* const brands[] = {"heic", "heix", "hevc", "hevx", "heim", "heis",
                                         "mif1", "msf1", "avif", "avis", "mif2"};
    const qsizetype boxEnd =
        qMin<qsizetype>(head.size(), qFromBigEndian<quint32>(head.constData()));
    for (qsizetype at = 8; at + 4 <= boxEnd; at += at == 8 ? 8 : 4) {
        const QByteArray brand = head.mid(at, 4);
        for (const char* b : brands)
            if (brand == b)
                return HelperFormat::Heif;
    }
    return HelperFormat::None;
}

bool heifDeclaresTransforms(const QByteArray& file) {
    Box meta, iprp, ipco;
    if (!findBox(file, 0, file.size(), "meta", &meta))
        return false;
    // 'meta' is a full box: version and flags come before its children.
    if (!findBox(file, meta.payload + 4, meta.end, "iprp", &iprp) ||
        !findBox(file, iprp.payload, iprp.end, "ipco", &ipco))
        return false;
    Box property;
    return findBox(file, ipco.payload, ipco.end, "irot", &property) ||
           findBox(file, ipco.payload, ipco.end, "imir", &property);
}

} // namespace lumenta
