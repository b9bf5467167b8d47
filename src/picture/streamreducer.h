#pragma once
// Reduces a picture that arrives row by row from its top, holding only the
// reduced result: blocks of k x k pixels are averaged as their rows arrive
// (k the largest whole factor that keeps the result at least the target
// size), and the averaged picture is filtered to the exact size at the end.
// Used for overviews and thumbnails of pictures too large to be held whole.
#include <QImage>
#include <QSize>

#include <vector>

namespace lumenta {

class StreamReducer {
public:
    // Pixels are 32-bit: RGB32, or ARGB32_Premultiplied when `alpha`.
    StreamReducer(QSize source, QSize target, bool alpha);

    // False when the memory for the result could not be had.
    bool isValid() const { return !m_blocks.isNull(); }
    // The factor blocks are averaged by.
    int factor() const { return m_k; }

    // `count` more rows of the source, `stride` pixels apart (the rows
    // beyond the source's height are ignored).
    void addRows(const quint32* rows, qsizetype stride, int count);
    // Rows from row y on, y a multiple of factor(): bands of whole blocks
    // may come in any order.
    void addRowsAt(int y, const quint32* rows, qsizetype stride, int count);
    // Rows the source still owes (given in order).
    int rowsLeft() const { return m_source.height() - m_row; }

    // The picture at the target size (the rows not given stay black).
    QImage result();

private:
    void flushBlockRow();

    QSize m_source;
    QSize m_target;
    int m_k = 1;
    int m_row = 0;               // source rows taken so far
    int m_rowsInBlock = 0;       // of the block row being summed
    QImage m_blocks;             // the averaged picture
    std::vector<quint32> m_sums; // per block column, 4 channels
};

} // namespace lumenta
