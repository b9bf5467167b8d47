#pragma once
// SANE reads its configuration folder once per process: every scanner test
// program points it at the project's own one before main(), never at the
// system's (whose network backends would broadcast).
#include "scanner/scanengine.h"
#include "support/testutil.h"

#include <cstdlib>

#define LUMENTA_SANE_CONFIG(folder)                                                                \
    static const bool saneConfigured = [] {                                                        \
        return ::setenv("SANE_CONFIG_DIR", LUMENTA_SOURCE_DIR "/tests/support/" folder, 1) == 0;   \
    }()

namespace scantest {

// Options of the virtual scanner for a scan slow enough to be cancelled.
inline const QList<lumenta::ScanOption> slow = {{"read-limit", true},
                                                {"read-limit-size", 1000},
                                                {"read-delay", true},
                                                {"read-delay-duration", 20000}};

// Runs one scan on the engine and waits for its result.
inline lumenta::ScanResult scan(lumenta::ScanEngine& engine, const lumenta::ScanRequest& request) {
    std::optional<lumenta::ScanResult> out;
    const auto c = QObject::connect(&engine, &lumenta::ScanEngine::scanned,
                                    [&out](const lumenta::ScanResult& r) { out = r; });
    engine.scan(request);
    testutil::waitUntil([&out] { return out.has_value(); }, 60000);
    QObject::disconnect(c);
    return out.value_or(lumenta::ScanResult());
}

} // namespace scantest
