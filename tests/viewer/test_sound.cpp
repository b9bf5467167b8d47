// Sounds in the main window, played through the real output (SDL's disk
// driver).
#include "support/mediacapture.h"
#include "support/testutil.h"
#include "support/viewerfixture.h"
#include "widgets/browsewidgets.h"
#include "widgets/picturewidgets.h"

#include <QComboBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>

using namespace lumenta;

namespace {
const bool audioToDisk = mediatest::routeAudioToDisk();

bool shown(const QWidget* w) {
    return !w->isHidden();
}
} // namespace

class SoundTest : public ViewerTest {
protected:
    void SetUp() override {
        ViewerTest::SetUp();
        ASSERT_TRUE(audioToDisk);
        addFixture(QStringLiteral("media/tone_s16.wav"));
        addFixture(QStringLiteral("media/scale_tempo_change.mid"));
        addFixture(QStringLiteral("media/bad_garbage_header.wav"));
        start();
        w->Combo1->setEditText(QStringLiteral("*.wav;*.mid"));
    }
    // The sound controls stand in for the file list and its buttons.
    bool soundShown() const {
        return !shown(w->File1) && !shown(w->Command1) && !shown(w->Open) && shown(w->Command4) &&
               shown(w->MMControl1);
    }
    bool listShown() const {
        return shown(w->File1) && shown(w->Command1) && !shown(w->Command4) &&
               !shown(w->MMControl1);
    }
};

TEST_F(SoundTest, WaveOpensPlaysAndRewindsAtTheEnd) {
    click(QStringLiteral("tone_s16.wav"));
    EXPECT_TRUE(soundShown());
    EXPECT_EQ(w->MMControl1->deviceType(), QStringLiteral("WaveAudio"));
    EXPECT_EQ(w->MMControl1->mode(), MMControl::Mode::Stopped);
    EXPECT_TRUE(dialogs.asked.isEmpty());

    // The play button plays it to the end; the window then rewinds.
    QSignalSpy done(w->MMControl1, &MMControl::done);
    w->MMControl1->button(MMControl::Button::Play)->click();
    EXPECT_EQ(w->MMControl1->mode(), MMControl::Mode::Playing);
    ASSERT_TRUE(testutil::waitUntil([&] { return done.count() >= 1; }, 10000));
    EXPECT_EQ(done.first().first().toInt(), 1);
    EXPECT_TRUE(testutil::waitUntil([&] { return w->MMControl1->position() == 0; }, 2000));
    EXPECT_EQ(w->MMControl1->mode(), MMControl::Mode::Stopped);

    w->Command4->click();
    EXPECT_EQ(w->MMControl1->mode(), MMControl::Mode::NotOpen);
    EXPECT_TRUE(listShown());
    EXPECT_TRUE(w->File1->hasFocus());

    // Something reached the output.
    const mediatest::Capture c = mediatest::readCapture();
    EXPECT_LT(mediatest::firstSound(c.left), c.size());
}

TEST_F(SoundTest, MidiAfterWaveUsesTheSequencer) {
    click(QStringLiteral("tone_s16.wav"));
    w->Command4->click();
    click(QStringLiteral("scale_tempo_change.mid"));
    EXPECT_EQ(w->MMControl1->deviceType(), QStringLiteral("Sequencer"));
    EXPECT_EQ(w->MMControl1->mode(), MMControl::Mode::Stopped);
    EXPECT_EQ(w->MMControl1->length(), 6000);
    EXPECT_TRUE(dialogs.asked.isEmpty());
}

TEST_F(SoundTest, DamagedWaveIsReportedAndCloseStillReturns) {
    click(QStringLiteral("bad_garbage_header.wav"));
    EXPECT_EQ(dialogs.lastText(), QStringLiteral("Le fichier n'a pas pu être chargé."));
    // Still in the sound state, with the device closed.
    EXPECT_TRUE(soundShown());
    EXPECT_EQ(w->MMControl1->mode(), MMControl::Mode::NotOpen);
    // Closing an already closed device only restores the controls.
    w->Command4->click();
    EXPECT_TRUE(listShown());
    EXPECT_EQ(dialogs.asked.size(), 1);
}
