// The HEVC decoder libheif uses here: libde265, as libheif's own plugin
// drives it, but with a worker thread per idle processor, so that a
// picture coded in wavefronts (as x265 and most encoders write them)
// decodes on every processor free for it instead of one. The pictures it
// gives are the same. Wavefront workers wait on each other: on a machine
// busy with other work, more workers than free processors only lose time,
// so there is then one, as libheif has it. The tiles of a grid picture,
// which libheif decodes on threads of its own, get one worker each.
#include "decoders.h"

#include <libde265/de265.h>
#include <libheif/heif.h>
#include <libheif/heif_plugin.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <thread>

#include <dirent.h>
#include <unistd.h>

namespace lumenta::picdecode {

namespace {

constexpr int kMaxThreads = 8;

heif_error success() {
    return {heif_error_Ok, heif_suberror_Unspecified, "Success"};
}

heif_error failure(const char* why) {
    return {heif_error_Decoder_plugin_error, heif_suberror_Unspecified, why};
}

const char* pluginName() {
    return "libde265 HEVC decoder, one thread per processor";
}

void nothing() {}

int priority(heif_compression_format format) {
    // Above libheif's own libde265 plugin (100).
    return format == heif_compression_HEVC ? 120 : 0;
}

// Decoders alive: a decoder made while another works is a grid's tile.
std::atomic<int> liveDecoders{0};

// Threads of a process running right now.
int runningThreads(pid_t pid) {
    int running = 0;
    char folder[64];
    std::snprintf(folder, sizeof folder, "/proc/%d/task", int(pid));
    DIR* tasks = ::opendir(folder);
    if (!tasks)
        return 0;
    while (const dirent* task = ::readdir(tasks)) {
        if (task->d_name[0] == '.')
            continue;
        char path[384];
        std::snprintf(path, sizeof path, "%s/%s/stat", folder, task->d_name);
        if (std::FILE* f = std::fopen(path, "r")) {
            char line[512];
            const size_t length = std::fread(line, 1, sizeof line - 1, f);
            std::fclose(f);
            line[length] = '\0';
            // The state follows the name, which is in parentheses.
            const char* name = std::strrchr(line, ')');
            if (name && name[1] == ' ' && name[2] == 'R')
                ++running;
        }
    }
    ::closedir(tasks);
    return running;
}

// Threads running right now on the whole machine.
int runningOnMachine() {
    int running = 1;
    if (std::FILE* f = std::fopen("/proc/loadavg", "r")) {
        double averages[3];
        int threads = 0;
        if (std::fscanf(f, "%lf %lf %lf %d/%d", &averages[0], &averages[1], &averages[2], &running,
                        &threads) != 5)
            running = 1;
        std::fclose(f);
    }
    return running;
}

// Processors that no other work is running on right now, at least one.
// The count of running threads in /proc/loadavg takes in this program's
// own (the memory being readied for the picture) and the thread of the
// viewer that started it, about to wait for it: neither is other work.
// A processor seen busy is looked at twice more, a millisecond apart, so
// that a process ending or a thread waking for an instant is not taken
// for work.
int idleProcessors() {
    const int processors = std::clamp(int(std::thread::hardware_concurrency()), 1, kMaxThreads);
    int idle = 1;
    for (int look = 0; look < 3 && idle < processors; ++look) {
        if (look > 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        const int ours =
            std::max(1, runningThreads(::getpid())) + std::min(1, runningThreads(::getppid()));
        idle = std::max(idle, processors - std::max(0, runningOnMachine() - ours));
    }
    return std::clamp(idle, 1, processors);
}

heif_error newDecoder(void** decoder) {
    de265_decoder_context* context = de265_new_decoder();
    if (!context)
        return failure("no HEVC decoder");
    const bool alone = liveDecoders.fetch_add(1) == 0;
    const int threads = alone ? idleProcessors() : 1;
    de265_start_worker_threads(context, threads);
    *decoder = context;
    return success();
}

void freeDecoder(void* decoder) {
    de265_free_decoder(static_cast<de265_decoder_context*>(decoder));
    liveDecoders.fetch_sub(1);
}

// NAL units, each after its length on 4 bytes (big-endian).
heif_error pushData(void* decoder, const void* data, size_t size) {
    auto* context = static_cast<de265_decoder_context*>(decoder);
    const auto* p = static_cast<const uint8_t*>(data);
    while (size > 0) {
        if (size < 4)
            return failure("truncated HEVC data");
        const uint32_t length =
            uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
        p += 4;
        size -= 4;
        if (length > size || length > uint32_t(INT_MAX))
            return failure("truncated HEVC data");
        de265_push_NAL(context, p, int(length), 0, nullptr);
        p += length;
        size -= length;
    }
    return success();
}

// A decoded picture as libheif's: its planes copied, its colour
// description (from the stream's VUI) attached.
heif_error toHeifImage(const de265_image* picture, heif_image** out) {
    const de265_chroma chroma = de265_get_chroma_format(picture);
    const bool mono = chroma == de265_chroma_mono;
    heif_error err =
        heif_image_create(de265_get_image_width(picture, 0), de265_get_image_height(picture, 0),
                          mono ? heif_colorspace_monochrome : heif_colorspace_YCbCr,
                          mono                         ? heif_chroma_monochrome
                          : chroma == de265_chroma_420 ? heif_chroma_420
                          : chroma == de265_chroma_422 ? heif_chroma_422
                                                       : heif_chroma_444,
                          out);
    if (err.code != heif_error_Ok)
        return err;
    const heif_channel channels[] = {heif_channel_Y, heif_channel_Cb, heif_channel_Cr};
    for (int c = 0; c < (mono ? 1 : 3); ++c) {
        const int width = de265_get_image_width(picture, c);
        const int height = de265_get_image_height(picture, c);
        const int bits = de265_get_bits_per_pixel(picture, c);
        if (width < 1 || height < 1 || bits < 1 || bits > 16)
            return failure("unexpected HEVC picture");
        err = heif_image_add_plane(*out, channels[c], width, height, bits);
        if (err.code != heif_error_Ok)
            return err;
        int srcStride = 0, dstStride = 0;
        const uint8_t* src = de265_get_image_plane(picture, c, &srcStride);
        uint8_t* dst = heif_image_get_plane(*out, channels[c], &dstStride);
        const size_t rowBytes = size_t(width) * size_t((bits + 7) / 8);
        if (!src || !dst)
            return failure("unexpected HEVC picture");
        for (int y = 0; y < height; ++y)
            std::memcpy(dst + size_t(y) * size_t(dstStride), src + size_t(y) * size_t(srcStride),
                        rowBytes);
    }
    heif_color_profile_nclx* nclx = heif_nclx_color_profile_alloc();
    if (nclx) {
        // Values the profile does not know are left at its defaults.
        heif_nclx_color_profile_set_color_primaries(
            nclx, uint16_t(de265_get_image_colour_primaries(picture)));
        heif_nclx_color_profile_set_transfer_characteristics(
            nclx, uint16_t(de265_get_image_transfer_characteristics(picture)));
        heif_nclx_color_profile_set_matrix_coefficients(
            nclx, uint16_t(de265_get_image_matrix_coefficients(picture)));
        nclx->full_range_flag = uint8_t(de265_get_image_full_range_flag(picture) != 0);
        heif_image_set_nclx_color_profile(*out, nclx);
        heif_nclx_color_profile_free(nclx);
    }
    return success();
}

heif_error decodeImage(void* decoder, heif_image** out) {
    auto* context = static_cast<de265_decoder_context*>(decoder);
    de265_flush_data(context);
    *out = nullptr;
    int more = 0;
    do {
        more = 0;
        if (de265_decode(context, &more) != DE265_OK)
            break;
        if (const de265_image* picture = de265_get_next_picture(context)) {
            if (*out)
                heif_image_release(*out);
            *out = nullptr;
            const heif_error err = toHeifImage(picture, out);
            de265_release_next_picture(context);
            if (err.code != heif_error_Ok) {
                if (*out)
                    heif_image_release(*out);
                *out = nullptr;
                return err;
            }
        }
    } while (more);
    return *out ? success() : failure("no picture in the HEVC data");
}

void setStrict(void*, int) {}

const heif_decoder_plugin kPlugin = {3,           pluginName, nothing,           nothing,
                                     priority,    newDecoder, freeDecoder,       pushData,
                                     decodeImage, setStrict,  "lumenta-libde265"};

} // namespace

void useThreadedHevcDecoder() {
    static std::once_flag registered;
    std::call_once(registered, [] { heif_register_decoder_plugin(&kPlugin); });
}

} // namespace lumenta::picdecode
