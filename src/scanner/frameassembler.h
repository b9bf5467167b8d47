#pragma once
// Turns the frames a scanner sends into one picture. A frame is a run of
// lines of bytes_per_line bytes each (the bytes past the pixels are padding);
// samples of 1, 8 or 16 bits (16-bit ones in the host's byte order). Gray
// frames at 1 bit use 1 for black, colour frames 1 for full intensity. A
// colour picture comes as one RGB frame or as a red, a green and a blue frame
// in any order. The number of lines may be unknown until the data ends.
#include <QByteArray>
#include <QImage>
#include <QString>

namespace lumenta {

struct FrameParams {
    enum class Format { Gray, RGB, Red, Green, Blue };
    Format format = Format::Gray;
    bool lastFrame = true;
    int bytesPerLine = 0;
    int pixelsPerLine = 0;
    int lines = -1; // -1: unknown
    int depth = 8;
};

class FrameAssembler {
public:
    // Starts a frame. False (with the reason) when its parameters cannot
    // describe a picture, or one larger than a picture may be (see
    // kPictureAllocationLimitMB).
    bool begin(const FrameParams& params, QString* error = nullptr);
    // Adds the frame's next bytes, in any slicing. Lines past a known line
    // count are ignored. Throws std::bad_alloc when memory runs out, and
    // when a frame of unknown height grows larger than a picture may be.
    void append(const char* data, qsizetype size);
    // Ends the current frame; a trailing partial line is dropped.
    void end();

    // Bytes the current frame should bring, -1 when its height is unknown.
    qint64 expectedBytes() const;
    qint64 receivedBytes() const { return m_received; }

    // The picture of the frames ended so far: a 1-bit picture for line art, 8-bit
    // gray levels for gray, 24-bit colour otherwise; null when no frame gave a
    // line. dpi goes into the picture's dots per metre.
    QImage picture(double dpi) const;

private:
    struct Plane {
        QByteArray rows; // converted lines, rowBytes each
        int width = 0;
        int rowBytes = 0;
        int height() const { return rowBytes ? int(rows.size() / rowBytes) : 0; }
    };
    void convertLine(const uchar* line);
    Plane& target();

    FrameParams m_p;
    bool m_open = false;
    QByteArray m_partial;
    qint64 m_received = 0;
    int m_linesDone = 0;
    // Results: a gray picture (mono when line art), an RGB one, or channels.
    Plane m_gray;
    bool m_grayMono = false;
    Plane m_rgb;
    Plane m_channels[3];
    enum class Kind { None, Gray, RGB, Channels } m_kind = Kind::None;
};

} // namespace lumenta
