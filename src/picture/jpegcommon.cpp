#include "picture/jpegcommon.h"

#include "picture/orientation.h"

#include <QFile>

#include <algorithm>
#include <cstring>

namespace lumenta::jpeg {

namespace {

[[noreturn]] void errorExit(j_common_ptr c) {
    auto* err = reinterpret_cast<ErrorManager*>(c->err);
    (*c->err->format_message)(c, err->message);
    std::longjmp(err->jump, 1);
}

void silent(j_common_ptr) {} // warnings (damaged data) are not printed

void monitor(j_common_ptr c) {
    auto* p = reinterpret_cast<ProgressManager*>(c->progress);
    if (reinterpret_cast<j_decompress_ptr>(c)->input_scan_number > kMaxScans)
        leave(c, "too many scans");
    if (p->progress && p->progress->isCancelled()) {
        p->cancelled = true;
        leave(c, "cancelled");
    }
}

void initSource(j_decompress_ptr) {}
void termSource(j_decompress_ptr) {}

boolean fillBuffer(j_decompress_ptr c) {
    auto* src = reinterpret_cast<FileSource*>(c->src);
    size_t n = std::fread(src->buffer, 1, src->size, src->file);
    if (n == 0) {
        // A truncated file ends as if it were complete, as libjpeg's own
        // source does.
        src->buffer[0] = 0xff;
        src->buffer[1] = JPEG_EOI;
        n = 2;
    }
    src->pub.next_input_byte = src->buffer;
    src->pub.bytes_in_buffer = n;
    return TRUE;
}

void skipData(j_decompress_ptr c, long count) {
    auto* src = reinterpret_cast<FileSource*>(c->src);
    while (count > 0) {
        if (src->pub.bytes_in_buffer == 0)
            fillBuffer(c);
        const size_t n = std::min(size_t(count), src->pub.bytes_in_buffer);
        src->pub.next_input_byte += n;
        src->pub.bytes_in_buffer -= n;
        count -= long(n);
    }
}

} // namespace

void attachFileSource(jpeg_decompress_struct& c, FileSource& source, std::FILE* file,
                      JOCTET* buffer, size_t size) {
    source.pub.init_source = initSource;
    source.pub.fill_input_buffer = fillBuffer;
    source.pub.skip_input_data = skipData;
    source.pub.resync_to_restart = jpeg_resync_to_restart;
    source.pub.term_source = termSource;
    source.pub.next_input_byte = nullptr;
    source.pub.bytes_in_buffer = 0;
    source.file = file;
    source.buffer = buffer;
    source.size = size;
    c.src = &source.pub;
}

void leave(j_common_ptr c, const char* why) {
    auto* err = reinterpret_cast<ErrorManager*>(c->err);
    std::snprintf(err->message, sizeof err->message, "%s", why);
    std::longjmp(err->jump, 1);
}

void leaveIfCancelled(j_decompress_ptr c) {
    auto* p = reinterpret_cast<ProgressManager*>(c->progress);
    if (p && p->progress && p->progress->isCancelled()) {
        p->cancelled = true;
        leave(reinterpret_cast<j_common_ptr>(c), "cancelled");
    }
}

void prepare(jpeg_decompress_struct& c, ErrorManager& err, ProgressManager& prog,
             LoadProgress* progress) {
    c.err = jpeg_std_error(&err.pub);
    err.pub.error_exit = errorExit;
    err.pub.output_message = silent;
    prog.pub.progress_monitor = monitor;
    prog.progress = progress;
}

int savedOrientation(const jpeg_decompress_struct& c) {
    for (jpeg_saved_marker_ptr m = c.marker_list; m; m = m->next) {
        if (m->marker == JPEG_APP0 + 1) {
            const int orientation = exifOrientation(m->data, m->data_length);
            if (orientation != 1)
                return orientation;
        }
    }
    return 1;
}

void cmykToRgb32(uchar* row, int width) {
    auto* out = reinterpret_cast<quint32*>(row);
    for (int x = 0; x < width; ++x) {
        const uchar* in = row + x * 4;
        const int k = in[3];
        out[x] = qRgb(k * in[0] / 255, k * in[1] / 255, k * in[2] / 255);
    }
}

std::FILE* openForJpeg(const QString& path) {
    std::FILE* file = std::fopen(QFile::encodeName(path).constData(), "rb");
    // libjpeg reads 4 KB at a time: larger reads spare thousands of calls.
    if (file)
        std::setvbuf(file, nullptr, _IOFBF, kReadBufferBytes);
    return file;
}

} // namespace lumenta::jpeg
