// A program that holds the main window but never prints loads no printing
// library: CUPS, GnuTLS and p11-kit come in with the first use of a printer,
// not at start (p11-kit's destructor, run at exit, has hung test programs).
#include "printing/printtestutil.h"
#include "support/testutil.h"
#include "support/viewerfixture.h"

#include <QAction>
#include <QMenu>

using namespace lumenta;

namespace {

// The printing libraries mapped into this process.
QStringList printingLibraries() {
    const QByteArray maps = testutil::readFile(QStringLiteral("/proc/self/maps"));
    QStringList found;
    for (const char* lib : {"libcups.so", "libgnutls.so", "libp11-kit.so"})
        if (maps.contains(lib))
            found << QLatin1String(lib);
    return found;
}

} // namespace

TEST_F(ViewerTest, PrintingLibrariesComeOnlyWithTheFirstPrinter) {
    QTemporaryDir cups;
    ASSERT_TRUE(printtest::isolate(cups.filePath(QStringLiteral("no-server.sock"))));
    addFixture(QStringLiteral("pictures/samples/jpeg/baseline.jpg"));
    start();
    click(QStringLiteral("baseline.jpg"));
    Q_EMIT w->Mnu_Fichier->aboutToShow();
    Q_EMIT w->Mnu_Edition->aboutToShow();
    EXPECT_EQ(printingLibraries(), QStringList());

    // The printer set-up asks CUPS for the queues (none here).
    dialogs.printerAnswers = {PrinterDialogResult::Cancelled};
    w->Mnu_ConfIMP->trigger();
    EXPECT_TRUE(printingLibraries().contains(QStringLiteral("libcups.so")));
}
