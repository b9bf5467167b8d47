// The CD player: its time texts and disc layout, then the window on disc
// images named in LUMENTA_CD_DEVICE (no real drive answers), its sound going
// to SDL's disk driver in real time.
#include "cdplayer/cddisplay.h"
#include "cdplayer/cdplayer.h"
#include "media/disclayout.h"
#include "support/mediacapture.h"
#include "support/viewerfixture.h"

#include <QAction>
#include <QCoreApplication>
#include <QFrame>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QToolButton>
#include <cmath>

using namespace lumenta;
using Button = MMControl::Button;
using Mode = MMControl::Mode;

static const bool kAudioToDisk = [] {
    mediatest::routeAudioToDisk();
    qunsetenv("SDL_DISKAUDIODELAY"); // real time: refreshes come at their pace
    return true;
}();

TEST(CdDisplay, TimesAndTextsAroundATrackBoundary) {
    const std::pair<qint64, const char*> times[] = {
        {61500, "1:01"}, {187000, "3:07"},   {59999, "0:59"},      {0, "0:00"},
        {-1, "0:00"},    {4500000, "75:00"}, {40000000, "666:40"}, // past 32767 s
    };
    for (const auto& [ms, text] : times)
        EXPECT_EQ(cdTimeText(ms), QString::fromLatin1(text)) << ms;

    // Tracks of 2000, 3000 and 1507 ms: just before and at track 2, and a reading
    // mixing the two (separate reads of a moving position): never "0:-01".
    const media::MediaSnapshot before{3, 0, 6507, 1999, 1, 0, 2000};
    const media::MediaSnapshot at{3, 0, 6507, 2000, 2, 2000, 3000};
    const media::MediaSnapshot mixed{3, 0, 6507, 1999, 2, 2000, 3000};
    const auto row = [](const CdTexts& t) {
        return QStringList{t.tracks,   t.track,       t.discLength,   t.discElapsed,
                           t.discLeft, t.trackLength, t.trackElapsed, t.trackLeft};
    };
    EXPECT_EQ(row(cdTexts(before)),
              QStringList({" 3", " 1", "0:06", "0:01", "0:04", "0:02", "0:01", "0:00"}));
    EXPECT_EQ(row(cdTexts(at)),
              QStringList({" 3", " 2", "0:06", "0:02", "0:04", "0:03", "0:00", "0:03"}));
    EXPECT_EQ(cdTexts(mixed).trackElapsed, "0:00");
    // A disc opening on a data track counts from its first audio track.
    const media::MediaSnapshot mixedMode{2, 4000, 5000, 4000, 2, 4000, 1000};
    EXPECT_EQ(cdTexts(mixedMode).discLength, "0:01");
    EXPECT_EQ(cdTexts(mixedMode).discElapsed, "0:00");
}

TEST(CdDisplay, DiscLayoutKeepsToAudio) {
    using media::DiscToc;
    const qint64 f = media::kFramesPerSector;
    const struct {
        const char* name;
        DiscToc toc;
        qint64 lastAudioSectors, endSector; // -1: no layout
    } cases[] = {
        {"audio", {{{0, true}, {150, true}}, 400}, 250, 400},
        {"data first", {{{0, false}, {300, true}}, 375}, 75, 375},
        {"enhanced, sessions known", {{{0, true}, {30000, false}}, 40000, 30000}, 18600, 18600},
        {"enhanced image, pregap known", {{{0, true}, {12000, false, 11900}}, 13000}, 11900, 11900},
        {"gap not believed", {{{0, true}, {5000, false}}, 6000, 5000}, 5000, 5000},
        {"data only", {{{0, false}}, 500}, -1, -1},
    };
    for (const auto& c : cases) {
        const auto layout = media::discLayout(c.toc);
        ASSERT_EQ(layout.has_value(), c.endSector >= 0) << c.name;
        if (!layout)
            continue;
        const auto last = std::find_if(layout->tracks.rbegin(), layout->tracks.rend(),
                                       [](const media::TrackInfo& t) { return t.audio; });
        EXPECT_EQ(last->frames, c.lastAudioSectors * f) << c.name;
        EXPECT_EQ(layout->endFrame, c.endSector * f) << c.name;
    }
}

TEST(CdDisplay, PlacedBesideTheMainWindow) {
    const QRect screen(0, 0, 1920, 1080);
    const QSize own(300, 400);
    EXPECT_EQ(placeBeside(QRect(100, 50, 800, 600), own, screen), QPoint(908, 50));
    EXPECT_EQ(placeBeside(QRect(1000, 900, 800, 600), own, screen), QPoint(692, 680));
    EXPECT_EQ(placeBeside(QRect(100, 0, 1700, 1000), own, screen), QPoint(1620, 0));
}

namespace {

class CdPlayerTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        ctx.dialogs = &dialogs;
        useDisc(mediatest::copyDisc(dir));
        player = std::make_unique<CDPlayer>(ctx, &mainWindow);
        mm = player->MMControl1;
    }
    static void useDisc(const QString& source) {
        qputenv("LUMENTA_CD_DEVICE", QFile::encodeName(source));
    }
    bool load() {
        player->Command1->click();
        return testutil::waitUntil([&] { return !mm->isOpening(); }) && mm->mode() == Mode::Stopped;
    }
    // A button of the control, then what the window queued.
    void press(Button b) {
        mm->button(b)->click();
        QCoreApplication::processEvents();
    }
    QStringList texts() const {
        QStringList all;
        for (const QLabel* l :
             {player->InfoTracks, player->InfoTrack, player->DureeTotal, player->TotalDiffuse,
              player->TotalReste, player->DureeTitre, player->TitreDiffuse, player->TitreReste})
            all << l->text();
        return all;
    }

    QTemporaryDir dir;
    ScriptedDialogs dialogs;
    AppContext ctx;
    QWidget mainWindow;
    std::unique_ptr<CDPlayer> player;
    MMControl* mm = nullptr;
};

} // namespace

TEST_F(CdPlayerTest, LoadPlayPauseStopAndEjectWhilePlaying) {
    player->Command1->click();
    EXPECT_FALSE(player->Command1->isEnabled()); // while the disc is read
    ASSERT_TRUE(testutil::waitUntil([&] { return player->InfoTracks->text() == " 3"; }));
    EXPECT_FALSE(player->Command1->isEnabled());
    EXPECT_EQ(texts(), QStringList({" 3", " 1", "0:06", "0:00", "0:06", "0:02", "0:00", "0:02"}));

    // Track 1 lasts 2 s: on a busy machine the first refresh may come after it,
    // so what depends on the track is checked from positions that cannot move.
    press(Button::Play);
    EXPECT_EQ(mm->updateInterval(), 1000);
    EXPECT_TRUE(testutil::waitUntil([&] { return player->TotalDiffuse->text() != "0:00"; }, 20000));
    press(Button::Pause);
    EXPECT_EQ(mm->updateInterval(), 0);
    press(Button::Pause); // resumes
    EXPECT_EQ(mm->updateInterval(), 1000);

    press(Button::Stop);
    EXPECT_EQ(mm->updateInterval(), 0);
    EXPECT_EQ(mm->mode(), Mode::Stopped);
    EXPECT_EQ(mm->position(), 0);
    EXPECT_EQ(texts().mid(1, 3), QStringList({" 1", "0:06", "0:00"}));

    press(Button::Next);
    EXPECT_EQ(player->InfoTrack->text(), " 2");
    EXPECT_EQ(mm->mode(), Mode::Stopped);
    // Next while playing keeps playing, from the next track (track 2 lasts 3 s).
    press(Button::Play);
    press(Button::Next);
    EXPECT_EQ(mm->mode(), Mode::Playing);
    EXPECT_EQ(player->InfoTrack->text(), " 3");
    EXPECT_EQ(player->DureeTitre->text(), "0:01");

    player->CDEnd->click();
    EXPECT_EQ(mm->mode(), Mode::NotOpen);
    EXPECT_EQ(mm->updateInterval(), 0);
    EXPECT_TRUE(player->Command1->isEnabled());
    EXPECT_EQ(texts().join(QString()), QString());
    const mediatest::Capture c = mediatest::readCapture();
    EXPECT_LT(mediatest::firstSound(c.left), c.size()) << "nothing reached the output";
}

TEST_F(CdPlayerTest, UnreadableValuesKeepTheirTextCloseBoxStops) {
    player->show();
    ASSERT_TRUE(load());
    press(Button::Play);
    ASSERT_TRUE(testutil::waitUntil([&] { return mm->position() > 300; }));
    player->close();
    EXPECT_TRUE(player->isHidden());
    EXPECT_EQ(mm->mode(), Mode::Stopped);
    EXPECT_EQ(mm->position(), 0);

    player->RefreshDisplay();
    const QStringList shown = texts();
    mm->sendCommand(QStringLiteral("Close"));
    player->RefreshDisplay();
    EXPECT_EQ(texts(), shown);
}

TEST_F(CdPlayerTest, NoDiscAndButtonsBeforeLoading) {
    player->show();
    player->CDEnd->click();
    player->Command2->click();
    EXPECT_TRUE(player->isHidden());
    for (const QString& source : {dir.filePath("none.cue"), dir.filePath("no-drive")}) {
        useDisc(source);
        player->Command1->click();
        EXPECT_TRUE(testutil::waitUntil([&] { return player->Command1->isEnabled(); }));
        EXPECT_EQ(mm->mode(), Mode::NotOpen);
        EXPECT_EQ(player->InfoTracks->text(), QString());
    }
    EXPECT_TRUE(dialogs.asked.isEmpty());
}

TEST_F(CdPlayerTest, VolumeAndAMixedModeDisc) {
    // No volume control on PATH: said so.
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", QFile::encodeName(dir.path()));
    player->Command3->click();
    qputenv("PATH", path);
    EXPECT_EQ(dialogs.messageTexts().size(), 1);

    // Track 1 holds data (as audio, a loud hiss); track 2 a second of tone.
    QByteArray bin(300 * 2352, char(0x55));
    for (int i = 0; i < 75 * media::kFramesPerSector; ++i) {
        const auto v = qint16(std::lround(8000 * std::sin(2 * M_PI * 440 * i / 44100.0)));
        const char le[2] = {char(v & 0xFF), char((v >> 8) & 0xFF)};
        bin.append(le, 2).append(le, 2);
    }
    testutil::writeFile(dir, "mixed.bin", bin);
    useDisc(
        testutil::writeFile(dir, "mixed.cue",
                            "FILE \"mixed.bin\" BINARY\n  TRACK 01 MODE1/2352\n"
                            "    INDEX 01 00:00:00\n  TRACK 02 AUDIO\n    INDEX 01 00:04:00\n"));
    ASSERT_TRUE(load());
    EXPECT_EQ(texts(), QStringList({" 2", " 2", "0:01", "0:00", "0:01", "0:01", "0:00", "0:01"}));
    QSignalSpy done(mm, &MMControl::done);
    press(Button::Play);
    ASSERT_TRUE(done.wait(5000));
    player->close(); // stops: back to the start, track 1 being data
    player->RefreshDisplay();
    EXPECT_EQ(mm->position(), 4000);
    EXPECT_EQ(player->InfoTrack->text(), " 2");
    player->CDEnd_Click();
    const mediatest::Capture c = mediatest::readCapture();
    const size_t from = mediatest::firstSound(c.left), to = mediatest::endOfSound(c.left);
    ASSERT_LT(from, to);
    EXPECT_NEAR(mediatest::ms(to - from), 1000, 10);
    EXPECT_NEAR(mediatest::rms(c.left, from, to - from), 5657, 300);
}

TEST_F(CdPlayerTest, ADataTrackRightAfterTheAudioIsNeverCurrent) {
    // A data track right after the last audio one (no pregap): at the disc's end,
    // the last audio track is current, wholly played.
    const struct {
        const char* name;
        QByteArray tracks;
        int audioSectors;
        QStringList atEnd; // tracks, track, disc length, track length, elapsed, left
    } cases[] = {
        {"one audio track",
         "  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n"
         "  TRACK 02 MODE1/2352\n    INDEX 01 00:01:00\n",
         75,
         {" 2", " 1", "0:01", "0:01", "0:01", "0:00"}},
        {"two audio tracks",
         "  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n  TRACK 02 AUDIO\n    INDEX 01 00:01:00\n"
         "  TRACK 03 MODE1/2352\n    INDEX 01 00:03:00\n",
         225,
         {" 3", " 2", "0:03", "0:02", "0:02", "0:00"}},
    };
    for (const auto& c : cases) {
        QByteArray bin(c.audioSectors * 2352, '\0');
        bin.append(QByteArray(150 * 2352, char(0x55)));
        testutil::writeFile(dir, "enhanced.bin", bin);
        useDisc(
            testutil::writeFile(dir, "enhanced.cue", "FILE \"enhanced.bin\" BINARY\n" + c.tracks));
        ASSERT_TRUE(load()) << c.name;
        mm->setTo(mm->length());
        ASSERT_TRUE(mm->sendCommand(QStringLiteral("Seek"))) << c.name;
        player->RefreshDisplay();
        const QStringList shown = texts();
        EXPECT_EQ(QStringList({shown[0], shown[1], shown[2], shown[5], shown[6], shown[7]}),
                  c.atEnd)
            << c.name;
        player->CDEnd_Click();
    }
}

TEST_F(ViewerTest, CdPlayerOpensBesideTheMainWindowOnce) {
    qputenv("LUMENTA_CD_DEVICE", QFile::encodeName(appDir.filePath("none.cue")));
    start();
    w->setGeometry(0, 0, 300, 300);
    Q_EMIT w->Mnu_Affichage->aboutToShow();
    ASSERT_TRUE(w->Mnu_CDPlay->isEnabled());
    w->Mnu_CDPlay->trigger();
    w->Mnu_CDPlay->trigger();
    const auto players = w->findChildren<CDPlayer*>();
    ASSERT_EQ(players.size(), 1);
    EXPECT_TRUE(players[0]->isVisible() && !players[0]->isModal() && w->isEnabled());
    EXPECT_FALSE(players[0]->frameGeometry().intersects(w->frameGeometry()));
}
