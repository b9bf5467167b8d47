#pragma once
// What the printing tests share: no printer but the test's, printing through
// the window, and the ink on a page.
#include "printing/impimg.h"
#include "support/scripteddialogs.h"
#include "support/testutil.h"

#include <QImage>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace printtest {

// Before anything talks to CUPS: the server given, no system bus (no DNS-SD
// browsing) and a HOME of its own for lpoptions.
inline bool isolate(const QString& cupsServer) {
    static QTemporaryDir home;
    qputenv("CUPS_SERVER", cupsServer.toLocal8Bit());
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=" + home.filePath("no-bus").toLocal8Bit());
    qputenv("HOME", home.path().toLocal8Bit());
    return home.isValid();
}

inline QImage black(int w, int h) {
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(Qt::black);
    return img;
}

// Opens a print window on `printer`, lets `setUp` act on it, accepts the
// printer dialog and waits until the window closes.
template <typename SetUp>
bool printThroughWindow(lumenta::AppContext& ctx, lumenta::ScriptedDialogs& dialogs,
                        QPrinter& printer, SetUp setUp) {
    lumenta::ImpIMG imp(ctx, printer);
    imp.fill(black(600, 400), QStringLiteral("/photos/black.jpg"));
    imp.show();
    setUp(imp);
    dialogs.printerAnswers.push_back(lumenta::PrinterDialogResult::Accepted);
    imp.Command1->click();
    return testutil::waitUntil([&] { return !imp.isVisible(); }, 60000);
}

// Checks, within 0.2 mm, the page width and the box of dark pixels of a PDF's
// first page rendered by pdftoppm at 10 pixels a millimetre.
inline void expectInk(const QString& pdf, double pageWidth, const QRectF& mm) {
    QTemporaryDir dir;
    const QString out = dir.filePath(QStringLiteral("page"));
    ASSERT_EQ(QProcess::execute(QStringLiteral("pdftoppm"),
                                {"-r", "254", "-gray", "-singlefile", pdf, out}),
              0);
    const QImage img(out + QStringLiteral(".pgm"));
    ASSERT_FALSE(img.isNull());
    QRect box;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            box |= img.constScanLine(y)[x] < 128 ? QRect(x, y, 1, 1) : QRect();
    EXPECT_NEAR(img.width() / 10.0, pageWidth, 0.2);
    EXPECT_NEAR(box.x() / 10.0, mm.x(), 0.2);
    EXPECT_NEAR(box.y() / 10.0, mm.y(), 0.2);
    EXPECT_NEAR(box.width() / 10.0, mm.width(), 0.2);
    EXPECT_NEAR(box.height() / 10.0, mm.height(), 0.2);
}

} // namespace printtest
