// The multimedia control as its owner windows drive it: settings, commands
// by name, buttons, values and notifications, with sound going to SDL's
// disk driver.
#include "support/mediacapture.h"
#include "support/testutil.h"
#include "widgets/mmcontrol.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>

using lumenta::MMControl;
using Button = MMControl::Button;
using Mode = MMControl::Mode;

static const bool kAudioToDisk = mediatest::routeAudioToDisk();

namespace {

bool openFile(MMControl& mm, const QString& type, const QString& path, QString* error = nullptr) {
    mm.setDeviceType(type);
    mm.setFileName(path);
    return mm.sendCommand(QStringLiteral("Open"), error);
}

bool seekTo(MMControl& mm, qint64 ms) {
    mm.setTo(ms);
    return mm.sendCommand(QStringLiteral("Seek"));
}

} // namespace

TEST(MMControl, EveryWaveEncodingPlaysToTheEnd) {
    const struct {
        const char* file;
        qint64 lengthMs;
    } tones[] = {{"tone_s16.wav", 1000},  {"tone_u8.wav", 1000},  {"tone_s24.wav", 1000},
                 {"tone_f32.wav", 1000},  {"tone_ima.wav", 1008}, {"tone_ms.wav", 1010},
                 {"tone_ulaw.wav", 1000}, {"tone_alaw.wav", 1000}};
    QTemporaryDir dir;
    for (const auto& t : tones) {
        SCOPED_TRACE(t.file);
        const QString path = testutil::copyFixture(dir, QStringLiteral("media/") + t.file);
        {
            MMControl mm;
            QString error;
            ASSERT_TRUE(openFile(mm, "WaveAudio", path, &error)) << error.toStdString();
            EXPECT_EQ(mm.length(), t.lengthMs);
            QSignalSpy done(&mm, &MMControl::done);
            mm.button(Button::Play)->click();
            ASSERT_TRUE(done.wait(5000));
            EXPECT_EQ(mm.position(), t.lengthMs);
        }
        const mediatest::Capture c = mediatest::readCapture();
        const size_t from = mediatest::firstSound(c.left);
        const size_t to = mediatest::endOfSound(c.left);
        ASSERT_LT(from, to) << "nothing reached the output";
        EXPECT_GT(mediatest::ms(to - from), 985);
        EXPECT_LT(mediatest::ms(to - from), t.lengthMs + 5);
        // The middle of the tone: 440 Hz at half scale, same on both sides.
        const size_t mid = from + mediatest::kRate / 10;
        const size_t len = mediatest::kRate * 8 / 10;
        EXPECT_NEAR(mediatest::toneFrequency(c.left, mid, len), 440, 3);
        EXPECT_NEAR(mediatest::rms(c.left, mid, len), 11585, 800);
        EXPECT_NEAR(mediatest::rms(c.right, mid, len), mediatest::rms(c.left, mid, len), 50);
    }
}

TEST(MMControl, DamagedFilesAreRefusedAtOpen) {
    QTemporaryDir dir;
    QList<std::pair<QString, QString>> bad; // device type, file
    for (const char* name :
         {"bad_empty.wav", "bad_fmt_chunk.wav", "bad_garbage_header.wav", "bad_header_only.wav",
          "bad_mp3tag_pcmdata.wav", "bad_text.wav", "bad_truncated_data.wav",
          "bad_truncated_header.wav", "bad_unknown_codec.wav"})
        bad.append({"WaveAudio", testutil::copyFixture(dir, QStringLiteral("media/") + name)});
    bad.append({"Sequencer", dir.filePath("missing.mid")}); // (damaged MIDI: see the parser)
    MMControl mm;
    for (const auto& [type, path] : bad) {
        SCOPED_TRACE(path.toStdString());
        QString error;
        EXPECT_FALSE(openFile(mm, type, path, &error));
        EXPECT_FALSE(error.isEmpty());
        EXPECT_EQ(mm.mode(), Mode::NotOpen);
    }
    // A streaming writer's placeholder size is not damage.
    EXPECT_TRUE(openFile(mm, "WaveAudio", testutil::fixture("media/odd_huge_datasize.wav")));
    EXPECT_EQ(mm.length(), 1000);
}

TEST(MMControl, CommandsInAnyCaseButtonsAndModes) {
    MMControl mm;
    auto enabled = [&] {
        QString s;
        for (int b = 0; b < 9; ++b)
            s += mm.button(Button(b))->isEnabled() ? QLatin1Char('1') : QLatin1Char('0');
        return s.toStdString();
    };
    //                 prev next play pause back step stop rec eject
    EXPECT_EQ(enabled(), "000000000");
    EXPECT_FALSE(mm.sendCommand(QStringLiteral("play"))); // nothing open
    mm.setDeviceType(QStringLiteral("wAVEaUDIO"));
    mm.setFileName(testutil::fixture("media/tone_s16.wav"));
    EXPECT_TRUE(mm.command(QStringLiteral("OPEN")));
    EXPECT_EQ(enabled(), "111000000");
    QSignalSpy modes(&mm, &MMControl::modeChanged);
    const struct {
        const char* command;
        Mode mode;
        const char* buttons;
    } steps[] = {{"pLaY", Mode::Playing, "110100100"},
                 {"PAUSE", Mode::Paused, "111100100"},
                 {"pause", Mode::Playing, "110100100"}, // again: resumes
                 {"Stop", Mode::Stopped, "111000000"}};
    for (const auto& step : steps) {
        SCOPED_TRACE(step.command);
        EXPECT_TRUE(mm.setCommand(QLatin1String(step.command)));
        EXPECT_EQ(mm.mode(), step.mode);
        EXPECT_EQ(enabled(), step.buttons);
        if (step.mode == Mode::Playing)
            continue;
        const qint64 at = mm.position(); // paused or stopped, it holds
        QTest::qWait(30);
        EXPECT_EQ(mm.position(), at);
    }
    EXPECT_EQ(modes.count(), 4);
    // The buttons run the same commands, each telling its owner first.
    QSignalSpy played(&mm, &MMControl::playClicked);
    QSignalSpy paused(&mm, &MMControl::pauseClicked);
    QSignalSpy stopped(&mm, &MMControl::stopClicked);
    mm.button(Button::Play)->click();
    mm.button(Button::Pause)->click();
    EXPECT_EQ(mm.mode(), Mode::Paused);
    mm.button(Button::Stop)->click();
    EXPECT_EQ(mm.mode(), Mode::Stopped);
    EXPECT_EQ((QList<qsizetype>{played.count(), paused.count(), stopped.count()}),
              (QList<qsizetype>{1, 1, 1}));

    EXPECT_TRUE(seekTo(mm, 250));
    EXPECT_EQ(mm.position(), 250);
    EXPECT_FALSE(seekTo(mm, 1001)); // past the end
    EXPECT_TRUE(mm.sendCommand(QStringLiteral("Prev")));
    EXPECT_EQ(mm.position(), 0);
    EXPECT_TRUE(mm.sendCommand(QStringLiteral("NEXT"))); // one track: to the end
    EXPECT_EQ(mm.position(), 1000);
    for (const char* refused : {"Fly", "Record", "step", "BACK", "Eject"}) {
        EXPECT_FALSE(mm.sendCommand(QLatin1String(refused))) << refused;
        EXPECT_FALSE(mm.lastError().isEmpty()) << refused;
    }
    EXPECT_FALSE(mm.setTimeFormat(2));
    EXPECT_TRUE(mm.setProperty("Command", QStringLiteral("Close")));
    EXPECT_EQ(enabled(), "000000000");
    EXPECT_TRUE(mm.sendCommand(QStringLiteral("Close"))); // closing again is harmless
    mm.setDeviceType(QStringLiteral("Videodisc"));
    EXPECT_FALSE(mm.sendCommand(QStringLiteral("Open")));
    // The type may be left empty: the file's extension chooses.
    EXPECT_TRUE(openFile(mm, QString(), testutil::fixture("media/scale_tempo_change.mid")));
    EXPECT_EQ(mm.length(), 6000);
}

TEST(MMControl, EndOfPlaybackRewindsWithoutFurtherNotification) {
    // The main window's way: notification off, waiting on; on done(1) it
    // sends "prev" then "seek".
    MMControl mm;
    mm.setWait(true);
    QSignalSpy done(&mm, &MMControl::done);
    int rewinds = 0;
    QObject::connect(&mm, &MMControl::done, &mm, [&](int code) {
        if (code != 1)
            return;
        ++rewinds;
        mm.sendCommand(QStringLiteral("prev"));
        mm.sendCommand(QStringLiteral("seek"));
    });
    ASSERT_TRUE(openFile(mm, "WaveAudio", testutil::fixture("media/tone_u8.wav")));
    EXPECT_FALSE(mm.wait()); // held for that one command
    mm.button(Button::Play)->click();
    ASSERT_TRUE(done.wait(5000));
    QTest::qWait(100);
    EXPECT_EQ(done.count(), 1);
    EXPECT_EQ(rewinds, 1);
    EXPECT_EQ(mm.position(), 0);
    EXPECT_EQ(mm.mode(), Mode::Stopped);
    EXPECT_TRUE(mm.button(Button::Play)->isEnabled());
    // "Play" sent with Wait on returns while playing: the window is never
    // held up; the end is reported as before.
    mm.setWait(true);
    ASSERT_TRUE(mm.sendCommand(QStringLiteral("Play")));
    EXPECT_EQ(mm.mode(), Mode::Playing);
    ASSERT_TRUE(testutil::waitUntil([&] { return rewinds == 2; }, 5000));
}

TEST(MMControl, NotifyHoldsForOneCommandAndLoopsMusic) {
    // The slideshow's way: notification on for "Open" and for "play"; each
    // done(1) sends "prev", "seek", "play", so the music starts again.
    MMControl mm;
    QSignalSpy done(&mm, &MMControl::done);
    int restarts = 0;
    QObject::connect(&mm, &MMControl::done, &mm, [&](int code) {
        if (code != 1 || ++restarts > 3)
            return;
        mm.sendCommand(QStringLiteral("prev"));
        mm.sendCommand(QStringLiteral("seek"));
        mm.sendCommand(QStringLiteral("play"));
    });
    mm.setNotify(true);
    ASSERT_TRUE(openFile(mm, "Sequencer", testutil::fixture("media/scale_tempo_change.mid")));
    EXPECT_FALSE(mm.notify());
    mm.setNotify(true);
    ASSERT_TRUE(mm.sendCommand(QStringLiteral("play")));
    // done(1) for the open, then one per time the music ran out.
    ASSERT_TRUE(testutil::waitUntil([&] { return done.count() == 4; }, 10000));
    EXPECT_EQ(mm.mode(), Mode::Stopped);
    EXPECT_EQ(mm.position(), 6000);
    // Without Notify a command completes silently.
    EXPECT_TRUE(mm.sendCommand(QStringLiteral("Seek")));
    QTest::qWait(100);
    EXPECT_EQ(done.count(), 4);
}

TEST(MMControl, AudioDiscImage) {
    QTemporaryDir dir;
    MMControl mm;
    ASSERT_TRUE(openFile(mm, "CDAudio", mediatest::copyDisc(dir))) << mm.lastError().toStdString();
    EXPECT_EQ(mm.tracks(), 3);
    EXPECT_EQ(mm.length(), 6507);
    ASSERT_TRUE(mm.setTrack(2));
    EXPECT_EQ(std::tuple(mm.trackLength(), mm.trackPosition(), mm.position()),
              std::tuple(3000, 2000, 2000));
    EXPECT_FALSE(mm.setTrack(4));

    // Seek into track 3, play, watch the position and the status timer.
    ASSERT_TRUE(seekTo(mm, 5500));
    EXPECT_EQ(mm.track(), 3);
    EXPECT_EQ(mm.position() - mm.trackPosition(), 500);
    QSignalSpy status(&mm, &MMControl::statusUpdate);
    QSignalSpy done(&mm, &MMControl::done);
    mm.setUpdateInterval(20);
    mm.button(Button::Play)->click();
    ASSERT_TRUE(done.wait(5000));
    EXPECT_EQ(mm.position(), 6507);
    ASSERT_TRUE(testutil::waitUntil([&] { return status.count() >= 2; }, 2000));
    mm.setUpdateInterval(0);
    status.clear();
    QTest::qWait(60);
    EXPECT_EQ(status.count(), 0);

    // Prev near a track's start goes to the one before; next moves on.
    ASSERT_TRUE(seekTo(mm, 2500));
    ASSERT_TRUE(mm.sendCommand(QStringLiteral("prev")));
    EXPECT_EQ(mm.position(), 0);
    ASSERT_TRUE(mm.sendCommand(QStringLiteral("next")));
    ASSERT_TRUE(mm.sendCommand(QStringLiteral("next")));
    EXPECT_EQ(mm.position(), 5000);
    ASSERT_TRUE(seekTo(mm, 4800));
    ASSERT_TRUE(mm.sendCommand(QStringLiteral("prev")));
    EXPECT_EQ(mm.position(), 2000);

    // The eject button reports, ejects and the device is closed.
    QSignalSpy ejected(&mm, &MMControl::ejectClicked);
    mm.button(Button::Eject)->click();
    EXPECT_EQ(ejected.count(), 1);
    EXPECT_EQ(mm.mode(), Mode::NotOpen);
    bool ok = true; // values cannot be read now, and that is said
    mm.tracks(&ok);
    EXPECT_FALSE(ok || mm.lastError().isEmpty());
    // What was played: the rest of track 3, from 5500 ms to the end at
    // 6507 ms; its 880 Hz tone stops at 6500 (the last sector is padded),
    // opposite in phase on the right.
    const mediatest::Capture c = mediatest::readCapture();
    const size_t from = mediatest::firstSound(c.left);
    const size_t to = mediatest::endOfSound(c.left);
    ASSERT_LT(from, to);
    EXPECT_NEAR(mediatest::ms(to - from), 1000, 10);
    EXPECT_NEAR(mediatest::toneFrequency(c.left, from, to - from), 876, 8);
    EXPECT_NEAR(c.left[from + 100], -c.right[from + 100], 2);

    // The disc can be loaded again, also when only the environment names it.
    qputenv("LUMENTA_CD_DEVICE", mm.fileName().toLocal8Bit());
    EXPECT_TRUE(openFile(mm, "CDAudio", QString())) << mm.lastError().toStdString();
    EXPECT_EQ(mm.tracks(), 3);
    qputenv("LUMENTA_CD_DEVICE", QFile::encodeName(dir.filePath("gone.cue")));
    EXPECT_FALSE(mm.sendCommand(QStringLiteral("Open")));
    qunsetenv("LUMENTA_CD_DEVICE");
}
