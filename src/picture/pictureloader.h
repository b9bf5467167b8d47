#pragma once
// The one way the program reads a picture file, whatever window asks:
// JPEG through libjpeg-turbo (straight into the picture's buffer, reduced by
// DCT scaling, rows announced as they are ready), TGA through a reader of
// our own (picture/tgareader.h), the other raster formats through Qt's
// readers, metafiles through the metafile renderer. The same
// rules hold for every kind of request: format from the content, EXIF
// orientation, the allocation limit, the largest image of an icon, DIBs
// without file header, metafiles rendered out of process.
//
// Colours: the picture's own (its ICC profile or coded primaries and
// transfer; sRGB when it says nothing) are converted to those the need asks
// for (the display's, or sRGB) where the picture is decoded, JPEG strip by
// strip as its rows come.
//
// loadPicture() blocks: windows ask the PictureService
// (picture/pictureservice.h), which calls it on its workers.
#include "picture/colourspace.h"
#include "picture/tiledpicture.h"

#include <QByteArray>
#include <QImage>
#include <QRect>
#include <QString>

#include <memory>

namespace lumenta {

struct Picture {
    enum class Kind { None, Raster, Wmf, Emf };
    Kind kind = Kind::None;
    QImage image;            // what is drawn (see PictureNeed for its size)
    QByteArray metafileData; // the file's own bytes for WMF and EMF
    QString error;           // why loading failed (for logs), empty on success
    QSize naturalSize;       // the whole upright picture at its natural size
    QRect region;            // the part of it `image` shows, in natural-size pixels
    ColourSpace colours;     // the colours of image's pixels (PictureNeed::colours)
    // A picture too large to be decoded whole, asked for whole at its
    // natural size: `image` is null and the picture is read by parts
    // (tiles) and reduced (overviews) through this.
    std::shared_ptr<const TiledPicture> tiled;

    bool isNull() const { return image.isNull() && !tiled; }
    bool isTiled() const { return tiled != nullptr; }
    QSize size() const { return image.size(); }
};

// What part of a picture is wanted, and how large.
struct PictureNeed {
    enum class Kind {
        Full,      // the natural size; `region` may ask for a part only
        Fitted,    // reduced to fit inside `box`, aspect kept (never enlarged)
        Thumbnail, // as Fitted, decoded with faster, slightly rougher filters
        Covering,  // reduced only as far as it still covers `box` on both
                   // axes, aspect kept (never enlarged)
    };
    Kind kind = Kind::Full;
    QSize box;                 // Fitted, Thumbnail, Covering
    QRect region;              // natural-size pixels wanted (empty: all), reduced
                               // as a whole picture would be for the other kinds
    bool centreRegion = false; // region.size() taken around the centre
    ColourSpace colours;       // the colours wanted: sRGB, or the display's

    bool operator==(const PictureNeed&) const = default;
};

// Told what a load is doing, from the thread that runs it.
class LoadProgress {
public:
    virtual ~LoadProgress() = default;
    // Asked now and then; true abandons the load (the result says
    // "cancelled").
    virtual bool isCancelled() const { return false; }
    // Asked before the picture's buffer is allocated; false abandons the load.
    virtual bool mayAllocate(qint64 bytes) {
        Q_UNUSED(bytes);
        return true;
    }
    // Full pictures decoded top to bottom (JPEG): the buffer the rows go
    // into, before the first one. Rows reach it in order; the rows before
    // rowsDecoded()'s count are final and never written again.
    virtual void rowsStarted(const QImage& buffer) { Q_UNUSED(buffer); }
    virtual void rowsDecoded(int rows) { Q_UNUSED(rows); }
    // Called now and then by reductions of pictures read by parts, which
    // take long: may wait while more urgent work (the tiles in view) runs.
    virtual void giveWay() {}
};

// Upper bound of the memory one decoded picture may take, in megabytes.
// It applies to the picture at its natural size, whatever part or size of
// it is asked for, except for the formats read by parts (JPEG, PNG, TIFF,
// WebP, HEIF, JPEG XL), whose larger pictures are tiled.
constexpr int kPictureAllocationLimitMB = 1024;

// How large a picture is decoded whole, and how larger ones are tiled (a
// part or a reduced picture of those is held to the allocation limit).
struct LoadLimits {
    qint64 wholeBytes = qint64(kPictureAllocationLimitMB) * 1024 * 1024;
    QSize tileSize = QSize(512, 128);

    bool fitsWhole(QSize natural, int bitsPerPixel) const;
};

// The largest side of a picture read by parts.
constexpr int kMaxTiledSide = 65535;

// Loads a picture file. A file that is missing, empty, unreadable or not a
// picture gives a null Picture (kind None). A picture past limits.wholeBytes
// in a format read by parts is tiled: asked for whole at its natural size it
// comes as Picture::tiled (nothing decoded yet); a part of it or a reduced
// picture is decoded without holding the whole. Blocks: any thread but the
// GUI thread; several at once are fine.
Picture loadPicture(const QString& path, const PictureNeed& need = {},
                    LoadProgress* progress = nullptr, const LoadLimits& limits = {});

// What `need` asks for, taken from a picture already loaded whole (Full
// without region): a part cut from it or a reduced copy.
Picture derivePicture(const Picture& whole, const PictureNeed& need);

// The size a picture of natural size `natural` is reduced to so as to fit
// inside box (aspect kept, sides at least 1); natural itself when it fits.
QSize fittedSize(QSize natural, QSize box);

// The smallest size, aspect kept, that still reaches box's width and its
// height (a side may be a pixel more than the exact ratio gives); natural
// itself when that would be an enlargement.
QSize coveringSize(QSize natural, QSize box);

// The size a reduced need (Fitted, Thumbnail, Covering) asks for a picture
// of natural size `natural`; natural for Full.
QSize reducedSize(QSize natural, const PictureNeed& need);

// The part of a picture of natural size `natural` that `need` asks for,
// within the picture; the whole picture when it asks for no part.
QRect regionFor(QSize natural, const PictureNeed& need);

// A smooth (filtered) scaling of image to size that stays fast for large
// reductions: a huge picture is first reduced by plain sampling to a few
// times the target, then filtered down.
QImage scaledSmooth(const QImage& image, const QSize& size,
                    Qt::AspectRatioMode mode = Qt::IgnoreAspectRatio);

// Whether a picture of that natural size and depth fits the limit.
bool fitsAllocationLimit(QSize natural, int bitsPerPixel);

// Whether pictures of a format (as Qt's readers name them, "heif" and
// "jxl" for the helper's) too large to be decoded whole are read by parts.
bool readByParts(const QByteArray& format);
// Whether a picture of that format and natural size can be read at all.
bool sizeReadable(const QByteArray& format, QSize natural);

} // namespace lumenta
