#pragma once
// Pictures too large to be held whole in memory (up to 65,535 pixels a
// side): they are read by parts, never whole. A TiledPicture knows the
// picture's size and orientation and cuts it into tiles on a grid; its
// decoder reads any set of parts at natural size in one pass over the file,
// and the whole picture reduced to a small size, holding only the reduced
// result. Every member is safe to call from several threads at once; a
// picture is shared (std::shared_ptr) by the picture service, its cache
// and the windows.
#include "picture/colourspace.h"

#include <QImage>
#include <QList>
#include <QRect>
#include <QString>

#include <functional>
#include <memory>

namespace lumenta {

class LoadProgress;

// Reads one file by parts, in the picture's stored orientation. One per
// format: JPEG and PNG by decoders of our own, TIFF and WebP through
// libvips, HEIF and JPEG XL through the helper program.
class PartDecoder {
public:
    virtual ~PartDecoder() = default;

    using PartReady = std::function<void(int index, const QImage& part)>;
    // Decodes the stored pixels of each rect of `parts` (all within the
    // picture), in one pass over the file where the format is read from
    // its top; each part goes to ready() (on the calling thread) as soon as
    // it is complete. Pixels are RGB32, or ARGB32_Premultiplied where the
    // picture has transparency. False, with *error, when the file cannot
    // be decoded or the load is cancelled ("cancelled").
    virtual bool decodeParts(const QList<QRect>& parts, const PartReady& ready,
                             LoadProgress* progress, QString* error) const = 0;
    // The whole stored picture reduced to `size` (at most its own size),
    // read without holding it whole. `fast` allows rougher filtering.
    virtual QImage decodeReduced(QSize size, bool fast, LoadProgress* progress,
                                 QString* error) const = 0;
};

class TiledPicture {
public:
    // `format` names the format for messages and logs ("jpeg", "png", ...).
    TiledPicture(QString format, QSize stored, int orientation, QSize tileSize,
                 std::unique_ptr<PartDecoder> decoder);

    const QString& format() const { return m_format; }
    QSize storedSize() const { return m_stored; }
    int orientation() const { return m_orientation; }
    // The upright picture's size.
    QSize naturalSize() const { return m_natural; }

    // The colours the file declares and the ones its tiles and reduced
    // pictures are given in (sRGB, or the display's), converted as they are
    // decoded. Set before the picture is shared.
    void setColours(const ColourSpace& source, const ColourSpace& target) {
        m_source = source;
        m_target = target;
    }
    const ColourSpace& colours() const { return m_target; }

    // The tiles: a grid of tileSize() cells over the upright picture, the
    // last column and row cut by its edges.
    QSize tileSize() const { return m_tile; }
    QSize gridSize() const; // columns x rows
    QRect tileRect(QPoint cell) const;
    // The cells a part of the upright picture touches (x, y: first column
    // and row; width, height: how many).
    QRect cellsCovering(const QRect& natural) const;

    using PartReady = PartDecoder::PartReady;
    // Decodes parts of the upright picture at natural size (each within
    // the picture), in one pass where the format allows; each one goes to
    // ready() as soon as it is complete. Blocks: any thread but the GUI
    // thread.
    bool decode(const QList<QRect>& parts, const PartReady& ready, LoadProgress* progress,
                QString* error) const;
    // The upright picture reduced to `size`. Blocks likewise.
    QImage decodeReduced(QSize size, bool fast, LoadProgress* progress, QString* error) const;

    // The part `region` of the upright picture in bands of `bandRows` whole
    // rows, each given to band(y, image) (y: its first row) as soon as it is
    // decoded, holding about maxBytes of them at most. Where the file's rows
    // run along the picture's, one pass gives them in the file's order: top
    // to bottom, or bottom to top for a picture stored upside down; a
    // picture stored turned is read in passes over strips of its stored
    // columns, top to bottom. band() returning false stops the reading (the
    // result is then false, error empty).
    using BandReady = std::function<bool(int y, const QImage& band)>;
    bool readBands(const QRect& region, int bandRows, const BandReady& band, LoadProgress* progress,
                   QString* error, qint64 maxBytes = kBandBytes) const;
    static constexpr qint64 kBandBytes = qint64(256) << 20;

    // The part `region` of the upright picture reduced to `size`, read in
    // bands.
    QImage decodeReduced(const QRect& region, QSize size, LoadProgress* progress,
                         QString* error) const;

private:
    QString m_format;
    QSize m_stored;
    int m_orientation;
    QSize m_natural;
    QSize m_tile;
    std::unique_ptr<PartDecoder> m_decoder;
    ColourSpace m_source, m_target;
};

} // namespace lumenta
