// The file list opens a file only on the user's click or keyboard move:
// taking the focus, however it comes, never does.
#include "fullscreen/frmplecr.h"
#include "support/mediacapture.h"
#include "support/testutil.h"
#include "support/viewerfixture.h"
#include "widgets/browsewidgets.h"
#include "widgets/picturewidgets.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QToolButton>

using namespace lumenta;

namespace {

const bool audioToDisk = mediatest::routeAudioToDisk();

// Closes the modal window the next command opens, once it is up.
void closeNextModal() {
    QTimer::singleShot(50, [] {
        QWidget* m = QApplication::activeModalWidget();
        if (auto* fs = qobject_cast<FrmPlEcr*>(m))
            testutil::waitUntil([fs] { return fs->isPictureShown(); }, 5000);
        if (m)
            m->close();
    });
}

} // namespace

class FocusTest : public ViewerTest {
protected:
    void SetUp() override {
        ViewerTest::SetUp();
        ASSERT_TRUE(audioToDisk);
        // The first file of the folder is a sound: opening it by mistake
        // hides the list.
        addFixture(QStringLiteral("media/tone_s16.wav"), QStringLiteral("a.wav"));
        addFixture(QStringLiteral("pictures/samples/jpeg/baseline.jpg"), QStringLiteral("b.jpg"));
        addFixture(QStringLiteral("pictures/samples/gif/static.gif"), QStringLiteral("c.gif"));
        start();
        w->Combo1->setEditText(QStringLiteral("*.*"));
        w->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(w.get()));
    }

    // The list as after a refresh (no current line), the focus elsewhere.
    void leaveTheList() {
        w->Combo1->setFocus();
        w->File1->refresh();
    }

    // The focus comes back with the window's activation (which the
    // offscreen platform does not give back by itself after a modal window).
    bool hasFocusSoon() {
        w->activateWindow();
        const bool has = testutil::waitUntil([this] { return w->File1->hasFocus(); }, 3000);
        QTest::qWait(20);
        return has;
    }

    bool listStillShown() const {
        return !w->File1->isHidden() && w->MMControl1->isHidden() &&
               w->MMControl1->mode() == MMControl::Mode::NotOpen;
    }
};

TEST_F(FocusTest, TakingTheFocusNeverOpensAFile) {
    QWidget other;
    const auto modal = [this](QToolButton* button) {
        return [this, button] {
            closeNextModal();
            button->click();
        };
    };
    const struct {
        const char* how;
        bool pictureFirst; // a picture shown, then the list refilled
        std::function<void()> act;
    } paths[] = {
        {"Tab into the list", false, [&] { QTest::keyClick(w->Combo1->lineEdit(), Qt::Key_Tab); }},
        {"focus from code", false, [&] { w->File1->setFocus(); }},
        {"about window", false, modal(w->Command3)},
        {"window activated again", false,
         [&] {
             other.show();
             other.activateWindow();
             ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
             w->File1->setFocus(); // given back on activation
         }},
        {"full screen", true, modal(w->Command2)},
        {"erase", true, [&] { w->Command7->click(); }},
    };
    for (const auto& p : paths) {
        SCOPED_TRACE(p.how);
        if (p.pictureFirst)
            click(QStringLiteral("b.jpg"));
        const QString shown = ctx.state.CurrentFilePath;
        leaveTheList();
        QSignalSpy clicks(w->File1, &FileList::fileClicked);
        p.act();
        EXPECT_TRUE(hasFocusSoon());
        EXPECT_EQ(clicks.count(), 0);
        EXPECT_EQ(ctx.state.CurrentFilePath, shown);
        EXPECT_TRUE(listStillShown());
    }
    EXPECT_TRUE(w->Open->isHidden()); // erased, not replaced
    EXPECT_TRUE(dialogs.asked.isEmpty());
}

TEST_F(FocusTest, KeysAndClicksOpenWhatTheyReachCodeDoesNot) {
    for (const char* name : {"d.gif", "e.jpg", "f.gif", "g.jpg"})
        addFixture(QStringLiteral("pictures/samples/gif/static.gif"), QLatin1String(name));
    w->Combo1->setEditText(QStringLiteral("*.gif;*.jpg"));
    click(QStringLiteral("c.gif"));
    QSignalSpy clicks(w->File1, &FileList::fileClicked);
    const struct {
        Qt::Key key;
        const char* reaches; // empty: the line the key lands on, whatever it is
    } keys[] = {
        {Qt::Key_Down, "d.gif"}, {Qt::Key_Up, "c.gif"},     {Qt::Key_End, "g.jpg"},
        {Qt::Key_Home, "b.jpg"}, {Qt::Key_PageDown, ""},    {Qt::Key_PageUp, "b.jpg"},
        {Qt::Key_F, "f.gif"},    {Qt::Key_Return, "f.gif"},
    };
    for (const auto& k : keys) {
        SCOPED_TRACE(int(k.key));
        const int before = int(clicks.count());
        QTest::keyClick(w->File1, k.key);
        ASSERT_EQ(clicks.count(), before + 1);
        const QString current = w->File1->nameAt(w->File1->currentRow());
        const QString expected = *k.reaches ? QLatin1String(k.reaches) : current;
        EXPECT_EQ(current, expected);
        EXPECT_EQ(ctx.state.CurrentFilePath, QDir(browse).filePath(expected));
        QTest::qWait(QApplication::keyboardInputInterval() + 10); // separate searches
    }
    // Selecting from code and refreshing open nothing.
    const int before = int(clicks.count());
    w->File1->setCurrentRow(3);
    w->File1->refresh();
    w->File1->setCurrentRow(0);
    EXPECT_EQ(clicks.count(), before);
    // A click on the line that is already current opens it again.
    click(QStringLiteral("b.jpg"));
    EXPECT_EQ(clicks.count(), before + 1);
}
