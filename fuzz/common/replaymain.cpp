// The ordinary build's entry point for a fuzz target: runs the target once
// on each file named, or on every file under each folder named (in name
// order, dot files skipped), as the fuzzer would, and prints what it ran.
// A crash, a sanitizer report or a failed check ends the program; a run
// that finds no input at all fails too, as a misplaced folder would.
//
// The fuzzer stops a run that allocates more than its memory limit; the
// replay does the same where no sanitizer is present, by a limit on the
// address space.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <sys/resource.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);
extern "C" __attribute__((weak)) int LLVMFuzzerInitialize(int* argc, char*** argv);

#if defined(__SANITIZE_ADDRESS__)
#define LUMENTA_REPLAY_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define LUMENTA_REPLAY_SANITIZED 1
#endif
#endif

namespace {

namespace fs = std::filesystem;

// Address space a replay may use: the fuzzer's 2 GB memory limit plus what
// Qt and the libraries map at start-up.
constexpr rlim_t kAddressSpaceLimit = rlim_t(6) << 30;

void collect(const fs::path& path, std::vector<fs::path>& out) {
    if (fs::is_directory(path)) {
        std::vector<fs::path> found;
        for (const auto& entry : fs::recursive_directory_iterator(path))
            if (entry.is_regular_file() && entry.path().filename().string().front() != '.')
                found.push_back(entry.path());
        std::sort(found.begin(), found.end());
        out.insert(out.end(), found.begin(), found.end());
    } else if (fs::exists(path)) {
        out.push_back(path);
    }
}

} // namespace

int main(int argc, char** argv) {
#ifndef LUMENTA_REPLAY_SANITIZED
    const rlimit limit{kAddressSpaceLimit, kAddressSpaceLimit};
    setrlimit(RLIMIT_AS, &limit);
#endif
    if (LLVMFuzzerInitialize)
        LLVMFuzzerInitialize(&argc, &argv);
    std::vector<fs::path> inputs;
    for (int i = 1; i < argc; ++i)
        collect(argv[i], inputs);
    if (inputs.empty()) {
        std::fprintf(stderr, "replay: no input found\n");
        return 1;
    }
    for (const fs::path& p : inputs) {
        std::ifstream in(p, std::ios::binary);
        const std::vector<char> bytes{std::istreambuf_iterator<char>(in),
                                      std::istreambuf_iterator<char>()};
        std::printf("replay: %s (%zu bytes)\n", p.c_str(), bytes.size());
        std::fflush(stdout);
        LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    }
    std::printf("replay: %zu inputs, no fault\n", inputs.size());
    return 0;
}
