#include "picture/streamreducer.h"

#include "picture/pictureloader.h"

#include <algorithm>
#include <cstring>

namespace lumenta {

namespace {

// k x k x 255 must fit the 32-bit sums.
constexpr int kMaxFactor = 256;

} // namespace

StreamReducer::StreamReducer(QSize source, QSize target, bool alpha)
    : m_source(source), m_target(target.boundedTo(source)) {
    if (source.isEmpty() || m_target.isEmpty())
        return;
    m_k =
        std::clamp(std::min(source.width() / m_target.width(), source.height() / m_target.height()),
                   1, kMaxFactor);
    const QSize blocks((source.width() + m_k - 1) / m_k, (source.height() + m_k - 1) / m_k);
    m_blocks = QImage(blocks, alpha ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32);
    if (m_blocks.isNull())
        return;
    m_blocks.fill(alpha ? Qt::transparent : Qt::black);
    m_sums.assign(size_t(blocks.width()) * 4, 0);
}

void StreamReducer::addRows(const quint32* rows, qsizetype stride, int count) {
    if (!isValid())
        return;
    count = std::min(count, rowsLeft());
    const int w = m_source.width(), k = m_k;
    for (int r = 0; r < count; ++r) {
        const quint32* in = rows + r * stride;
        quint32* sum = m_sums.data();
        if (k == 1) {
            for (int x = 0; x < w; ++x, sum += 4) {
                const quint32 p = in[x];
                sum[0] += p & 0xff;
                sum[1] += (p >> 8) & 0xff;
                sum[2] += (p >> 16) & 0xff;
                sum[3] += p >> 24;
            }
        } else {
            for (int x0 = 0; x0 < w; x0 += k, sum += 4) {
                const int x1 = std::min(w, x0 + k);
                quint32 a = 0, b = 0, c = 0, d = 0;
                for (int x = x0; x < x1; ++x) {
                    const quint32 p = in[x];
                    a += p & 0xff;
                    b += (p >> 8) & 0xff;
                    c += (p >> 16) & 0xff;
                    d += p >> 24;
                }
                sum[0] += a;
                sum[1] += b;
                sum[2] += c;
                sum[3] += d;
            }
        }
        ++m_row;
        if (++m_rowsInBlock == k || m_row == m_source.height())
            flushBlockRow();
    }
}

void StreamReducer::addRowsAt(int y, const quint32* rows, qsizetype stride, int count) {
    if (!isValid() || y < 0 || y % m_k != 0)
        return;
    if (y != m_row) {
        if (m_rowsInBlock > 0)
            flushBlockRow();
        m_row = y;
    }
    addRows(rows, stride, count);
}

void StreamReducer::flushBlockRow() {
    const int by = (m_row - 1) / m_k;
    auto* out = reinterpret_cast<quint32*>(m_blocks.scanLine(by));
    const int w = m_source.width();
    const quint32* sum = m_sums.data();
    for (int bx = 0; bx < m_blocks.width(); ++bx, sum += 4) {
        const quint32 cols = quint32(std::min(m_k, w - bx * m_k));
        const quint32 n = cols * quint32(m_rowsInBlock), half = n / 2;
        out[bx] = ((sum[0] + half) / n) | (((sum[1] + half) / n) << 8) |
                  (((sum[2] + half) / n) << 16) | (((sum[3] + half) / n) << 24);
    }
    std::fill(m_sums.begin(), m_sums.end(), 0);
    m_rowsInBlock = 0;
}

QImage StreamReducer::result() {
    if (!isValid())
        return QImage();
    if (m_rowsInBlock > 0)
        flushBlockRow();
    if (m_blocks.size() == m_target)
        return m_blocks;
    return scaledSmooth(m_blocks, m_target);
}

// Here rather than beside the loader: the libvips module reduces with it too.
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

} // namespace lumenta
