#pragma once
// What the benchmarks share: waiting on the event loop without spinning (the
// decoding threads keep the processors), and this process's own figures from
// /proc/self/status.
#include <functional>

namespace lumenta::bench {

// Runs the event loop, sleeping between events and looking again every
// tickMs, until done() holds; false after ms.
bool waitFor(const std::function<bool()>& done, int ms, int tickMs = 20);

// A line of /proc/self/status in kilobytes ("VmHWM:", "VmRSS:"); -1 when
// missing.
double procStatusKB(const char* key);

} // namespace lumenta::bench
