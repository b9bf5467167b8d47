#pragma once
// What the scanner tests share. SANE reads its configuration folder once per
// process: every scanner test program points it at the project's own one
// before main(), never at the system's (whose network backends would
// broadcast). Then a main window whose scanner commands are driven as a user
// would.
#include "scanner/scanengine.h"
#include "scanner/scannercommands.h"
#include "support/testutil.h"
#include "support/viewerfixture.h"

#include <cstdlib>

#include <QComboBox>
#include <QDialogButtonBox>
#include <QPointer>
#include <QProgressDialog>
#include <QPushButton>

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

class ScannerTest : public ViewerTest {
protected:
    lumenta::ScannerCommands* commands() { return w->findChild<lumenta::ScannerCommands*>(); }
    lumenta::Scanner* window() { return commands()->window(); }

    // Runs a command that scans; the settings dialog keeps its choices where
    // an argument is left out. False when no dialog came.
    bool acquire(QAction* command, const QString& mode = {}, int dpi = 0,
                 std::optional<lumenta::ScanArea> area = {},
                 const QList<lumenta::ScanOption>& options = {}) {
        lumenta::ScannerCommands* sc = commands();
        // The virtual scanner keeps its options from one scan to the next.
        sc->session().deviceOptions = {
            {"read-limit", false}, {"read-delay", false}, {"read-return-value", "Default"}};
        sc->session().deviceOptions += options;
        lumenta::ScanSettingsDialog* d = settingsFor(command);
        if (!d)
            return false;
        if (!mode.isEmpty())
            d->cboMode->setCurrentIndex(d->cboMode->findText(mode));
        if (dpi)
            d->cboResolution->setCurrentIndex(d->cboResolution->findData(dpi));
        if (area)
            d->cboArea->setCurrentIndex(d->cboArea->findData(int(*area)));
        d->buttons->button(QDialogButtonBox::Ok)->click();
        return testutil::waitUntil([sc] { return !sc->busy(); }, 60000);
    }

    // Runs a command that scans and waits for its own settings dialog (never
    // one left from a step before); null when none came.
    lumenta::ScanSettingsDialog* settingsFor(QAction* command) {
        const QPointer<lumenta::ScanSettingsDialog> before = commands()->settingsDialog();
        command->trigger();
        return newlyShown(&lumenta::ScannerCommands::settingsDialog, before);
    }

    // The progress dialog of the scan that runs now, once it shows.
    QProgressDialog* progressOf(const QPointer<QProgressDialog>& before) {
        return newlyShown(&lumenta::ScannerCommands::progressDialog, before);
    }

private:
    template <typename D>
    D* newlyShown(D* (lumenta::ScannerCommands::*dialog)() const, const QPointer<D>& before) {
        lumenta::ScannerCommands* sc = commands();
        const auto shown = [&]() -> D* {
            D* d = (sc->*dialog)();
            return d && d != before && d->isVisible() ? d : nullptr;
        };
        testutil::waitUntil([&] { return shown() || !sc->busy(); }, 20000);
        return shown();
    }
};
