#pragma once
// What the JPEG decoders share: libjpeg's error exit by longjmp, the
// progress monitor that refuses endless scans and stops a cancelled load,
// and the colour conversions libjpeg does not do. Everything here is
// trivially destructible: libjpeg may longjmp out of any of its calls.
#include "picture/pictureloader.h"

#include <QtGlobal>

#include <csetjmp>
#include <cstdio>

#include <jpeglib.h>

namespace lumenta::jpeg {

// A progressive file with more scans than this is refused (a few hundred
// are legitimate; millions are a way to keep a decoder busy forever).
constexpr int kMaxScans = 1000;
// What the file is read by.
constexpr size_t kReadBufferBytes = 256 * 1024;

#if Q_BYTE_ORDER == Q_LITTLE_ENDIAN
constexpr J_COLOR_SPACE kRgb32Space = JCS_EXT_BGRA;
#else
constexpr J_COLOR_SPACE kRgb32Space = JCS_EXT_ARGB;
#endif

struct ErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

struct ProgressManager {
    jpeg_progress_mgr pub;
    LoadProgress* progress;
    bool cancelled;
};

// Leaves the decoding (longjmp to the ErrorManager's jump) saying why.
[[noreturn]] void leave(j_common_ptr c, const char* why);
// Leaves saying "cancelled" when the load is cancelled.
void leaveIfCancelled(j_decompress_ptr c);

// Sets up error and progress handling for a decompressor not created yet.
void prepare(jpeg_decompress_struct& c, ErrorManager& err, ProgressManager& prog,
             LoadProgress* progress);

// The EXIF orientation of the saved APP1 markers (1 when none).
int savedOrientation(const jpeg_decompress_struct& c);

// Adobe files store CMYK inverted; this is how Qt's reader shows them.
// Converts `width` CMYK pixels of row to RGB32 in place.
void cmykToRgb32(uchar* row, int width);

// The file, opened for libjpeg with a large read buffer; null on failure.
std::FILE* openForJpeg(const QString& path);

// Feeds libjpeg from a file through a buffer of our own, far larger than
// jpeg_stdio_src's 4 KB: libjpeg-turbo decodes a block row by its fast
// path only while a few kilobytes are left in the buffer, which is nearly
// always with a megabyte.
struct FileSource {
    jpeg_source_mgr pub;
    std::FILE* file;
    JOCTET* buffer;
    size_t size;
};
constexpr size_t kSourceBufferBytes = 1 << 20;
void attachFileSource(jpeg_decompress_struct& c, FileSource& source, std::FILE* file,
                      JOCTET* buffer, size_t size);

} // namespace lumenta::jpeg
