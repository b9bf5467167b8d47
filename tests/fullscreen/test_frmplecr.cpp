#include "app/appcontext.h"
#include "fullscreen/frmplecr.h"
#include "platform/scripteddialogs.h"
#include "support/testutil.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QImageWriter>
#include <QPainter>
#include <QSignalSpy>
#include <QStyleHints>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

using namespace lumenta;

namespace {

class FullScreenWindow : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        ctx.dialogs = &dialogs;
        ctx.state.settingsPathOverride = dir.filePath(QStringLiteral("Affich.cfg"));
        ctx.state.settings.FullScreenSizeMode = 1;
        ctx.state.settings.FullScreenBackColor = 1;
    }

    // A picture of one colour, written as PNG (or BMP by the name).
    QString writePicture(const QString& name, QSize size, QColor colour) {
        QImage img(size, QImage::Format_RGB32);
        img.fill(colour);
        const QString path = dir.filePath(name);
        EXPECT_TRUE(img.save(path));
        return path;
    }

    // Shows the window and waits (bounded) for its activation to end, and
    // for the double-click time in which a click does not close it yet.
    bool showAndWait(FrmPlEcr& w) {
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

    QImage grab(FrmPlEcr& w) { return w.grab().toImage(); }

    QTemporaryDir dir;
    ScriptedDialogs dialogs;
    AppContext ctx;
};

} // namespace

TEST_F(FullScreenWindow, BackgroundFollowsTheColourCodeWithoutSaving) {
    const QString pic = writePicture(QStringLiteral("small.png"), QSize(20, 10), Qt::magenta);
    const QColor button = QApplication::palette().color(QPalette::Active, QPalette::Button);
    const struct {
        int16_t code;
        QColor colour;
        int16_t after;
    } cases[] = {{0, Qt::black, 1},         {1, Qt::black, 1},
                 {2, Qt::white, 2},         {3, button, 3},
                 {4, QColor(0, 0, 255), 4}, {5, QColor(255, 0, 0), 5},
                 {6, QColor(0, 255, 0), 6}, {7, Qt::black, 1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.code);
        ctx.state.settings.FullScreenBackColor = c.code;
        ctx.state.FullScreenFilePath = pic;
        FrmPlEcr w(ctx);
        EXPECT_EQ(w.objectName(), QStringLiteral("FrmPlEcr"));
        ASSERT_TRUE(showAndWait(w));
        EXPECT_EQ(ctx.state.settings.FullScreenBackColor, c.after);
        EXPECT_EQ(w.backgroundColor(), c.colour);
        const QImage shot = grab(w);
        EXPECT_EQ(shot.pixelColor(1, 1), c.colour);
        EXPECT_EQ(shot.pixelColor(shot.width() - 2, shot.height() - 2), c.colour);
        EXPECT_EQ(shot.pixelColor(w.pictureRect().center()), QColor(Qt::magenta));
    }
    EXPECT_FALSE(QFileInfo::exists(ctx.state.settingsPathOverride));
    EXPECT_TRUE(dialogs.asked.isEmpty());
}

TEST_F(FullScreenWindow, ClickAndCharacterKeysCloseOtherKeysDoNot) {
    ctx.state.FullScreenFilePath = writePicture(QStringLiteral("p.png"), QSize(40, 30), Qt::red);
    // Keys that type nothing leave the window open.
    {
        FrmPlEcr w(ctx);
        ASSERT_TRUE(showAndWait(w));
        for (Qt::Key k : {Qt::Key_Left, Qt::Key_Right, Qt::Key_Up, Qt::Key_Down, Qt::Key_F1,
                          Qt::Key_F5, Qt::Key_F12, Qt::Key_Shift, Qt::Key_Control, Qt::Key_Alt,
                          Qt::Key_PageDown, Qt::Key_Home, Qt::Key_Delete}) {
            QTest::keyClick(&w, k);
            EXPECT_TRUE(w.isVisible()) << "key " << k;
        }
    }
    // The second click of the double click that opened it does not close it.
    {
        QGuiApplication::styleHints()->setMouseDoubleClickInterval(2000);
        FrmPlEcr w(ctx);
        w.show();
        QTest::mouseClick(&w, Qt::LeftButton, Qt::NoModifier, QPoint(2, 2));
        EXPECT_TRUE(w.isVisible());
    }
    // A click anywhere closes, on the picture or beside it.
    for (bool onPicture : {true, false}) {
        FrmPlEcr w(ctx);
        ASSERT_TRUE(showAndWait(w));
        QSignalSpy finished(&w, &QDialog::finished);
        const QPoint at = onPicture ? w.pictureRect().center() : QPoint(2, 2);
        QTest::mouseClick(&w, Qt::LeftButton, Qt::NoModifier, at);
        EXPECT_FALSE(w.isVisible());
        EXPECT_EQ(finished.size(), 1);
        EXPECT_EQ(w.result(), QDialog::Accepted);
    }
    // Keys that type a character close.
    for (Qt::Key k :
         {Qt::Key_A, Qt::Key_5, Qt::Key_Escape, Qt::Key_Return, Qt::Key_Enter, Qt::Key_Space}) {
        FrmPlEcr w(ctx);
        ASSERT_TRUE(showAndWait(w));
        QTest::keyClick(&w, k);
        EXPECT_FALSE(w.isVisible()) << "key " << k;
        EXPECT_EQ(w.result(), QDialog::Accepted);
    }
    FrmPlEcr w(ctx);
    ASSERT_TRUE(showAndWait(w));
    QTest::keyClick(&w, 'a');
    EXPECT_FALSE(w.isVisible());
}

TEST_F(FullScreenWindow, UnreadableOrMissingFileShowsMessageThenClickCloses) {
    const QString garbage = testutil::writeFile(dir, QStringLiteral("photo.jpg"), "not a picture");
    const QString broken =
        testutil::copyFixture(dir, QStringLiteral("pictures/samples/broken/empty.bmp"));
    for (const QString& path : {garbage, broken, dir.filePath(QStringLiteral("absent.bmp"))}) {
        SCOPED_TRACE(path.toStdString());
        dialogs.asked.clear();
        ctx.state.settings.FullScreenBackColor = 2;
        ctx.state.FullScreenFilePath = path;
        FrmPlEcr w(ctx);
        ASSERT_TRUE(showAndWait(w));
        ASSERT_EQ(dialogs.count(ScriptedDialogs::Asked::Kind::Message), 1);
        const MessageRequest* m = dialogs.lastMessage();
        EXPECT_EQ(m->text, QStringLiteral("Format d'image non supporté !"));
        EXPECT_EQ(m->title, QStringLiteral("Erreur"));
        EXPECT_EQ(m->icon, MsgIcon::Stop);
        EXPECT_FALSE(w.isPictureShown());
        const QImage shot = grab(w);
        EXPECT_EQ(shot.pixelColor(shot.rect().center()), QColor(Qt::white));
        QTest::mouseClick(&w, Qt::LeftButton, Qt::NoModifier, shot.rect().center());
        EXPECT_FALSE(w.isVisible());
    }
}

TEST_F(FullScreenWindow, PictureIsPlacedBySizeModeAndModeZeroActsAsOne) {
    const QString small = writePicture(QStringLiteral("small.bmp"), QSize(100, 50), Qt::red);
    for (int16_t mode : {int16_t(0), int16_t(1), int16_t(2)}) {
        SCOPED_TRACE(mode);
        ctx.state.settings.FullScreenSizeMode = mode;
        ctx.state.FullScreenFilePath = small;
        FrmPlEcr w(ctx);
        ASSERT_TRUE(showAndWait(w));
        const int sw = w.width(), sh = w.height();
        ASSERT_GT(sw, 200);
        ASSERT_GT(sh, 100);
        const auto want = fitAndCentre(fitRuleForMode(mode), 100, 50, sw, sh);
        const QRect r = w.pictureRect();
        EXPECT_EQ(r, QRect(qRound(want->left), qRound(want->top), qRound(want->width),
                           qRound(want->height)));
        if (mode == 2)
            EXPECT_EQ(r.width(), sw); // fills the width (a screen wider than 2:1 fills the height)
        else
            EXPECT_EQ(r, QRect((sw - 100) / 2, (sh - 50) / 2, 100, 50));
        const QImage shot = grab(w);
        EXPECT_EQ(shot.pixelColor(r.topLeft()), QColor(Qt::red));
        EXPECT_EQ(shot.pixelColor(r.bottomRight()), QColor(Qt::red));
        if (r.top() > 0)
            EXPECT_EQ(shot.pixelColor(r.left(), r.top() - 1), QColor(Qt::black));
        if (r.left() > 0)
            EXPECT_EQ(shot.pixelColor(r.left() - 1, r.top()), QColor(Qt::black));
        EXPECT_EQ(shot.pixelColor(r.right(), r.bottom() + 1), QColor(Qt::black));
    }
}

TEST_F(FullScreenWindow, ReactivationRefitsAndReloadsOnlyAChangedFile) {
    const QString path = writePicture(QStringLiteral("p.png"), QSize(100, 50), Qt::red);
    ctx.state.FullScreenFilePath = path;
    FrmPlEcr w(ctx);
    ASSERT_TRUE(showAndWait(w));
    const qint64 firstKey = w.picture().image().cacheKey();
    QWidget other;
    auto switchAwayAndBack = [&] {
        other.show();
        other.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&other, 5000));
        QSignalSpy done(&w, &FrmPlEcr::activationDone);
        w.activateWindow();
        return done.wait(5000) || !done.isEmpty();
    };
    // Same file, other size rule: the picture is placed again, not read again.
    ctx.state.settings.FullScreenSizeMode = 2;
    ASSERT_TRUE(switchAwayAndBack());
    EXPECT_EQ(w.picture().image().cacheKey(), firstKey);
    EXPECT_GT(w.pictureRect().width(), 100);
    // The file changed meanwhile: it is read again.
    writePicture(QStringLiteral("p.png"), QSize(60, 60), Qt::blue);
    ASSERT_TRUE(switchAwayAndBack());
    EXPECT_NE(w.picture().image().cacheKey(), firstKey);
    EXPECT_EQ(w.pictureRect().height(), w.height());
    EXPECT_EQ(grab(w).pixelColor(w.pictureRect().center()), QColor(Qt::blue));
    EXPECT_TRUE(dialogs.asked.isEmpty());
}

TEST_F(FullScreenWindow, PreloadedPictureIsUsedWhileTheFileIsUnchanged) {
    const QString path = writePicture(QStringLiteral("p.png"), QSize(100, 50), Qt::red);
    QImage decoded(100, 50, QImage::Format_RGB32);
    decoded.fill(Qt::green); // differs from the file, so its use shows
    ctx.state.FullScreenFilePath = path;
    {
        FrmPlEcr w(ctx);
        w.setPreloaded(path, decoded);
        ASSERT_TRUE(showAndWait(w));
        EXPECT_FALSE(w.isLoading());
        EXPECT_EQ(grab(w).pixelColor(w.pictureRect().center()), QColor(Qt::green));
    }
    {
        FrmPlEcr w(ctx);
        w.setPreloaded(path, decoded);
        writePicture(QStringLiteral("p.png"), QSize(100, 60), Qt::red); // changed since
        ASSERT_TRUE(showAndWait(w));
        EXPECT_EQ(grab(w).pixelColor(w.pictureRect().center()), QColor(Qt::red));
    }
}

TEST_F(FullScreenWindow, ModalRunReturnsOnAKey) {
    ctx.state.FullScreenFilePath = writePicture(QStringLiteral("p.png"), QSize(40, 30), Qt::red);
    QImage decoded(40, 30, QImage::Format_RGB32);
    decoded.fill(Qt::red);
    bool keySent = false;
    // Types a key into the modal window once it is up; a bounded guard closes
    // any window left open so the test can never hang.
    QTimer poke;
    poke.setInterval(20);
    QObject::connect(&poke, &QTimer::timeout, [&] {
        auto* w = qobject_cast<FrmPlEcr*>(QApplication::activeModalWidget());
        if (w && w->isPictureShown() && !keySent) {
            keySent = true;
            QTest::keyClick(w, Qt::Key_X);
        }
    });
    poke.start();
    QTimer::singleShot(10000, [] {
        if (QWidget* w = QApplication::activeModalWidget())
            w->close();
    });
    const int result = FrmPlEcr::showPicture(ctx, nullptr, decoded);
    EXPECT_TRUE(keySent);
    EXPECT_EQ(result, QDialog::Accepted);
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
        QTest::qWaitForWindowActive(&box, 5000);
        box.close();
        if (owner) {
            owner->activateWindow();
            QTest::qWaitForWindowActive(owner, 5000);
        }
        return ScriptedDialogs::message(request, parent);
    }
};

} // namespace

TEST_F(FullScreenWindow, ClosingTheMessageIsNoNewActivation) {
    WindowedDialogs windowed;
    ctx.dialogs = &windowed;
    ctx.state.FullScreenFilePath = testutil::writeFile(dir, QStringLiteral("x.bmp"), "BM garbage");
    FrmPlEcr w(ctx);
    windowed.owner = &w;
    ASSERT_TRUE(showAndWait(w));
    QTest::qWait(50);
    EXPECT_TRUE(QApplication::activeWindow() == &w);
    EXPECT_EQ(windowed.count(ScriptedDialogs::Asked::Kind::Message), 1);
    // A genuine return to the window tries again.
    QWidget other;
    other.show();
    other.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&other, 5000));
    windowed.owner = nullptr;
    w.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w, 5000));
    QTest::qWait(50);
    EXPECT_EQ(windowed.count(ScriptedDialogs::Asked::Kind::Message), 2);
}
