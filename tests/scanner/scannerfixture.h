#pragma once
// A main window whose scanner commands are driven as a user would: the
// command, then the settings dialog answered.
#include "sanetest.h"
#include "scanner/scannercommands.h"
#include "support/viewerfixture.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QPushButton>

class ScannerTest : public ViewerTest {
protected:
    lumenta::ScannerCommands* commands() { return w->findChild<lumenta::ScannerCommands*>(); }
    lumenta::Scanner* window() { return commands()->window(); }

    // Runs a command that scans; the settings dialog keeps its choices
    // where an argument is left out. False when no dialog came.
    bool acquire(QAction* command, const QString& mode = {}, int dpi = 0,
                 std::optional<lumenta::ScanArea> area = {},
                 const QList<lumenta::ScanOption>& options = {}) {
        lumenta::ScannerCommands* sc = commands();
        // The virtual scanner keeps its options from one scan to the next.
        sc->session().deviceOptions = {
            {"read-limit", false}, {"read-delay", false}, {"read-return-value", "Default"}};
        sc->session().deviceOptions += options;
        command->trigger();
        testutil::waitUntil([sc] { return sc->settingsDialog() || !sc->busy(); }, 20000);
        lumenta::ScanSettingsDialog* d = sc->settingsDialog();
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
};
