// PNG read by parts, by a decoder of our own on zlib. The compressed rows
// can only be read from the top; to spare reading a large file from its
// top for every part, each pass remembers where it stood every few rows
// (a copy of the inflater's state, the file position and the row above),
// and later passes start from the nearest such point above their parts.
// Interlaced files are read whole for their parts (their rows are spread
// over seven passes) and reduced from their first pass alone.
#include "picture/partdecoders.h"

#include "picture/orientation.h"
#include "picture/pictureloader.h"
#include "picture/pngrows.h"
#include "picture/streamreducer.h"

#include <QFile>
#include <QMutex>
#include <QtEndian>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include <zlib.h>

namespace lumenta {

namespace {

constexpr size_t kReadBytes = 256 * 1024;
// zlib's state and window in one resume point.
constexpr qint64 kInflaterBytes = 48 * 1024;
// deflate never packs more than 1032 bytes into one.
constexpr qint64 kMaxDeflateRatio = 1032;
// Rows of a pass between two reports of progress.
constexpr int kCancelCheckRows = 16;

struct Inflater {
    z_stream z{};
    bool live = false;
    Inflater() = default;
    Inflater(const Inflater&) = delete;
    Inflater& operator=(const Inflater&) = delete;
    ~Inflater() {
        if (live)
            inflateEnd(&z);
    }
};

// Where a pass stood before a row: what it needs to go on from there.
struct ResumePoint {
    int row = 0;
    qint64 filePos = 0;   // the next compressed byte
    qint64 chunkLeft = 0; // bytes of the current IDAT chunk from there
    std::shared_ptr<Inflater> inflater;
    std::vector<uchar> above; // the unfiltered row above
};

// One pass over the compressed rows of a file.
class RowReader {
public:
    RowReader(const PngHeader& h, LoadProgress* progress) : m_h(h), m_progress(progress) {}
    ~RowReader() {
        if (m_file)
            std::fclose(m_file);
    }

    bool open(const QString& path, QString* error) {
        m_file = std::fopen(QFile::encodeName(path).constData(), "rb");
        if (!m_file) {
            *error = QStringLiteral("the file cannot be opened");
            return false;
        }
        m_in.resize(kReadBytes);
        return true;
    }

    // Starts at the first row, or at a resume point.
    bool start(const ResumePoint* from, QString* error) {
        m_inflater = std::make_unique<Inflater>();
        if (from) {
            if (inflateCopy(&m_inflater->z, &from->inflater->z) != Z_OK) {
                *error = QStringLiteral("out of memory");
                return false;
            }
            m_inflater->live = true;
            m_row = from->row;
            m_chunkLeft = from->chunkLeft;
            m_afterChunk = true; // inside or at the end of a chunk's data
            m_above = from->above;
            return seek(from->filePos, error);
        }
        if (inflateInit(&m_inflater->z) != Z_OK) {
            *error = QStringLiteral("out of memory");
            return false;
        }
        m_inflater->live = true;
        m_row = 0;
        m_chunkLeft = 0;
        m_afterChunk = false;
        m_above.assign(size_t(m_h.rowBytes), 0);
        return seek(m_h.firstIdat, error);
    }

    // Reads the next row of `bytes` unfiltered bytes (a pass of an
    // interlaced picture starts with a fresh row above).
    const uchar* next(qsizetype bytes, bool firstOfPass, QString* error) {
        m_raw.resize(size_t(bytes) + 1);
        z_stream& z = m_inflater->z;
        z.next_out = m_raw.data();
        z.avail_out = uInt(bytes + 1);
        while (z.avail_out > 0) {
            if (z.avail_in == 0 && !refill(error))
                return nullptr;
            const int r = inflate(&z, Z_NO_FLUSH);
            if (r == Z_STREAM_END && z.avail_out > 0) {
                *error = QStringLiteral("the compressed rows end early");
                return nullptr;
            }
            if (r != Z_OK && r != Z_STREAM_END && r != Z_BUF_ERROR) {
                *error = QStringLiteral("damaged compressed rows");
                return nullptr;
            }
        }
        if (firstOfPass || m_above.size() != size_t(bytes))
            m_above.assign(size_t(bytes), 0);
        if (!unfilterRow(m_raw[0], m_raw.data() + 1, m_above.data(), bytes, m_h.filterBytes)) {
            *error = QStringLiteral("unknown row filter");
            return nullptr;
        }
        std::memcpy(m_above.data(), m_raw.data() + 1, size_t(bytes));
        ++m_row;
        return m_above.data();
    }

    int row() const { return m_row; }
    bool cancelled() const { return m_progress && m_progress->isCancelled(); }

    // Where the pass stands now, to resume at the next row.
    std::shared_ptr<ResumePoint> resumePoint() const {
        auto point = std::make_shared<ResumePoint>();
        point->inflater = std::make_shared<Inflater>();
        if (inflateCopy(&point->inflater->z, &m_inflater->z) != Z_OK)
            return nullptr;
        point->inflater->live = true;
        const z_stream& z = m_inflater->z;
        point->row = m_row;
        point->filePos = m_bufferPos + qint64(z.next_in - m_in.data());
        point->chunkLeft = m_chunkLeft + z.avail_in;
        point->above = m_above;
        return point;
    }

private:
    bool seek(qint64 pos, QString* error) {
        m_inflater->z.next_in = m_in.data();
        m_inflater->z.avail_in = 0;
        m_bufferPos = pos;
        if (std::fseek(m_file, long(pos), SEEK_SET) != 0) {
            *error = QStringLiteral("the file cannot be read");
            return false;
        }
        return true;
    }

    // Reads more compressed bytes, from the next IDAT chunk when the
    // current one is used up.
    bool refill(QString* error) {
        while (m_chunkLeft == 0) {
            uchar head[12];
            const size_t skip = m_afterChunk ? 4 : 0; // the CRC of the chunk before
            if (std::fread(head, 1, 8 + skip, m_file) != 8 + skip ||
                std::memcmp(head + skip + 4, "IDAT", 4) != 0) {
                *error = QStringLiteral("the compressed rows end early");
                return false;
            }
            m_chunkLeft = qFromBigEndian<quint32>(head + skip);
            m_afterChunk = true;
        }
        m_bufferPos = std::ftell(m_file);
        const size_t n = size_t(std::min<qint64>(m_chunkLeft, qint64(m_in.size())));
        if (std::fread(m_in.data(), 1, n, m_file) != n) {
            *error = QStringLiteral("the file is shorter than its chunks say");
            return false;
        }
        m_chunkLeft -= qint64(n);
        m_inflater->z.next_in = m_in.data();
        m_inflater->z.avail_in = uInt(n);
        return true;
    }

    const PngHeader& m_h;
    LoadProgress* m_progress;
    std::FILE* m_file = nullptr;
    std::vector<uchar> m_in;
    qint64 m_bufferPos = 0; // file position of m_in[0]
    qint64 m_chunkLeft = 0; // bytes of the current chunk not read yet
    bool m_afterChunk = false;
    std::unique_ptr<Inflater> m_inflater;
    std::vector<uchar> m_raw;
    std::vector<uchar> m_above;
    int m_row = 0;
};

class PngParts : public PartDecoder {
public:
    PngParts(QString path, const PngHeader& header) : m_path(std::move(path)), m_h(header) {
        const qint64 perPoint = kInflaterBytes + m_h.rowBytes;
        const qint64 points = std::max<qint64>(1, kResumePointBytes / perPoint);
        m_every = int(std::max<qint64>(32, (qint64(m_h.height) + points - 1) / points));
    }

    bool decodeParts(const QList<QRect>& parts, const PartReady& ready, LoadProgress* progress,
                     QString* error) const override {
        if (parts.isEmpty())
            return true;
        return m_h.interlaced ? interlacedParts(parts, ready, progress, error)
                              : sequentialParts(parts, ready, progress, error);
    }

    QImage decodeReduced(QSize size, bool fast, LoadProgress* progress,
                         QString* error) const override;

private:
    std::shared_ptr<const ResumePoint> nearestAbove(int row) const {
        QMutexLocker lock(&m_mutex);
        const auto it = std::upper_bound(m_points.begin(), m_points.end(), row,
                                         [](int r, const auto& p) { return r < p->row; });
        return it == m_points.begin() ? nullptr : *std::prev(it);
    }

    // Keeps where the reader stands when it is at a row worth remembering.
    void remember(const RowReader& reader) const {
        const int row = reader.row();
        if (row == 0 || row % m_every != 0)
            return;
        {
            QMutexLocker lock(&m_mutex);
            if (std::any_of(m_points.begin(), m_points.end(),
                            [row](const auto& p) { return p->row == row; }))
                return;
        }
        std::shared_ptr<ResumePoint> point = reader.resumePoint();
        if (!point)
            return;
        QMutexLocker lock(&m_mutex);
        const auto at = std::lower_bound(m_points.begin(), m_points.end(), row,
                                         [](const auto& p, int r) { return p->row < r; });
        if (at == m_points.end() || (*at)->row != row)
            m_points.insert(at, std::move(point));
    }

    bool sequentialParts(const QList<QRect>& parts, const PartReady& ready, LoadProgress* progress,
                         QString* error) const;
    bool interlacedParts(const QList<QRect>& parts, const PartReady& ready, LoadProgress* progress,
                         QString* error) const;
    QImage::Format partFormat() const {
        return m_h.alpha ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32;
    }

    QString m_path;
    PngHeader m_h;
    int m_every = 0; // rows between resume points
    mutable QMutex m_mutex;
    mutable std::vector<std::shared_ptr<const ResumePoint>> m_points; // by row
};

bool PngParts::sequentialParts(const QList<QRect>& parts, const PartReady& ready,
                               LoadProgress* progress, QString* error) const {
    int top = parts.first().top(), bottom = parts.first().bottom();
    for (const QRect& part : parts) {
        top = std::min(top, part.top());
        bottom = std::max(bottom, part.bottom());
    }
    RowReader reader(m_h, progress);
    if (!reader.open(m_path, error))
        return false;
    const std::shared_ptr<const ResumePoint> from = nearestAbove(top);
    if (!reader.start(from.get(), error))
        return false;
    std::vector<QImage> images(size_t(parts.size()));
    while (reader.row() <= bottom) {
        const int y = reader.row();
        const uchar* row = reader.next(m_h.rowBytes, false, error);
        if (!row)
            return false;
        remember(reader);
        for (int i = 0; i < parts.size(); ++i) {
            const QRect& part = parts[i];
            if (y < part.top() || y > part.bottom())
                continue;
            QImage& image = images[size_t(i)];
            if (image.isNull()) {
                image = QImage(part.size(), partFormat());
                if (image.isNull()) {
                    *error = QStringLiteral("out of memory");
                    return false;
                }
            }
            pngPixels(m_h, row, part.x(), part.width(),
                      reinterpret_cast<quint32*>(image.scanLine(y - part.top())));
            if (y == part.bottom()) {
                ready(i, image);
                image = QImage();
            }
        }
        if (y % kCancelCheckRows == 0 && reader.cancelled()) {
            *error = QStringLiteral("cancelled");
            return false;
        }
    }
    return true;
}

bool PngParts::interlacedParts(const QList<QRect>& parts, const PartReady& ready,
                               LoadProgress* progress, QString* error) const {
    std::vector<QImage> images;
    for (const QRect& part : parts) {
        images.emplace_back(part.size(), partFormat());
        if (images.back().isNull()) {
            *error = QStringLiteral("out of memory");
            return false;
        }
    }
    RowReader reader(m_h, progress);
    if (!reader.open(m_path, error) || !reader.start(nullptr, error))
        return false;
    std::vector<quint32> pixels;
    for (const Adam7Pass& pass : adam7Passes(m_h)) {
        pixels.resize(size_t(pass.columns));
        for (int r = 0; r < pass.rows; ++r) {
            const uchar* row = reader.next(pass.rowBytes, r == 0, error);
            if (!row)
                return false;
            const int y = pass.y0 + r * pass.dy;
            bool converted = false;
            for (size_t i = 0; i < images.size(); ++i) {
                const QRect& part = parts[int(i)];
                if (y < part.top() || y > part.bottom())
                    continue;
                if (!converted)
                    pngPixels(m_h, row, 0, pass.columns, pixels.data());
                converted = true;
                auto* out = reinterpret_cast<quint32*>(images[i].scanLine(y - part.top()));
                const int c0 = std::max(0, (part.left() - pass.x0 + pass.dx - 1) / pass.dx);
                for (int c = c0; c < pass.columns; ++c) {
                    const int x = pass.x0 + c * pass.dx;
                    if (x > part.right())
                        break;
                    out[x - part.left()] = pixels[size_t(c)];
                }
            }
            if (r % kCancelCheckRows == 0 && reader.cancelled()) {
                *error = QStringLiteral("cancelled");
                return false;
            }
        }
    }
    for (size_t i = 0; i < images.size(); ++i)
        ready(int(i), images[i]);
    return true;
}

QImage PngParts::decodeReduced(QSize size, bool, LoadProgress* progress, QString* error) const {
    RowReader reader(m_h, progress);
    if (!reader.open(m_path, error) || !reader.start(nullptr, error))
        return QImage();
    // An interlaced picture is reduced from its first pass: every eighth
    // pixel of every eighth row.
    const Adam7Pass whole{0, 0, 1, 1, int(m_h.width), int(m_h.height), m_h.rowBytes};
    const Adam7Pass pass = m_h.interlaced ? adam7Passes(m_h).front() : whole;
    StreamReducer reducer(QSize(pass.columns, pass.rows),
                          size.boundedTo(QSize(pass.columns, pass.rows)), m_h.alpha);
    if (!reducer.isValid()) {
        *error = QStringLiteral("out of memory");
        return QImage();
    }
    std::vector<quint32> pixels(size_t(pass.columns));
    for (int r = 0; r < pass.rows; ++r) {
        const uchar* row = reader.next(pass.rowBytes, r == 0, error);
        if (!row)
            return QImage();
        if (!m_h.interlaced)
            remember(reader);
        pngPixels(m_h, row, 0, pass.columns, pixels.data());
        reducer.addRows(pixels.data(), pass.columns, 1);
        if (r % kCancelCheckRows == 0 && progress)
            progress->giveWay();
        if (r % kCancelCheckRows == 0 && reader.cancelled()) {
            *error = QStringLiteral("cancelled");
            return QImage();
        }
    }
    QImage out = reducer.result();
    if (!out.isNull() && out.size() != size)
        out = scaledSmooth(out, size);
    return out;
}

} // namespace

PartSource openPngParts(const QString& path) {
    PartSource out;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        out.error = file.errorString();
        return out;
    }
    PngHeader h;
    if (!readPngHeader(file, &h, &out.error))
        return out;
    // A file far shorter than its rows could ever be packed into has
    // lied about its size.
    const qint64 rawBytes = (h.rowBytes + 1) * qint64(h.height);
    if (h.idatBytes < rawBytes / kMaxDeflateRatio) {
        out.error = QStringLiteral("the file is too short for the size its header gives");
        return out;
    }
    file.seek(0);
    out.orientation = containerExifOrientation(&file);
    out.stored = QSize(int(h.width), int(h.height));
    out.decoder = std::make_unique<PngParts>(path, h);
    return out;
}

} // namespace lumenta
