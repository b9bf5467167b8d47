/* Stands in for the helper programs in the helper-output fuzz target: sends
 * back what a file prescribes, as a helper would send it. The file is the
 * one after --input (lumenta-picdecode's picture), or for lumenta-mfrender,
 * which gets its metafile on standard input (read and dropped), the one
 * $LUMENTA_FUZZ_HELPER_SCRIPT names. The file: one byte for the exit code
 * (0 when even, else its value), one byte N, N bytes for the error output,
 * then the standard output. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

static int writeAll(int fd, const unsigned char* p, size_t n) {
    while (n > 0) {
        const ssize_t w = write(fd, p, n);
        if (w <= 0)
            return 0;
        p += w;
        n -= (size_t)w;
    }
    return 1;
}

int main(int argc, char** argv) {
    const char* input = NULL;
    for (int i = 1; i + 1 < argc; ++i)
        if (strcmp(argv[i], "--input") == 0)
            input = argv[i + 1];
    if (!input) {
        static char drop[65536];
        while (fread(drop, 1, sizeof drop, stdin) > 0) {
        }
        input = getenv("LUMENTA_FUZZ_HELPER_SCRIPT");
    }
    if (!input)
        return 1;
    FILE* f = fopen(input, "rb");
    if (!f)
        return 2;
    static unsigned char buf[1 << 20];
    const size_t n = fread(buf, 1, sizeof buf, f);
    fclose(f);
    const int code = n > 0 && (buf[0] & 1) ? buf[0] : 0;
    const size_t errLen = n > 1 ? buf[1] : 0;
    const size_t errAt = n > 1 ? 2 : n;
    const size_t errEnd = errAt + errLen < n ? errAt + errLen : n;
    writeAll(2, buf + errAt, errEnd - errAt);
    writeAll(1, buf + errEnd, n - errEnd);
    return code;
}
