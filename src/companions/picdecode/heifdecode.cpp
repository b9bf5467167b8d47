// HEIF pictures (HEIC, AVIF) through libheif. libheif applies the file's
// own rotation, mirroring and cropping. The EXIF orientation is applied
// only to files that declare no rotation or mirroring of their own (as
// written by encoders that copy a camera's EXIF block unchanged), so a
// picture is never turned twice.
#include "decoders.h"

#include "picture/orientation.h"
#include "picture/pictureformats.h"
#include "picture/pictureloader.h"

#include <libheif/heif.h>

#include <QtEndian>

#include <memory>
#include <vector>

namespace lumenta::picdecode {

namespace {

template <typename T, void (*Free)(T*)> struct Deleter {
    void operator()(T* p) const { Free(p); }
};
using Context = std::unique_ptr<heif_context, Deleter<heif_context, heif_context_free>>;
using Handle =
    std::unique_ptr<heif_image_handle, Deleter<const heif_image_handle, heif_image_handle_release>>;
using Image = std::unique_ptr<heif_image, Deleter<const heif_image, heif_image_release>>;

// The orientation of the file's EXIF block (1 when there is none). The block
// starts with the offset of its TIFF header.
int exifOrientationOf(heif_image_handle* handle) {
    heif_item_id id = 0;
    if (heif_image_handle_get_list_of_metadata_block_IDs(handle, "Exif", &id, 1) < 1)
        return 1;
    const size_t size = heif_image_handle_get_metadata_size(handle, id);
    if (size < 4 || size > (size_t(1) << 24))
        return 1;
    QByteArray block(qsizetype(size), Qt::Uninitialized);
    if (heif_image_handle_get_metadata(handle, id, block.data()).code != heif_error_Ok)
        return 1;
    const quint32 offset = qFromBigEndian<quint32>(block.constData());
    if (offset > size - 4)
        return 1;
    const QByteArray app1 = QByteArray("Exif\0\0", 6) + block.mid(4 + offset);
    return exifOrientation(reinterpret_cast<const uchar*>(app1.constData()), app1.size());
}

QSize sizeOf(const heif_image_handle* handle) {
    return QSize(heif_image_handle_get_width(handle), heif_image_handle_get_height(handle));
}

} // namespace

Decoded decodeHeif(const QByteArray& file, const Request& request) {
    Decoded out;
    useThreadedHevcDecoder();
    Context ctx(heif_context_alloc());
    heif_context_set_maximum_image_size_limit(ctx.get(), 1 << 16);
    heif_error err = heif_context_read_from_memory_without_copy(ctx.get(), file.constData(),
                                                                file.size(), nullptr);
    heif_image_handle* raw = nullptr;
    if (err.code == heif_error_Ok)
        err = heif_context_get_primary_image_handle(ctx.get(), &raw);
    if (err.code != heif_error_Ok) {
        out.error = QString::fromUtf8(err.message);
        return out;
    }
    Handle primary(raw);
    const int orientation = heifDeclaresTransforms(file) ? 1 : exifOrientationOf(primary.get());
    out.natural = orientedSize(sizeOf(primary.get()), orientation);
    if (!fitsAllocationLimit(out.natural, 32)) {
        out.error = QStringLiteral("picture too large");
        return out;
    }
    if (request.naturalKnown)
        request.naturalKnown(out.natural);

    // The smallest embedded thumbnail that still covers what fits the box.
    Handle source;
    if (request.thumbnail && !request.box.isEmpty()) {
        const QSize target = fittedSize(out.natural, request.box);
        const int count = heif_image_handle_get_number_of_thumbnails(primary.get());
        std::vector<heif_item_id> ids(size_t(qMax(count, 0)));
        heif_image_handle_get_list_of_thumbnail_IDs(primary.get(), ids.data(), count);
        for (heif_item_id id : ids) {
            heif_image_handle* thumb = nullptr;
            if (heif_image_handle_get_thumbnail(primary.get(), id, &thumb).code != heif_error_Ok)
                continue;
            Handle candidate(thumb);
            const QSize size = orientedSize(sizeOf(thumb), orientation);
            if (size.width() >= target.width() && size.height() >= target.height() &&
                (!source ||
                 size.width() * qint64(size.height()) <
                     sizeOf(source.get()).width() * qint64(sizeOf(source.get()).height())))
                source = std::move(candidate);
        }
    }
    if (!source)
        source = std::move(primary);

    const bool alpha = heif_image_handle_has_alpha_channel(source.get());
    heif_image* decoded = nullptr;
    err = heif_decode_image(source.get(), &decoded, heif_colorspace_RGB,
                            alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB,
                            nullptr);
    if (err.code != heif_error_Ok) {
        out.error = QString::fromUtf8(err.message);
        return out;
    }
    Image image(decoded);
    int stride = 0;
    const uint8_t* plane =
        heif_image_get_plane_readonly(decoded, heif_channel_interleaved, &stride);
    const int w = heif_image_get_width(decoded, heif_channel_interleaved);
    const int h = heif_image_get_height(decoded, heif_channel_interleaved);
    if (!plane || w < 1 || h < 1) {
        out.error = QStringLiteral("the decoder gave no pixels");
        return out;
    }
    const QImage::Format stored = !alpha ? QImage::Format_RGB888
                                  : heif_image_handle_is_premultiplied_alpha(source.get())
                                      ? QImage::Format_RGBA8888_Premultiplied
                                      : QImage::Format_RGBA8888;
    // The decoder's own pixels, kept as long as the picture: they are
    // converted once, on their way to the viewer.
    out.image = QImage(
        plane, w, h, stride, stored,
        [](void* info) { heif_image_release(static_cast<const heif_image*>(info)); }, image.get());
    if (!out.image.isNull())
        image.release();
    out.image = orientedImage(out.image, orientation);
    if (out.image.isNull())
        out.error = QStringLiteral("no memory for the picture");
    return out;
}

} // namespace lumenta::picdecode
