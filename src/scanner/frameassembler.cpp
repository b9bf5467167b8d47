#include "scanner/frameassembler.h"

#include "picture/pictureloader.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

namespace lumenta {

namespace {

// The top 8 bits of sample i of a line, at any depth.
inline uchar sample8(const uchar* line, qsizetype i, int depth) {
    if (depth == 8)
        return line[i];
    if (depth == 16) {
        quint16 v;
        std::memcpy(&v, line + 2 * i, 2); // host byte order
        return uchar(v >> 8);
    }
    return (line[i >> 3] >> (7 - (i & 7))) & 1 ? 255 : 0;
}

int channelsOf(FrameParams::Format f) {
    return f == FrameParams::Format::RGB ? 3 : 1;
}

// Bits per pixel of the picture the frames make.
int pictureDepth(const FrameParams& p) {
    if (p.format != FrameParams::Format::Gray)
        return 24;
    return p.depth == 1 ? 1 : 8;
}

} // namespace

bool FrameAssembler::begin(const FrameParams& p, QString* error) {
    auto fail = [error](const char* why) {
        if (error)
            *error = QString::fromLatin1(why);
        return false;
    };
    m_open = false;
    if (p.depth != 1 && p.depth != 8 && p.depth != 16)
        return fail("unsupported sample depth");
    if (p.pixelsPerLine <= 0 || p.bytesPerLine <= 0 || p.lines == 0 || p.lines < -1)
        return fail("empty frame");
    const qint64 needed = (qint64(p.pixelsPerLine) * channelsOf(p.format) * p.depth + 7) / 8;
    if (p.bytesPerLine < needed)
        return fail("lines shorter than their pixels");
    // The picture may take what any picture may: a frame announcing more
    // is refused before anything is reserved for it.
    if (!fitsAllocationLimit(QSize(p.pixelsPerLine, p.lines > 0 ? p.lines : 1), pictureDepth(p)))
        return fail("picture exceeds the allocation limit");

    const bool channel =
        p.format != FrameParams::Format::Gray && p.format != FrameParams::Format::RGB;
    // A single-channel frame after a full picture starts a new set of channels.
    if (!channel || m_kind != Kind::Channels) {
        m_gray = m_rgb = Plane();
        for (Plane& c : m_channels)
            c = Plane();
    }
    m_kind = p.format == FrameParams::Format::Gray  ? Kind::Gray
             : p.format == FrameParams::Format::RGB ? Kind::RGB
                                                    : Kind::Channels;
    m_p = p;
    m_grayMono = p.format == FrameParams::Format::Gray && p.depth == 1;
    Plane& t = target();
    t = Plane();
    t.width = p.pixelsPerLine;
    t.rowBytes = m_grayMono ? (p.pixelsPerLine + 7) / 8 : p.pixelsPerLine * channelsOf(p.format);
    if (p.lines > 0)
        t.rows.reserve(qsizetype(t.rowBytes) * p.lines);
    m_partial.clear();
    m_received = 0;
    m_linesDone = 0;
    m_open = true;
    return true;
}

FrameAssembler::Plane& FrameAssembler::target() {
    switch (m_p.format) {
    case FrameParams::Format::Gray:
        return m_gray;
    case FrameParams::Format::RGB:
        return m_rgb;
    case FrameParams::Format::Red:
        return m_channels[0];
    case FrameParams::Format::Green:
        return m_channels[1];
    case FrameParams::Format::Blue:
        break;
    }
    return m_channels[2];
}

qint64 FrameAssembler::expectedBytes() const {
    return m_p.lines > 0 ? qint64(m_p.lines) * m_p.bytesPerLine : -1;
}

void FrameAssembler::append(const char* data, qsizetype size) {
    if (!m_open || size <= 0)
        return;
    m_received += size;
    const qsizetype bpl = m_p.bytesPerLine;
    if (!m_partial.isEmpty()) {
        const qsizetype take = std::min(size, bpl - m_partial.size());
        m_partial.append(data, take);
        data += take;
        size -= take;
        if (m_partial.size() < bpl)
            return;
        convertLine(reinterpret_cast<const uchar*>(m_partial.constData()));
        m_partial.clear();
    }
    while (size >= bpl) {
        convertLine(reinterpret_cast<const uchar*>(data));
        data += bpl;
        size -= bpl;
    }
    if (size > 0)
        m_partial.append(data, size);
}

void FrameAssembler::convertLine(const uchar* line) {
    if (m_p.lines > 0 && m_linesDone >= m_p.lines)
        return;
    Plane& t = target();
    // A frame of unknown height ends where a picture may end.
    if (m_p.lines < 0 && !fitsAllocationLimit(QSize(t.width, t.height() + 1), pictureDepth(m_p)))
        throw std::bad_alloc();
    ++m_linesDone;
    const qsizetype at = t.rows.size();
    t.rows.resize(at + t.rowBytes);
    uchar* out = reinterpret_cast<uchar*>(t.rows.data()) + at;
    if (m_grayMono) {
        std::memcpy(out, line, size_t(t.rowBytes));
        return;
    }
    // Gray at 1 bit is the only frame where 1 means dark.
    const qsizetype samples = t.rowBytes;
    for (qsizetype i = 0; i < samples; ++i)
        out[i] = sample8(line, i, m_p.depth);
}

void FrameAssembler::end() {
    m_partial.clear();
    m_open = false;
}

QImage FrameAssembler::picture(double dpi) const {
    QImage img;
    auto copyRows = [&img](const Plane& p) {
        for (int y = 0; y < img.height(); ++y)
            std::memcpy(img.scanLine(y), p.rows.constData() + qsizetype(y) * p.rowBytes,
                        size_t(p.rowBytes));
    };
    switch (m_kind) {
    case Kind::None:
        return {};
    case Kind::Gray:
        if (m_gray.height() == 0)
            return {};
        img = QImage(m_gray.width, m_gray.height(),
                     m_grayMono ? QImage::Format_Mono : QImage::Format_Indexed8);
        if (img.isNull())
            return {};
        if (m_grayMono) {
            img.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});
        } else {
            QList<QRgb> ramp(256);
            for (int i = 0; i < 256; ++i)
                ramp[i] = qRgb(i, i, i);
            img.setColorTable(ramp);
        }
        copyRows(m_gray);
        break;
    case Kind::RGB:
        if (m_rgb.height() == 0)
            return {};
        img = QImage(m_rgb.width, m_rgb.height(), QImage::Format_RGB888);
        if (img.isNull())
            return {};
        copyRows(m_rgb);
        break;
    case Kind::Channels: {
        int w = 0, h = -1;
        for (const Plane& c : m_channels) {
            if (c.rowBytes == 0)
                continue;
            w = std::max(w, c.width);
            h = h < 0 ? c.height() : std::min(h, c.height());
        }
        if (w == 0 || h <= 0)
            return {};
        img = QImage(w, h, QImage::Format_RGB888);
        if (img.isNull())
            return {};
        img.fill(Qt::black);
        for (int c = 0; c < 3; ++c) {
            const Plane& p = m_channels[c];
            for (int y = 0; y < h && p.rowBytes; ++y) {
                const uchar* in =
                    reinterpret_cast<const uchar*>(p.rows.constData()) + qsizetype(y) * p.rowBytes;
                uchar* out = img.scanLine(y);
                for (int x = 0; x < p.width; ++x)
                    out[3 * x + c] = in[x];
            }
        }
        break;
    }
    }
    if (dpi > 0) {
        const int dpm = int(std::lround(dpi / 0.0254));
        img.setDotsPerMeterX(dpm);
        img.setDotsPerMeterY(dpm);
    }
    return img;
}

} // namespace lumenta
