// The print layout: its arithmetic, the boxes, the picture's place on PDF
// output, and no printer at all (CUPS_SERVER names a socket nobody serves).
#include "picture/pictureservice.h"
#include "printing/printlayout.h"
#include "printtestutil.h"
#include "support/mediacapture.h"
#include "support/viewerfixture.h"
#include "widgets/picturewidgets.h"
#include "widgets/twips.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPrinter>
#include <QRadioButton>
#include <QTest>
#include <QToolButton>

using namespace lumenta;
using namespace lumenta::printlayout;

namespace {
const bool isolated = printtest::isolate(QStringLiteral("/nonexistent/lumenta/cups.sock"));
const bool audioToDisk = mediatest::routeAudioToDisk();
const QLocale french(QLocale::French, QLocale::France);
const QLocale plain = QLocale::c();
} // namespace

TEST(PrintLayout, SizesProportionsThumbnailAndCentring) {
    // 9000 x 6000 twips: 158.75 x 105.83 mm; 10800 twips: 190.5, a tie to the even 190.
    const auto mm = [](double w, double h, int k) {
        const SizeMM s = scaledSize(w, h, k);
        return std::pair(s.width, s.height);
    };
    EXPECT_EQ(mm(9000, 6000, 1), std::pair(159.0, 106.0));
    EXPECT_EQ(mm(9000, 6000, 2), std::pair(79.5, 53.0));
    EXPECT_EQ(mm(10800, 6000, 1).first, 190);
    EXPECT_EQ(proportionalHeight(100, 160, 120), 75); // not 74
    EXPECT_EQ(proportionalHeight(100, 159, 106), 66);
    EXPECT_EQ(proportionalHeight(100, 0, 0), std::nullopt);
    EXPECT_EQ(thumbnailWidth(1575, 2), 3150);
    EXPECT_EQ(thumbnailWidth(1575, 3), 3855);
    EXPECT_EQ(thumbnailWidth(1575, 0), std::nullopt);

    struct Case {
        Orientation o;
        double w, h;
        std::optional<double> top, left;
    } cases[] = {
        {Orientation::Portrait, 100, 100, 98.5, 55},
        {Orientation::Landscape, 100, 100, 55, 98.5},
        {Orientation::Portrait, 210, 297, std::nullopt, std::nullopt},
        {Orientation::Landscape, 297, 100, 55, std::nullopt},
        {Orientation::Portrait, 400, 300, -1.5, -95},
    };
    for (const Case& c : cases) {
        const Margins m = centredMargins(c.o, c.w, c.h);
        EXPECT_EQ(m.top, c.top) << c.w << "x" << c.h;
        EXPECT_EQ(m.left, c.left) << c.w << "x" << c.h;
    }
}

TEST(PrintLayout, APictureIsPrintedFromNoMorePixelsThanThePrinterPuts) {
    const struct {
        QSize natural;
        QSizeF mm;
        double dpi;
        QSize pixels;
    } cases[] = {
        {{40000, 20000}, {200, 100}, 300, {2362, 1181}}, // the printer's dots
        {{600, 400}, {159, 106}, 1200, {600, 400}},      // never enlarged
        {{40000, 20000}, {100, 100}, 254, {1000, 500}},  // the proportions kept
        {{600, 400}, {0, 106}, 1200, {}},
        {{}, {159, 106}, 1200, {}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(printPixels(c.natural, c.mm, c.dpi), c.pixels) << c.mm.width();
    // A picture printed large at a fine resolution: within the budget.
    const QSize huge = printPixels({65535, 65535}, {10000, 10000}, 1200);
    EXPECT_LE(qint64(huge.width()) * huge.height(), kPrintPixels);
    EXPECT_GT(qint64(huge.width()) * huge.height(), kPrintPixels * 99 / 100);
    EXPECT_EQ(huge.width(), huge.height());
}

TEST(PrintLayout, KeyFilterAndNumbers) {
    EXPECT_TRUE(acceptsChar(Box::Size, QLatin1Char(','), french));
    EXPECT_FALSE(acceptsChar(Box::Size, QLatin1Char(','), plain));
    for (const char c : {'a', 'e', ' ', '+'})
        EXPECT_FALSE(acceptsChar(Box::Margin, QLatin1Char(c), french)) << c;

    EXPECT_EQ(formatPlain(79.5), QStringLiteral("79.5"));
    EXPECT_EQ(formatPlain(106.0 / 3), QStringLiteral("35.3333333333"));
    EXPECT_EQ(formatLocal(-1234.5, french), QStringLiteral("-1234,5"));
    const std::tuple<const char*, QLocale, double> read[] = {{"", french, 0},
                                                             {" 12.5mm", french, 12.5},
                                                             {"-98,5", french, -98.5},
                                                             {"1.2.3", plain, 1.2}};
    for (const auto& [text, locale, value] : read)
        EXPECT_EQ(readNumber(QString::fromUtf8(text), locale), value) << text;
}

class PrintWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(isolated);
        twips::setDpiOverride(96);
        ctx.dialogs = &dialogs;
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(pdf);
        printer.setPageSize(QPageSize(QPageSize::A4));
    }
    void TearDown() override { twips::setDpiOverride(0); }
    // Prints with the printer dialog accepted; the ink lies in `mm` of an A4 sheet.
    void printAndExpectInk(ImpIMG& imp, const QRectF& mm) {
        dialogs.printerAnswers = {PrinterDialogResult::Accepted};
        imp.Command1->click();
        ASSERT_TRUE(testutil::waitUntil([&] { return !imp.isVisible(); }, 30000));
        EXPECT_TRUE(dialogs.messageTexts().isEmpty());
        printtest::expectInk(pdf, 210, mm);
    }

    QTemporaryDir dir;
    QString pdf = dir.filePath(QStringLiteral("out.pdf"));
    AppContext ctx;
    ScriptedDialogs dialogs;
    QPrinter printer{QPrinter::HighResolution};
};

TEST_F(PrintWindowTest, ScalesTypedSizesFiltersKeysAndCancelKeepsTheWindowThenOneJob) {
    ImpIMG imp(ctx, printer);
    imp.fill(printtest::black(600, 400), QStringLiteral("/photos/chat.jpg"));
    EXPECT_EQ(imp.Text1->text() + " " + imp.Text2->text(), QStringLiteral("159 106"));
    EXPECT_EQ(imp.Image1->width(), 158); // 105 pixels high at 1.5 : 1
    imp.Option2->click();
    EXPECT_EQ(imp.Label8->text() + " " + imp.Label9->text(), QStringLiteral("79.5 53"));
    imp.Option3->click();
    imp.Check2->click(); // centred from now on, in the printer's portrait
    imp.Text1->clear();
    QTest::keyClicks(imp.Text1, QStringLiteral("1a0-0"));
    EXPECT_EQ(imp.Text1->text(), QStringLiteral("100"));
    EXPECT_EQ(imp.Text2->text(), QStringLiteral("66")); // floor(100 x 106 / 159)
    EXPECT_EQ(imp.Text3->text() + " " + imp.Text4->text(), QStringLiteral("115.5 55"));
    imp.Text2->setText(QStringLiteral("297"));
    EXPECT_EQ(imp.Text1->text(), QStringLiteral("100")); // a height leaves the width
    EXPECT_EQ(imp.Text3->text(), QString());
    QTest::keyClicks(imp.Text3, QStringLiteral("-x2"));
    EXPECT_EQ(imp.Text3->text(), QStringLiteral("-2"));
    // Portrait: 100 x 297 mm centred, the empty top box printed as 0.
    imp.Text3->clear();
    imp.show();
    imp.Command1->click(); // the dialog is cancelled
    EXPECT_TRUE(imp.isVisible());
    EXPECT_FALSE(QFile::exists(pdf));
    EXPECT_EQ(imp.Text1->text() + " " + imp.Text4->text(), QStringLiteral("100 55"));
    printAndExpectInk(imp, {55, 0, 100, 297});
}

TEST_F(PrintWindowTest, APictureTooLargeToBeHeldIsLaidOutFromTilesAndPrintedReduced) {
    // Every picture is read by parts here, as a huge one is.
    ctx.pictureService = std::make_shared<PictureService>();
    const LoadLimits byParts{0, QSize(64, 32)};
    ctx.pictures().setLoadLimits(byParts);
    const QString path = dir.filePath(QStringLiteral("black.png"));
    ASSERT_TRUE(printtest::black(600, 400).save(path));
    const Picture tiled = loadPicture(path, {}, nullptr, byParts);
    ASSERT_TRUE(tiled.isTiled());
    ImpIMG imp(ctx, printer);
    imp.fillTiled(tiled, printtest::black(60, 40), path);
    EXPECT_TRUE(imp.PicImage->isTiled());
    EXPECT_EQ(imp.PicImage->size(), QSize(600, 400));
    EXPECT_EQ(imp.Text1->text() + " " + imp.Text2->text(), QStringLiteral("159 106"));
    imp.show();
    printAndExpectInk(imp, {0, 0, 159, 106});
}

TEST_F(PrintWindowTest, NoPrinterIsSaidForOrientationAndPrint) {
    QPrinter none;
    ImpIMG imp(ctx, none);
    imp.fill(printtest::black(60, 40), QStringLiteral("/photos/x.jpg"));
    imp.show();
    imp.Command5->click();
    imp.Command1->click();
    EXPECT_EQ(dialogs.messageTexts(),
              QStringList(2, QStringLiteral("Aucune imprimante n'est disponible")));
    EXPECT_EQ(dialogs.count(ScriptedDialogs::Asked::Kind::Printer), 0);
    EXPECT_TRUE(imp.isVisible());
}

// The main window offers printing only while it shows a picture (the print
// window naming that picture is checked with the main window's commands).
TEST_F(ViewerTest, PrintingFollowsThePictureShown) {
    ASSERT_TRUE(audioToDisk);
    addFixture(QStringLiteral("pictures/samples/jpeg/baseline.jpg"));
    addFixture(QStringLiteral("pictures/samples/broken/text_renamed.jpg"));
    addFixture(QStringLiteral("media/tone_s16.wav"));
    testutil::writeFile(appDir, QStringLiteral("notes.txt"), "texte");
    start();
    w->Combo1->setEditText(QStringLiteral("*.*"));
    const auto offered = [&] {
        w->Mnu_Fichier_Open();
        EXPECT_EQ(w->Mnu_Imprimer->isEnabled(), !w->Command10->isHidden());
        return w->Mnu_Imprimer->isEnabled() && w->Command10->isEnabled();
    };
    const auto shownPicture = [&] {
        click(QStringLiteral("baseline.jpg"));
        EXPECT_TRUE(offered());
    };
    shownPicture();
    for (const char* other : {"text_renamed.jpg", "notes.txt", "tone_s16.wav"}) {
        click(QLatin1String(other));
        EXPECT_FALSE(offered()) << other;
        if (QByteArray(other).endsWith(".wav"))
            w->Command4->click(); // the sound stopped
        shownPicture();
    }
    w->Mnu_EffaceImage->trigger();
    EXPECT_FALSE(offered());
}
