#pragma once
// A main window whose scanner commands are driven as a user would.
#include "sanetest.h"
#include "scanner/scannercommands.h"
#include "support/viewerfixture.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QPointer>
#include <QProgressDialog>
#include <QPushButton>

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
