#include "convert/picformat32.h"

#include "convert/convertrules.h"
#include "convert/gifpalette.h"
#include "picture/pictureservice.h"

#include <QFile>
#include <QFutureWatcher>
#include <QImageReader>
#include <QtConcurrent/QtConcurrentRun>

namespace lumenta {

struct PicFormat32::Job {
    QString source;
    QString destination;
    QByteArray expected; // the format the operation reads
    ConvertTarget target = ConvertTarget::Bmp;
    int compression = kDefaultCompression;
    QList<QRgb> sourceTable; // a GIF source's colours, transparent as white

    ConversionOutcome outcome(ConversionOutcome::Status status, const QString& detail,
                              const FileResult& file = {}) const {
        return {status, source, destination, detail, file};
    }
};

namespace {

// What the first bytes of a file say, read off the GUI thread.
struct Probe {
    QByteArray format; // empty when no reader knows it
    QSize size;        // invalid when unknown
    bool sameFile = false;
    QList<QRgb> table; // a GIF's colours (see Job::sourceTable)
};

// Runs work() on a worker thread and done(result) on owner's thread, unless
// owner is gone by then.
template <typename T, typename Work, typename Done>
void runOffThread(QObject* owner, Work work, Done done) {
    auto* watcher = new QFutureWatcher<T>(owner);
    QObject::connect(watcher, &QFutureWatcher<T>::finished, owner, [watcher, done] {
        watcher->deleteLater();
        done(watcher->result());
    });
    watcher->setFuture(QtConcurrent::run(std::move(work)));
}

} // namespace

QString formatName(const QByteArray& format) {
    const QByteArray f = format.toLower();
    if (f == "jpg" || f == "jpeg")
        return QStringLiteral("JPEG");
    if (f == "dib")
        return QStringLiteral("BMP");
    return QString::fromLatin1(f.toUpper());
}

PicFormat32::PicFormat32(PictureService& pictures, QObject* parent)
    : QObject(parent), m_pictures(pictures) {
    qRegisterMetaType<ConversionOutcome>();
}

PicFormat32::~PicFormat32() = default;

bool PicFormat32::GifToBmp(const QString& gifPath, const QString& bmpPath) {
    return start(gifPath, bmpPath, "gif", ConvertTarget::Bmp, kDefaultCompression);
}

bool PicFormat32::BmpToGif(const QString& bmpPath, const QString& gifPath) {
    return start(bmpPath, gifPath, "bmp", ConvertTarget::Gif, kDefaultCompression);
}

bool PicFormat32::JpegToBmp(const QString& jpegPath, const QString& bmpPath) {
    return start(jpegPath, bmpPath, "jpeg", ConvertTarget::Bmp, kDefaultCompression);
}

bool PicFormat32::BmpToJpeg(const QString& bmpPath, const QString& jpegPath, int compression) {
    return start(bmpPath, jpegPath, "bmp", ConvertTarget::Jpeg, clampCompression(compression));
}

bool PicFormat32::start(const QString& source, const QString& destination,
                        const QByteArray& expected, ConvertTarget target, int compression) {
    if (m_busy)
        return false;
    m_busy = true;
    const Job job{source, destination, expected, target, compression};
    runOffThread<Probe>(
        this,
        [job] {
            Probe p;
            p.sameFile = isSameFile(job.source, job.destination);
            QFile file(job.source);
            if (!file.open(QIODevice::ReadOnly))
                return p;
            QImageReader reader(&file);
            reader.setDecideFormatFromContent(true);
            p.format = reader.format();
            if (!p.format.isEmpty())
                p.size = reader.size();
            if (p.format == "gif" && file.seek(0)) {
                if (std::optional<GifPalette> palette = readGifPalette(file)) {
                    p.table = palette->colours;
                    if (palette->transparent >= 0)
                        p.table[palette->transparent] = qRgb(255, 255, 255);
                }
            }
            return p;
        },
        [this, job](const Probe& p) {
            Job next = job;
            next.sourceTable = p.table;
            probed(next, p.format, p.size, p.sameFile);
        });
    return true;
}

void PicFormat32::probed(const Job& job, const QByteArray& found, QSize size, bool sameFile) {
    using S = ConversionOutcome::Status;
    if (sameFile)
        return finish(job.outcome(S::SameFile, QStringLiteral("the destination is the source")));
    if (size.width() > kMaxConvertSide || size.height() > kMaxConvertSide)
        return finish(job.outcome(S::TooLarge, QStringLiteral("picture too large")));
    const QString foundName = formatName(found);
    const QString expectedName = formatName(job.expected);
    if (!found.isEmpty() && foundName != expectedName && confirmFormat &&
        !confirmFormat(job.source, foundName, expectedName))
        return finish(job.outcome(S::Cancelled, QStringLiteral("not converted")));
    // Pictures are written in sRGB.
    m_pictures.request(
        this, PictureRequest::full(job.source).inSrgb(), [this, job](const PictureResult& r) {
            if (r.picture.isTiled())
                return finish(
                    job.outcome(S::TooLargeToHold, QStringLiteral("picture read by parts")));
            if (!r.ok())
                return finish(job.outcome(S::Unreadable, r.picture.error));
            const QSize natural = r.picture.image.size();
            if (natural.width() > kMaxConvertSide || natural.height() > kMaxConvertSide)
                return finish(job.outcome(S::TooLarge, QStringLiteral("picture too large")));
            write(job, r.picture.image);
        });
}

void PicFormat32::write(const Job& job, const QImage& image) {
    runOffThread<ConversionOutcome>(
        this,
        [job, image] {
            using S = ConversionOutcome::Status;
            QString error;
            // Encoded straight into the temporary file; the window asked
            // before replacing a file.
            const FileResult written = writeFileSafely(
                job.destination,
                [&](const ByteWriter& write) {
                    return encodeConverted(image, job.target, job.compression, write, &error,
                                           job.sourceTable);
                },
                true);
            if (written.cancelled)
                return job.outcome(S::Unwritable, error);
            if (!written.ok())
                return job.outcome(S::Unwritable, written.systemText(), written);
            return job.outcome(S::Done, QString());
        },
        [this](const ConversionOutcome& o) { finish(o); });
}

void PicFormat32::finish(ConversionOutcome outcome) {
    m_busy = false;
    Q_EMIT finished(outcome);
}

} // namespace lumenta
