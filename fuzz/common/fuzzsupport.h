#pragma once
// What the fuzz targets share: a Qt application made once, scratch files on
// a memory file system for readers that want a path, and a reader that cuts
// a fuzzer's input into typed values.
//
// A target defines LLVMFuzzerTestOneInput (and LLVMFuzzerInitialize when it
// needs a Qt application). The same source builds twice: with libFuzzer in
// the fuzz build, and with replaymain.cpp in the ordinary build, where CTest
// replays the target's regression inputs and seed corpus.
#include <QByteArray>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <type_traits>

namespace lumenta::fuzz {

// A QGuiApplication on the offscreen platform (fonts, painting, image
// readers), or a bare QCoreApplication (translations, application paths).
// The first call makes it; later calls do nothing.
void startGuiApplication();
void startCoreApplication();

// A private folder for this process on a memory file system (/dev/shm when
// there is one, else the temporary folder), removed at exit.
QString scratchFolder();

// Writes bytes to scratchFolder()/name, replacing what was there, and
// returns the path. Aborts when the file cannot be written.
QString writeScratchFile(const QString& name, const QByteArray& bytes);

// Aborts with a message when an invariant of the code under test fails:
// the fuzzer reports it as a crash, the replay as a failed test.
#define LUMENTA_FUZZ_CHECK(cond)                                                                   \
    do {                                                                                           \
        if (!(cond))                                                                               \
            ::lumenta::fuzz::checkFailed(#cond, __FILE__, __LINE__);                               \
    } while (0)
[[noreturn]] void checkFailed(const char* what, const char* file, int line);

// Takes typed values from the front of an input; past its end every value
// is zero and every byte string empty.
class InputReader {
public:
    InputReader(const uint8_t* data, size_t size) : p_(data), left_(size) {}

    template <typename T> T take() {
        static_assert(std::is_integral_v<T>);
        T v{};
        const size_t n = left_ < sizeof(T) ? left_ : sizeof(T);
        std::memcpy(&v, p_, n);
        p_ += n;
        left_ -= n;
        return v;
    }
    bool takeBool() { return take<uint8_t>() & 1; }
    // A value in [lo, hi].
    template <typename T> T takeInRange(T lo, T hi) {
        using U = std::make_unsigned_t<T>;
        const U span = U(U(hi) - U(lo));
        const U raw = U(take<T>());
        return T(U(lo) + (span == U(~U(0)) ? raw : U(raw % U(span + 1))));
    }
    QByteArray takeBytes(size_t n) {
        n = n < left_ ? n : left_;
        QByteArray out(reinterpret_cast<const char*>(p_), qsizetype(n));
        p_ += n;
        left_ -= n;
        return out;
    }
    // Bytes up to (not including) the next occurrence of `end`, or the rest.
    QByteArray takeUntil(char end) {
        const void* hit = std::memchr(p_, end, left_);
        const size_t n = hit ? size_t(static_cast<const uint8_t*>(hit) - p_) : left_;
        QByteArray out = takeBytes(n);
        if (hit)
            take<uint8_t>();
        return out;
    }
    QByteArray rest() { return takeBytes(left_); }
    size_t left() const { return left_; }

private:
    const uint8_t* p_;
    size_t left_;
};

} // namespace lumenta::fuzz
