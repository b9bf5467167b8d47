#pragma once
// The conversion component: GIF to BMP, BMP to GIF, JPEG to BMP and BMP to
// JPEG. Each operation returns at once; the source is read through the
// picture service (format taken from the content, every loading rule),
// the destination is encoded and written on a worker thread through a
// temporary file renamed into place (writeFileSafely), and
// finished() tells the outcome on the GUI thread.
//
//     PicFormat32 pf(ctx.pictures());
//     connect(&pf, &PicFormat32::finished, ..., [](const ConversionOutcome& o) { ... });
//     pf.BmpToJpeg(QStringLiteral("/x/photo.bmp"), QStringLiteral("/x/photo.jpg"), 65);
//
// One conversion at a time: an operation asked while another runs is
// refused (returns false, nothing is signalled).
#include "convert/picturewriters.h"
#include "system/fileops.h"

#include <QObject>
#include <QString>

#include <functional>

namespace lumenta {

class PictureService;

struct ConversionOutcome {
    enum class Status {
        Done,
        Cancelled,      // the confirmation hook said no
        SameFile,       // the destination is the source itself
        Unreadable,     // the source is missing or no picture
        TooLarge,       // a side over kMaxConvertSide
        TooLargeToHold, // read by parts only: never held whole to be written
        Unwritable,     // the destination could not be written
    };
    Status status = Status::Done;
    QString source;
    QString destination;
    QString detail;  // why, in English, for logs
    FileResult file; // Unwritable: what writing the file said

    bool ok() const { return status == Status::Done; }
};

class PicFormat32 : public QObject {
    Q_OBJECT
public:
    explicit PicFormat32(PictureService& pictures, QObject* parent = nullptr);
    ~PicFormat32() override;

    bool GifToBmp(const QString& gifPath, const QString& bmpPath);
    bool BmpToGif(const QString& bmpPath, const QString& gifPath);
    bool JpegToBmp(const QString& jpegPath, const QString& bmpPath);
    // compression: see jpegQualityFor(); kept within 20..130.
    bool BmpToJpeg(const QString& bmpPath, const QString& jpegPath, int compression);

    bool isBusy() const { return m_busy; }

    // Asked on the GUI thread when the source's content is a picture of
    // another format than the operation reads (`found` and `expected` as
    // "GIF", "BMP", "JPEG", "PNG"...): true converts it anyway, false ends
    // the conversion as Cancelled. Unset: converts anyway.
    std::function<bool(const QString& source, const QString& found, const QString& expected)>
        confirmFormat;

Q_SIGNALS:
    void finished(const lumenta::ConversionOutcome& outcome);

private:
    struct Job;
    bool start(const QString& source, const QString& destination, const QByteArray& expected,
               ConvertTarget target, int compression);
    void probed(const Job& job, const QByteArray& found, QSize size, bool sameFile);
    void write(const Job& job, const QImage& image);
    void finish(ConversionOutcome outcome);

    PictureService& m_pictures;
    bool m_busy = false;
};

// The name of a picture format as users know it ("jpeg" gives "JPEG",
// "dib" gives "BMP").
QString formatName(const QByteArray& format);

} // namespace lumenta

Q_DECLARE_METATYPE(lumenta::ConversionOutcome)
