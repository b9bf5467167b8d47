#include "flicdecoder.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <cmath>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/log.h>
#include <libswscale/swscale.h>
}

namespace lumenta {

namespace {

constexpr int kHeaderSize = 128;
constexpr int kChunkPreamble = 6; // 32-bit size, 16-bit type
constexpr quint16 kMagicFli = 0xAF11;
constexpr quint16 kMagicFlc = 0xAF12;
constexpr quint16 kMagicDta = 0xAF44;
constexpr quint16 kFrameChunk = 0xF1FA;
constexpr quint16 kFrameChunkMc = 0xF5FA;
constexpr quint16 kAudioChunk = 0xAAAA;
constexpr int kMaxSide = 4096;

QString tr(const char* text) {
    return QCoreApplication::translate("lumenta::FlicDecoder", text);
}

quint16 le16(const uchar* p) {
    return quint16(p[0] | (p[1] << 8));
}

quint32 le32(const uchar* p) {
    return quint32(p[0]) | (quint32(p[1]) << 8) | (quint32(p[2]) << 16) | (quint32(p[3]) << 24);
}

// FFmpeg prints warnings for every odd chunk; the player has no console.
void silenceFfmpeg() {
    static const bool once = [] {
        av_log_set_level(AV_LOG_QUIET);
        return true;
    }();
    Q_UNUSED(once);
}

// Walks the chunks after the header and counts the complete frame chunks
// before the first chunk whose size cannot be right (shorter than its own
// preamble, or running past the end of the file). Nothing after such a
// chunk is trusted: the animation ends there. -1 when the layout is not one
// walked here.
int countFrameChunks(QFile& file, qint64 start) {
    const qint64 end = file.size();
    qint64 pos = start;
    int frames = 0;
    uchar pre[kChunkPreamble];
    while (pos + kChunkPreamble <= end) {
        if (!file.seek(pos) ||
            file.read(reinterpret_cast<char*>(pre), kChunkPreamble) != kChunkPreamble)
            break;
        const quint32 size = le32(pre);
        const quint16 type = le16(pre + 4);
        if (type == kAudioChunk)
            return -1; // audio chunks carry bytes their size does not count
        if (size < quint32(kChunkPreamble) || pos + qint64(size) > end)
            break;
        if ((type == kFrameChunk || type == kFrameChunkMc) && size > quint32(kChunkPreamble))
            ++frames;
        pos += size;
    }
    return frames;
}

} // namespace

struct FlicDecoder::Impl {
    QString path;
    QString error;
    AVFormatContext* format = nullptr;
    AVCodecContext* codec = nullptr;
    AVPacket* packet = nullptr;
    AVFrame* frame = nullptr;
    SwsContext* sws = nullptr;
    int stream = -1;
    QSize size;
    int frameCount = 0;   // frames to show, 0 when unknown
    int packetLimit = -1; // packets that may be read safely, -1 without limit
    int packetsRead = 0;
    int framesRead = 0;
    double frameMs = 0;
    bool draining = false;

    ~Impl() { release(); }

    void release() {
        sws_freeContext(sws);
        sws = nullptr;
        av_frame_free(&frame);
        av_packet_free(&packet);
        avcodec_free_context(&codec);
        avformat_close_input(&format);
        stream = -1;
        size = QSize();
        frameCount = 0;
        packetLimit = -1;
        packetsRead = 0;
        framesRead = 0;
        frameMs = 0;
        draining = false;
    }

    bool fail(const QString& why) {
        error = why;
        release();
        return false;
    }

    bool openFfmpeg(const QString& file) {
        const AVInputFormat* demuxer = av_find_input_format("flic");
        const AVCodec* decoder = avcodec_find_decoder(AV_CODEC_ID_FLIC);
        if (!demuxer || !decoder)
            return fail(tr("Décodeur FLIC indisponible"));
        // "file:" keeps a colon in the name from being read as a protocol.
        const QByteArray url =
            QByteArrayLiteral("file:") + QFile::encodeName(QFileInfo(file).absoluteFilePath());
        AVDictionary* options = nullptr;
        av_dict_set(&options, "protocol_whitelist", "file", 0);
        const int opened = avformat_open_input(&format, url.constData(), demuxer, &options);
        av_dict_free(&options);
        if (opened < 0) {
            format = nullptr;
            return fail(tr("Ce fichier n'est pas une animation FLI ou FLC"));
        }
        for (unsigned i = 0; i < format->nb_streams; ++i) {
            if (format->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_VIDEO) {
                stream = int(i);
                break;
            }
        }
        if (stream < 0)
            return fail(tr("Ce fichier n'est pas une animation FLI ou FLC"));
        AVStream* st = format->streams[stream];
        codec = avcodec_alloc_context3(decoder);
        packet = av_packet_alloc();
        frame = av_frame_alloc();
        if (!codec || !packet || !frame)
            return fail(tr("Mémoire insuffisante"));
        codec->thread_count = 1;
        if (avcodec_parameters_to_context(codec, st->codecpar) < 0 ||
            avcodec_open2(codec, decoder, nullptr) < 0)
            return fail(tr("Ce fichier n'est pas une animation FLI ou FLC"));
        size = QSize(codec->width, codec->height);
        frameMs = st->time_base.den > 0 ? 1000.0 * st->time_base.num / st->time_base.den : 0;
        return true;
    }

    bool toImage(const AVFrame* f, QImage& out) {
        QImage img(f->width, f->height, QImage::Format_RGB32);
        if (img.isNull())
            return false;
        if (f->format == AV_PIX_FMT_PAL8) {
            const auto* palette = reinterpret_cast<const quint32*>(f->data[1]);
            for (int y = 0; y < f->height; ++y) {
                const uint8_t* src = f->data[0] + qsizetype(y) * f->linesize[0];
                auto* dst = reinterpret_cast<QRgb*>(img.scanLine(y));
                for (int x = 0; x < f->width; ++x)
                    dst[x] = 0xFF000000u | palette[src[x]];
            }
        } else {
            // 15, 16 and 24-bit animations.
            sws = sws_getCachedContext(sws, f->width, f->height, AVPixelFormat(f->format), f->width,
                                       f->height, AV_PIX_FMT_RGB32, SWS_POINT, nullptr, nullptr,
                                       nullptr);
            if (!sws)
                return false;
            uint8_t* dst[4] = {img.bits(), nullptr, nullptr, nullptr};
            int dstStride[4] = {int(img.bytesPerLine()), 0, 0, 0};
            sws_scale(sws, f->data, f->linesize, 0, f->height, dst, dstStride);
            for (int y = 0; y < f->height; ++y) {
                auto* line = reinterpret_cast<QRgb*>(img.scanLine(y));
                for (int x = 0; x < f->width; ++x)
                    line[x] |= 0xFF000000u;
            }
        }
        out = std::move(img);
        return true;
    }
};

FlicDecoder::FlicDecoder() : d(std::make_unique<Impl>()) {
    silenceFfmpeg();
}

FlicDecoder::~FlicDecoder() = default;

bool FlicDecoder::open(const QString& path) {
    d->release();
    d->path = path;
    d->error.clear();

    QFile file(path);
    if (!file.exists())
        return d->fail(tr("Fichier introuvable"));
    if (!file.open(QIODevice::ReadOnly))
        return d->fail(tr("Lecture du fichier impossible"));
    const QByteArray header = file.read(kHeaderSize);
    if (header.size() < kHeaderSize)
        return d->fail(tr("Ce fichier n'est pas une animation FLI ou FLC"));
    const auto* h = reinterpret_cast<const uchar*>(header.constData());
    const quint16 magic = le16(h + 4);
    const int width = le16(h + 8);
    const int height = le16(h + 10);
    if ((magic != kMagicFli && magic != kMagicFlc && magic != kMagicDta) || width > kMaxSide ||
        height > kMaxSide)
        return d->fail(tr("Ce fichier n'est pas une animation FLI ou FLC"));
    // Some game animations start their first frame inside the header.
    const qint64 firstChunk = le16(h + 16) == kFrameChunk ? 12 : kHeaderSize;
    const int announced = le16(h + 6);
    const int present = countFrameChunks(file, firstChunk);
    file.close();
    if (present == 0)
        return d->fail(tr("L'animation ne contient aucune image"));

    if (!d->openFfmpeg(path))
        return false;
    d->packetLimit = present;
    if (announced > 0)
        d->frameCount = present >= 0 ? qMin(announced, present) : announced;
    else
        d->frameCount = qMax(present, 0);
    return true;
}

void FlicDecoder::close() {
    d->release();
}

bool FlicDecoder::isOpen() const {
    return d->format != nullptr;
}

bool FlicDecoder::rewind() {
    const QString path = d->path;
    return open(path);
}

bool FlicDecoder::readFrame(QImage& out) {
    if (!d->format)
        return false;
    if (d->frameCount > 0 && d->framesRead >= d->frameCount)
        return false;
    for (;;) {
        const int received = avcodec_receive_frame(d->codec, d->frame);
        if (received == 0) {
            const bool ok = d->toImage(d->frame, out);
            av_frame_unref(d->frame);
            if (!ok) {
                d->error = tr("Mémoire insuffisante");
                return false;
            }
            ++d->framesRead;
            return true;
        }
        if (received == AVERROR_EOF)
            return false;
        if (received != AVERROR(EAGAIN)) {
            d->error = tr("Image %1 illisible").arg(d->framesRead + 1);
            return false;
        }
        if (d->draining)
            return false;
        const bool mayRead = d->packetLimit < 0 || d->packetsRead < d->packetLimit;
        if (!mayRead || av_read_frame(d->format, d->packet) < 0) {
            d->draining = true;
            avcodec_send_packet(d->codec, nullptr);
            continue;
        }
        ++d->packetsRead;
        if (d->packet->stream_index != d->stream) {
            av_packet_unref(d->packet);
            continue;
        }
        const int sent = avcodec_send_packet(d->codec, d->packet);
        av_packet_unref(d->packet);
        if (sent < 0 && sent != AVERROR(EAGAIN)) {
            d->error = tr("Image %1 illisible").arg(d->framesRead + 1);
            return false;
        }
    }
}

QString FlicDecoder::path() const {
    return d->path;
}

QString FlicDecoder::error() const {
    return d->error;
}

QSize FlicDecoder::frameSize() const {
    return d->size;
}

int FlicDecoder::frameCount() const {
    return d->frameCount;
}

int FlicDecoder::framesRead() const {
    return d->framesRead;
}

double FlicDecoder::frameDurationMs() const {
    return d->frameMs;
}

qint64 FlicDecoder::frameStartMs(int index, double frameDurationMs) {
    return qint64(std::llround(double(index) * frameDurationMs));
}

} // namespace lumenta
