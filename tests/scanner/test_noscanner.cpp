// A machine without scanners: SANE loads no backend at all.
#include "scannerfixture.h"

#include <QLabel>
#include <QListWidget>

using namespace lumenta;

LUMENTA_SANE_CONFIG("sane-none");

TEST_F(ScannerTest, NoScannerMeansAnEmptyListAndASilentAcquisition) {
    start();
    ScannerCommands* sc = commands();
    w->Mnu_SelectSource->trigger();
    ASSERT_TRUE(testutil::waitUntil([sc] {
        return sc->sourceDialog() &&
               sc->sourceDialog()->lblStatus->text() != QStringLiteral("Recherche des scanners...");
    }));
    SourceDialog* d = sc->sourceDialog();
    EXPECT_EQ(d->lblStatus->text(), QStringLiteral("Aucun scanner n'a été trouvé."));
    EXPECT_EQ(d->lstDevices->count(), 0);
    EXPECT_FALSE(d->buttons->button(QDialogButtonBox::Ok)->isEnabled());
    d->reject();

    EXPECT_FALSE(acquire(w->Mnu_AcquScanner));
    EXPECT_FALSE(sc->busy());
    EXPECT_EQ(sc->window(), nullptr);
    EXPECT_TRUE(dialogs.asked.isEmpty());
    EXPECT_TRUE(w->Mnu_AcquScanner->isEnabled());
}
