// The full-screen window and the fitting rules it places pictures by.
#include "app/appcontext.h"
#include "fullscreen/fit.h"
#include "fullscreen/fittedpicture.h"
#include "fullscreen/frmplecr.h"
#include "picture/pictureservice.h"
#include "support/scripteddialogs.h"
#include "support/testutil.h"

#include <QApplication>
#include <QFileInfo>
#include <QKeyEvent>
#include <QPainter>
#include <QScreen>
#include <QSignalSpy>
#include <QStyleHints>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <cmath>
#include <gtest/gtest.h>

using namespace lumenta;
using Kind = ScriptedDialogs::Asked::Kind;

TEST(FitGeometry, TableInATwelveByNineThousandWindowErrorsAndModes) {
    const struct {
        double w0, h0;
        FitRect natural; // CalculImage then CentreIMG
        FitRect largest; // CalculImage2 then CentreIMG
    } cases[] = {
        {6000, 3000, {3000, 3000, 6000, 3000}, {0, 1500, 12000, 6000}}, // smaller: kept/enlarged
        {24000, 6000, {0, 3000, 12000, 3000}, {0, 3000, 12000, 3000}},  // too wide only
        {16000, 16000, {1500, 0, 9000, 9000}, {1500, 0, 9000, 9000}},   // width, then height
        {6000, 12000, {3750, 0, 4500, 9000}, {3750, 0, 4500, 9000}},    // too high only
        {12000, 4000, {0, 2500, 12000, 4000}, {0, 2500, 12000, 4000}},  // an equal side stays
        {3000, 9000, {4500, 0, 3000, 9000}, {4500, 0, 3000, 9000}},     // (either side)
        {4000, 2000, {4000, 3500, 4000, 2000}, {0, 1500, 12000, 6000}}, // enlarged, height fits
        {1000, 900, {5500, 4050, 1000, 900}, {1000, 0, 10000, 9000}},   // enlarged, then reduced
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.w0 << " x " << c.h0);
        EXPECT_EQ(fitAndCentre(FitRule::NaturalOrSmaller, c.w0, c.h0, 12000, 9000), c.natural);
        EXPECT_EQ(fitAndCentre(FitRule::Largest, c.w0, c.h0, 12000, 9000), c.largest);
    }
    // A picture larger than the area is cut equally on both sides.
    EXPECT_EQ(CentreIMG(14000, 10000, 12000, 9000), (FitPos{-1000, -500}));
    // A side that is zero or no positive number is an error.
    const double bad[][2] = {{0, 100}, {100, 0}, {-5, 100}, {100, std::nan("")}};
    for (const auto& s : bad) {
        EXPECT_FALSE(CalculImage(s[0], s[1], 12000, 9000));
        EXPECT_FALSE(CalculImage2(s[0], s[1], 12000, 9000));
        EXPECT_FALSE(fitAndCentre(FitRule::Largest, s[0], s[1], 12000, 9000));
    }
    // An empty area is no error: the picture just shrinks to nothing.
    EXPECT_EQ(CalculImage(100, 50, 0, 0).value_or(FitSize{1, 1}).width, 0);
    for (int16_t m : {0, 1, 2, 3, -1})
        EXPECT_EQ(fitRuleForMode(m), m == 2 ? FitRule::Largest : FitRule::NaturalOrSmaller) << m;
}

TEST(FitGeometry, KeepsRatioAndStaysInsideOverAGrid) {
    const double areas[][2] = {{1920, 1080}, {1080, 1920}, {800, 600}, {1366, 768}};
    const double sides[] = {1, 3, 97, 640, 799, 800, 801, 1080, 1919, 1920, 4000, 24000};
    for (const auto& a : areas)
        for (double w0 : sides)
            for (double h0 : sides) {
                SCOPED_TRACE(testing::Message()
                             << w0 << "x" << h0 << " in " << a[0] << "x" << a[1]);
                const auto n = CalculImage(w0, h0, a[0], a[1]);
                const auto l = CalculImage2(w0, h0, a[0], a[1]);
                ASSERT_TRUE(n && l);
                for (const FitSize& s : {*n, *l}) {
                    EXPECT_LE(s.width, a[0] * (1 + 1e-6));
                    EXPECT_LE(s.height, a[1] * (1 + 1e-6));
                    EXPECT_NEAR(s.width / s.height, w0 / h0, 1e-5 * (w0 / h0));
                }
                // Rule 1 never enlarges; rule 2 never gives less, and enlarges a
                // smaller picture until a side meets the area's.
                EXPECT_LE(n->width, w0);
                EXPECT_GE(l->width, n->width);
                if (w0 < a[0] && h0 < a[1])
                    EXPECT_TRUE(n->width == w0 && (std::abs(l->width - a[0]) < 1e-3 ||
                                                   std::abs(l->height - a[1]) < 1e-3));
            }
}

TEST(FittedPicture, DrawsInPlaceWhetherReducedOnceOrFilteredAtPaint) {
    const struct {
        QSize natural;
        FitRule rule;
        QRect expected;
    } cases[] = {
        {{100, 50}, FitRule::NaturalOrSmaller, {150, 175, 100, 50}}, // copied as is
        {{100, 50}, FitRule::Largest, {0, 100, 400, 200}},           // enlarged
        {{600, 300}, FitRule::NaturalOrSmaller, {0, 100, 400, 200}}, // reduced by 1.5
        {{4000, 2000}, FitRule::Largest, {0, 100, 400, 200}},        // reduced once, by 10
        {{1000, 4000}, FitRule::NaturalOrSmaller, {150, 0, 100, 400}},
    };
    auto draw = [](FittedPicture& pic) {
        QImage out(400, 400, QImage::Format_RGB32);
        out.fill(Qt::green);
        QPainter p(&out);
        pic.paint(p);
        return out;
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.natural.width() << "x" << c.natural.height());
        // Left half red, right half blue: place and orientation both show. An
        // indexed picture is converted for drawing.
        QImage img(c.natural, QImage::Format_RGB32);
        img.fill(Qt::red);
        QPainter(&img).fillRect(img.width() / 2, 0, img.width(), img.height(), Qt::blue);
        FittedPicture pic;
        pic.setImage(img.convertToFormat(QImage::Format_Indexed8));
        EXPECT_EQ(pic.image().format(), QImage::Format_RGB32);
        ASSERT_TRUE(pic.fit(c.rule, QSizeF(400, 400)));
        const QRect r = pic.drawnRect();
        EXPECT_EQ(r, c.expected);
        const QImage out = draw(pic);
        for (int y : {r.top(), r.center().y(), r.bottom()}) {
            EXPECT_EQ(out.pixelColor(r.left() + 2, y), QColor(Qt::red));
            EXPECT_EQ(out.pixelColor(r.right() - 2, y), QColor(Qt::blue));
        }
        // Nothing is drawn beside it.
        const QPoint mid = r.center();
        for (QPoint p : {QPoint(mid.x(), r.top() - 1), QPoint(mid.x(), r.bottom() + 1),
                         QPoint(r.left() - 1, mid.y()), QPoint(r.right() + 1, mid.y())})
            if (out.rect().contains(p))
                EXPECT_EQ(out.pixelColor(p), QColor(Qt::green)) << p.x() << "," << p.y();
        // A second paint draws the same (the reduced copy is kept).
        EXPECT_EQ(draw(pic), out);
    }
}

namespace {

// Answers like ScriptedDialogs, but puts a window up meanwhile, as a real
// message box does: it takes the activation and gives it back on closing.
class WindowedDialogs : public ScriptedDialogs {
public:
    QWidget* owner = nullptr;
    using ScriptedDialogs::message;
    MsgResult message(const MessageRequest& request, QWidget* parent) override {
        QWidget box;
        box.show();
        box.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&box, 5000));
        box.close();
        if (owner) {
            owner->activateWindow();
            EXPECT_TRUE(QTest::qWaitForWindowActive(owner, 5000));
        }
        return ScriptedDialogs::message(request, parent);
    }
};

class FullScreenWindow : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        ctx.dialogs = &dialogs;
        ctx.pictureService = std::make_shared<PictureService>();
        ctx.state.settingsPathOverride = dir.filePath("Affich.cfg");
        ctx.state.settings.FullScreenSizeMode = 1;
        ctx.state.settings.FullScreenBackColor = 1;
    }

    // A picture of one colour, written as PNG (or BMP by the name).
    QString writePicture(const QString& name, QSize size, QColor colour) {
        QImage img(size, QImage::Format_RGB32);
        img.fill(colour);
        return img.save(dir.filePath(name)) ? dir.filePath(name) : QString();
    }

    // Shows (re-activates) the window, waits for its activation to end and
    // for the double-click time in which a click does not close it yet.
    bool showAndWait(FrmPlEcr& w) {
        if (w.isVisible()) {
            other.show();
            other.activateWindow();
            if (!QTest::qWaitForWindowActive(&other, 5000))
                return false;
        }
        QGuiApplication::styleHints()->setMouseDoubleClickInterval(kDoubleClickMs);
        QSignalSpy done(&w, &FrmPlEcr::activationDone);
        w.show();
        w.activateWindow();
        if (done.isEmpty() && !done.wait(5000))
            return false;
        QTest::qWait(kDoubleClickMs + 20);
        return true;
    }
    static constexpr int kDoubleClickMs = 60;

    static QColor pictureColour(FrmPlEcr& w) {
        return w.grab().toImage().pixelColor(w.pictureRect().center());
    }

    QTemporaryDir dir;
    WindowedDialogs dialogs;
    AppContext ctx;
    QWidget other;
};

} // namespace

TEST_F(FullScreenWindow, BackgroundFollowsTheColourCodeWithoutSaving) {
    ctx.state.FullScreenFilePath = writePicture("small.png", QSize(20, 10), Qt::magenta);
    const QColor button = QApplication::palette().color(QPalette::Active, QPalette::Button);
    const QColor byCode[] = {Qt::black,         Qt::black,         Qt::white,         button,
                             QColor(0, 0, 255), QColor(255, 0, 0), QColor(0, 255, 0), Qt::black};
    for (int16_t code = 0; code <= 7; ++code) {
        SCOPED_TRACE(code);
        ctx.state.settings.FullScreenBackColor = code;
        FrmPlEcr w(ctx);
        ASSERT_TRUE(showAndWait(w));
        // 0 and 7 are unknown: black, and set to 1 in memory only.
        EXPECT_EQ(ctx.state.settings.FullScreenBackColor, code == 0 || code == 7 ? 1 : code);
        const QImage shot = w.grab().toImage();
        EXPECT_EQ(shot.pixelColor(1, 1), byCode[code]);
        EXPECT_EQ(shot.pixelColor(shot.width() - 2, shot.height() - 2), byCode[code]);
        EXPECT_EQ(pictureColour(w), QColor(Qt::magenta));
    }
    EXPECT_FALSE(QFileInfo::exists(ctx.state.settingsPathOverride));
    EXPECT_TRUE(dialogs.asked.isEmpty());
}

TEST_F(FullScreenWindow, ClickAndCharacterKeysCloseOtherKeysDoNot) {
    ctx.state.FullScreenFilePath = writePicture("p.png", QSize(40, 30), Qt::red);
    {
        FrmPlEcr w(ctx);
        ASSERT_TRUE(showAndWait(w));
        for (Qt::Key k : {Qt::Key_Left, Qt::Key_Right, Qt::Key_Up, Qt::Key_Down, Qt::Key_F1,
                          Qt::Key_F5, Qt::Key_F12, Qt::Key_Shift, Qt::Key_Control, Qt::Key_Alt,
                          Qt::Key_PageDown, Qt::Key_Home}) {
            QTest::keyClick(&w, k);
            EXPECT_TRUE(w.isVisible()) << "key " << k;
        }
        // Delete comes with a control code on some systems; it closes nothing.
        QKeyEvent del(QEvent::KeyPress, Qt::Key_Delete, Qt::NoModifier, QStringLiteral("\x7f"));
        QApplication::sendEvent(&w, &del);
        EXPECT_TRUE(w.isVisible());
    }
    {
        // The second click of the double click that opened it does not close it.
        QGuiApplication::styleHints()->setMouseDoubleClickInterval(2000);
        FrmPlEcr w(ctx);
        w.show();
        QTest::mouseClick(&w, Qt::LeftButton, Qt::NoModifier, QPoint(2, 2));
        EXPECT_TRUE(w.isVisible());
    }
    // A click on the picture or beside it, or a key that types a character, closes.
    for (int k : {0, 1, int(Qt::Key_A), int(Qt::Key_5), int(Qt::Key_Escape), int(Qt::Key_Return),
                  int(Qt::Key_Enter), int(Qt::Key_Space)}) {
        FrmPlEcr w(ctx);
        ASSERT_TRUE(showAndWait(w));
        if (k > 1)
            QTest::keyClick(&w, Qt::Key(k));
        else
            QTest::mouseClick(&w, Qt::LeftButton, {}, k ? w.pictureRect().center() : QPoint(2, 2));
        EXPECT_FALSE(w.isVisible()) << k;
        EXPECT_EQ(w.result(), QDialog::Accepted);
    }
}

TEST_F(FullScreenWindow, UnreadableFileGetsOneMessagePerActivationThenAClickCloses) {
    ctx.state.settings.FullScreenBackColor = 2;
    for (const QString& path :
         {testutil::writeFile(dir, "photo.jpg", "not a picture"), dir.filePath("absent.bmp")}) {
        SCOPED_TRACE(path.toStdString());
        dialogs.asked.clear();
        ctx.state.FullScreenFilePath = path;
        FrmPlEcr w(ctx);
        dialogs.owner = &w;
        ASSERT_TRUE(showAndWait(w));
        // Getting the activation back from the message is no new activation.
        EXPECT_TRUE(QApplication::activeWindow() == &w);
        EXPECT_EQ(dialogs.messageTexts(),
                  QStringList{QStringLiteral("Format d'image non supporté !")});
        EXPECT_FALSE(w.isPictureShown());
        // A genuine return to the window tries again.
        dialogs.owner = nullptr;
        ASSERT_TRUE(showAndWait(w));
        EXPECT_EQ(dialogs.count(Kind::Message), 2);
        const QPoint centre = w.rect().center();
        EXPECT_EQ(w.grab().toImage().pixelColor(centre), QColor(Qt::white));
        QTest::mouseClick(&w, Qt::LeftButton, Qt::NoModifier, centre);
        EXPECT_FALSE(w.isVisible());
    }
}

TEST_F(FullScreenWindow,
       CoversItsScreenAndEachActivationPlacesByTheSizeModeRereadingOnlyAChangedFile) {
    ctx.state.FullScreenFilePath = writePicture("small.bmp", QSize(100, 50), Qt::red);
    QWidget opener;
    FrmPlEcr w(ctx, &opener);
    // Without a window manager the geometry it is shown with is all it gets.
    const testutil::ShownGeometry spy(&w);
    qint64 firstKey = 0;
    // Mode 0 acts as 1. On each return to the window the picture is placed
    // by the mode set meanwhile, and not read again.
    for (int16_t mode : {0, 2, 1}) {
        SCOPED_TRACE(mode);
        ctx.state.settings.FullScreenSizeMode = mode;
        ASSERT_TRUE(showAndWait(w));
        if (mode == 0) {
            firstKey = w.picture().image().cacheKey();
            EXPECT_EQ(spy.seen, opener.screen()->geometry());
            EXPECT_EQ(w.geometry(), opener.screen()->geometry());
        }
        EXPECT_EQ(w.picture().image().cacheKey(), firstKey);
        const int sw = w.width(), sh = w.height();
        const QRect r = w.pictureRect();
        // Mode 2 enlarges to the width (the screen is less wide than 2:1).
        EXPECT_EQ(r, mode == 2 ? QRect(0, (sh - sw / 2) / 2, sw, sw / 2)
                               : QRect((sw - 100) / 2, (sh - 50) / 2, 100, 50));
        EXPECT_EQ(pictureColour(w), QColor(Qt::red)); // painted in place: see FittedPicture
    }
    // The file changed meanwhile: it is read again.
    writePicture("small.bmp", QSize(60, 60), Qt::blue);
    ASSERT_TRUE(showAndWait(w));
    EXPECT_NE(w.picture().image().cacheKey(), firstKey);
    EXPECT_EQ(w.pictureRect().size(), QSize(60, 60));
    EXPECT_EQ(pictureColour(w), QColor(Qt::blue));
    EXPECT_TRUE(dialogs.asked.isEmpty());
}

TEST_F(FullScreenWindow, PreloadedPictureIsUsedWhileTheFileIsUnchanged) {
    const QString path = writePicture("p.png", QSize(100, 50), Qt::red);
    ctx.state.FullScreenFilePath = path;
    QImage decoded(100, 50, QImage::Format_RGB32);
    decoded.fill(Qt::green); // differs from the file, so its use shows
    // A key ends the modal run once the picture shows (closed after 10 s).
    QColor shown;
    int ticks = 0;
    QTimer poke;
    QObject::connect(&poke, &QTimer::timeout, [&] {
        if (auto* w = qobject_cast<FrmPlEcr*>(QApplication::activeModalWidget())) {
            if (++ticks > 500) {
                w->close();
            } else if (w->isPictureShown()) {
                shown = pictureColour(*w);
                QTest::keyClick(w, Qt::Key_X);
            }
        }
    });
    poke.start(20);
    EXPECT_EQ(FrmPlEcr::showPicture(ctx, nullptr, decoded), QDialog::Accepted);
    EXPECT_EQ(shown, QColor(Qt::green));
    // The file changed since it was decoded: it is read again.
    FrmPlEcr w(ctx);
    w.setPreloaded(path, decoded);
    writePicture("p.png", QSize(100, 60), Qt::red);
    ASSERT_TRUE(showAndWait(w));
    EXPECT_EQ(pictureColour(w), QColor(Qt::red));
}

// (A picture read by parts comes reduced the same way:
// Tiles.ReducedPicturesOfATiledOneAreDecodedSmall.)
TEST_F(FullScreenWindow, LargePictureArrivesFittedAndClosingWhileLoadingCancels) {
    ctx.state.FullScreenFilePath = writePicture("big.bmp", QSize(3000, 2000), Qt::darkCyan);
    {
        FrmPlEcr w(ctx);
        ASSERT_TRUE(showAndWait(w));
        ASSERT_TRUE(w.isPictureShown());
        // Decoded reduced to the screen on a worker, then placed by the rule.
        const QSize screen = w.screen()->size();
        EXPECT_LE(w.picture().image().width(), screen.width());
        EXPECT_LE(w.picture().image().height(), screen.height());
        EXPECT_EQ(w.pictureRect().width(), qMin(w.width(), w.height() * 3 / 2));
        EXPECT_EQ(pictureColour(w), QColor(Qt::darkCyan));
    }
    ctx.pictureService->clearCache();
    {
        FrmPlEcr w(ctx);
        w.show();
        w.activateWindow();
        ASSERT_TRUE(testutil::waitUntil([&] { return w.isLoading() || w.isPictureShown(); }));
    }
    EXPECT_TRUE(testutil::waitUntil([&] { return ctx.pictures().isIdle(); }));
    EXPECT_TRUE(dialogs.asked.isEmpty());
}
