#include "app/appcontext.h"
#include "fullscreen/frmplecr.h"
#include "picture/pictureservice.h"
#include "support/scripteddialogs.h"
#include "support/testutil.h"

#include <QApplication>
#include <QFileInfo>
#include <QKeyEvent>
#include <QScreen>
#include <QSignalSpy>
#include <QStyleHints>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

using namespace lumenta;
using Kind = ScriptedDialogs::Asked::Kind;

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

    // Shows the window (one already shown first loses the activation to
    // another) and waits (bounded) for its activation to end, and for the
    // double-click time in which a click does not close it yet.
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
    const QString broken = testutil::copyFixture(dir, "pictures/samples/broken/empty.bmp");
    for (const QString& path : {testutil::writeFile(dir, "photo.jpg", "not a picture"), broken,
                                dir.filePath("absent.bmp")}) {
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

TEST_F(FullScreenWindow, EachActivationPlacesByTheSizeModeAndRereadsOnlyAChangedFile) {
    ctx.state.FullScreenFilePath = writePicture("small.bmp", QSize(100, 50), Qt::red);
    FrmPlEcr w(ctx);
    qint64 firstKey = 0;
    // Mode 0 acts as 1. On each return to the window the picture is placed
    // by the mode set meanwhile, and not read again.
    for (int16_t mode : {0, 2, 1}) {
        SCOPED_TRACE(mode);
        ctx.state.settings.FullScreenSizeMode = mode;
        ASSERT_TRUE(showAndWait(w));
        if (mode == 0)
            firstKey = w.picture().image().cacheKey();
        EXPECT_EQ(w.picture().image().cacheKey(), firstKey);
        const int sw = w.width(), sh = w.height();
        const QRect r = w.pictureRect();
        // Mode 2 enlarges to the width (the screen is less wide than 2:1).
        EXPECT_EQ(r, mode == 2 ? QRect(0, (sh - sw / 2) / 2, sw, sw / 2)
                               : QRect((sw - 100) / 2, (sh - 50) / 2, 100, 50));
        const QImage shot = w.grab().toImage();
        for (QPoint p : {r.topLeft(), r.bottomRight()})
            EXPECT_EQ(shot.pixelColor(p), QColor(Qt::red));
        for (QPoint p : {QPoint(r.left(), r.top() - 1), QPoint(r.right(), r.bottom() + 1)})
            EXPECT_EQ(shot.pixelColor(p), QColor(Qt::black));
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
    // The modal run ends on a key typed once the picture shows; it is closed
    // (a rejection) after ten seconds so the test can never hang.
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

TEST_F(FullScreenWindow, CoversItsScreenBeforeAnyWindowManagerActs) {
    // Without a window manager nobody honours the full-screen request: the
    // geometry the window is shown with is all it gets.
    ctx.state.FullScreenFilePath = writePicture("small.png", QSize(20, 10), Qt::magenta);
    QWidget opener;
    FrmPlEcr w(ctx, &opener);
    QRect atShow;
    struct ShowSpy : QObject {
        QRect* seen;
        bool eventFilter(QObject* o, QEvent* e) override {
            if (e->type() == QEvent::Show)
                *seen = static_cast<QWidget*>(o)->geometry();
            return false;
        }
    } spy;
    spy.seen = &atShow;
    w.installEventFilter(&spy);
    ASSERT_TRUE(showAndWait(w));
    EXPECT_EQ(atShow, opener.screen()->geometry());
    EXPECT_EQ(w.geometry(), opener.screen()->geometry());
}

TEST_F(FullScreenWindow, LargePictureArrivesFittedAndClosingWhileLoadingCancels) {
    ctx.state.FullScreenFilePath = writePicture("big.bmp", QSize(3000, 2000), Qt::darkCyan);
    {
        FrmPlEcr w(ctx);
        ASSERT_TRUE(showAndWait(w));
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

TEST_F(FullScreenWindow, APictureReadByPartsArrivesFittedToTheScreen) {
    // Every picture is read by parts here, as one too large to be held is.
    ctx.pictures().setLoadLimits(LoadLimits{0, QSize(64, 32)});
    ctx.state.FullScreenFilePath = writePicture("big.png", QSize(3000, 2000), Qt::darkCyan);
    FrmPlEcr w(ctx);
    ASSERT_TRUE(showAndWait(w));
    ASSERT_TRUE(w.isPictureShown());
    const QSize screen = w.screen()->size();
    EXPECT_LE(w.picture().image().width(), screen.width());
    EXPECT_LE(w.picture().image().height(), screen.height());
    EXPECT_EQ(w.pictureRect().width(), qMin(w.width(), w.height() * 3 / 2));
    EXPECT_EQ(pictureColour(w), QColor(Qt::darkCyan));
    EXPECT_TRUE(dialogs.asked.isEmpty());
}
