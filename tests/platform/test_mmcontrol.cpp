// The multimedia control as its owner windows drive it: settings, commands
// by name, buttons, values and notifications, with sound going to SDL's
// disk driver.
#include "platform/mmcontrol.h"
#include "support/mediacapture.h"
#include "support/testutil.h"

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

struct Tone {
    const char* file;
    qint64 lengthMs;
};

bool openFile(MMControl& mm, const QString& type, const QString& path, QString* error = nullptr) {
    mm.setDeviceType(type);
    mm.setFileName(path);
    return mm.sendCommand(QStringLiteral("Open"), error);
}

QString copyDisc(const QTemporaryDir& dir) {
    testutil::copyFixture(dir, "media/disc.bin");
    return testutil::copyFixture(dir, "media/disc.cue");
}

} // namespace

TEST(MMControl, EveryWaveEncodingPlaysToTheEnd) {
    const Tone tones[] = {{"tone_s16.wav", 1000},  {"tone_u8.wav", 1000},  {"tone_s24.wav", 1000},
                          {"tone_f32.wav", 1000},  {"tone_ima.wav", 1008}, {"tone_ms.wav", 1010},
                          {"tone_ulaw.wav", 1000}, {"tone_alaw.wav", 1000}};
    QTemporaryDir dir;
    for (const Tone& t : tones) {
        SCOPED_TRACE(t.file);
        const QString path = testutil::copyFixture(dir, QStringLiteral("media/") + t.file);
        {
            MMControl mm;
            mm.setObjectName(QStringLiteral("MMControl1"));
            QString error;
            ASSERT_TRUE(openFile(mm, "WaveAudio", path, &error)) << error.toStdString();
            EXPECT_EQ(mm.length(), t.lengthMs);
            EXPECT_EQ(mm.tracks(), 1);
            EXPECT_EQ(mm.position(), 0);
            QSignalSpy done(&mm, &MMControl::done);
            QSignalSpy clicked(&mm, &MMControl::playClicked);
            mm.button(Button::Play)->click();
            EXPECT_EQ(clicked.count(), 1);
            EXPECT_EQ(mm.mode(), Mode::Playing);
            ASSERT_TRUE(done.wait(5000));
            EXPECT_EQ(done.first().first().toInt(), 1);
            EXPECT_EQ(mm.mode(), Mode::Stopped);
            EXPECT_EQ(mm.position(), t.lengthMs);
            EXPECT_TRUE(mm.sendCommand(QStringLiteral("Close")));
        }
        const mediatest::Capture c = mediatest::readCapture();
        const size_t from = mediatest::firstSound(c.left);
        const size_t to = mediatest::endOfSound(c.left);
        ASSERT_LT(from, to) << "nothing reached the output";
        const double ms = double(to - from) * 1000 / mediatest::kRate;
        EXPECT_GT(ms, 985);
        EXPECT_LT(ms, t.lengthMs + 5);
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
    const QStringList bad = {
        "bad_empty.wav",          "bad_fmt_chunk.wav",        "bad_garbage_header.wav",
        "bad_header_only.wav",    "bad_mp3tag_pcmdata.wav",   "bad_text.wav",
        "bad_truncated_data.wav", "bad_truncated_header.wav", "bad_unknown_codec.wav"};
    MMControl mm;
    for (const QString& name : bad) {
        const QString path = testutil::copyFixture(dir, QStringLiteral("media/") + name);
        QString error;
        EXPECT_FALSE(openFile(mm, "WaveAudio", path, &error)) << name.toStdString();
        EXPECT_FALSE(error.isEmpty()) << name.toStdString();
        EXPECT_EQ(mm.lastError(), error);
        EXPECT_EQ(mm.mode(), Mode::NotOpen);
        EXPECT_FALSE(mm.button(Button::Play)->isEnabled());
    }
    // A streaming writer's placeholder size is not damage.
    EXPECT_TRUE(openFile(mm, "WaveAudio", testutil::fixture("media/odd_huge_datasize.wav")));
    EXPECT_EQ(mm.length(), 1000);

    const QString junk = testutil::writeFile(dir, "junk.mid", "MThd\0\0\0\6garbage");
    const QString text = testutil::writeFile(dir, "text.mid", "not music at all\n");
    for (const QString& path : {junk, text, dir.filePath("missing.mid")}) {
        QString error;
        EXPECT_FALSE(openFile(mm, "Sequencer", path, &error)) << path.toStdString();
        EXPECT_FALSE(error.isEmpty());
        EXPECT_EQ(mm.mode(), Mode::NotOpen);
    }
    // A failing command leaves the values unreadable, and says so.
    bool ok = true;
    mm.length(&ok);
    EXPECT_FALSE(ok);
    EXPECT_FALSE(mm.lastError().isEmpty());
    // Closing what is not open is harmless.
    EXPECT_TRUE(mm.sendCommand(QStringLiteral("Close")));
    EXPECT_TRUE(mm.lastError().isEmpty());
}

TEST(MMControl, CommandsAnyCaseAndUnknownOnes) {
    MMControl mm;
    mm.setDeviceType(QStringLiteral("wAVEaUDIO"));
    mm.setFileName(testutil::fixture("media/tone_s16.wav"));
    EXPECT_TRUE(mm.command(QStringLiteral("OPEN")));
    EXPECT_TRUE(mm.setCommand(QStringLiteral("pLaY")));
    EXPECT_EQ(mm.mode(), Mode::Playing);
    EXPECT_TRUE(mm.sendCommand(QStringLiteral("PAUSE")));
    EXPECT_EQ(mm.mode(), Mode::Paused);
    EXPECT_TRUE(mm.sendCommand(QStringLiteral("pause"))); // again: resumes
    EXPECT_EQ(mm.mode(), Mode::Playing);
    EXPECT_TRUE(mm.sendCommand(QStringLiteral("Stop")));
    EXPECT_EQ(mm.mode(), Mode::Stopped);
    mm.setTo(250);
    EXPECT_TRUE(mm.sendCommand(QStringLiteral("seek")));
    EXPECT_EQ(mm.position(), 250);
    EXPECT_TRUE(mm.sendCommand(QStringLiteral("SEEK")));
    EXPECT_TRUE(mm.sendCommand(QStringLiteral("Prev")));
    EXPECT_EQ(mm.position(), 0);
    EXPECT_TRUE(mm.sendCommand(QStringLiteral("NEXT"))); // one track: to the end
    EXPECT_EQ(mm.position(), 1000);
    EXPECT_TRUE(mm.setProperty("Command", QStringLiteral("Close")));
    EXPECT_EQ(mm.mode(), Mode::NotOpen);

    QString error;
    EXPECT_FALSE(mm.sendCommand(QStringLiteral("Fly"), &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_FALSE(mm.sendCommand(QStringLiteral("play"), &error)); // nothing open
    EXPECT_FALSE(error.isEmpty());
    EXPECT_TRUE(openFile(mm, "WaveAudio", testutil::fixture("media/tone_s16.wav")));
    for (const char* unsupported : {"Record", "step", "BACK", "Eject"})
        EXPECT_FALSE(mm.sendCommand(QLatin1String(unsupported))) << unsupported;
    mm.setTo(1001);
    EXPECT_FALSE(mm.sendCommand(QStringLiteral("Seek"), &error)); // past the end
    EXPECT_FALSE(mm.setTimeFormat(2));
    EXPECT_TRUE(mm.setTimeFormat(0));
    mm.setDeviceType(QStringLiteral("Videodisc"));
    EXPECT_FALSE(mm.sendCommand(QStringLiteral("Open"), &error));
    // The type may be left empty: the file's extension chooses.
    mm.setDeviceType(QString());
    mm.setFileName(testutil::fixture("media/scale_tempo_change.mid"));
    EXPECT_TRUE(mm.sendCommand(QStringLiteral("Open")));
    EXPECT_EQ(mm.length(), 6000);
}

TEST(MMControl, EndOfPlaybackRewindsWithoutFurtherNotification) {
    // The main window's way: notification off, waiting on, no sharing;
    // on done(1) it sends "prev" then "seek".
    MMControl mm;
    mm.setNotify(false);
    mm.setWait(true);
    mm.setShareable(false);
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
    mm.setWait(false);
    ASSERT_TRUE(openFile(mm, "Sequencer", testutil::fixture("media/scale_tempo_change.mid")));
    EXPECT_FALSE(mm.notify());
    mm.setNotify(true);
    ASSERT_TRUE(mm.sendCommand(QStringLiteral("play")));
    // done(1) for the open, then one per time the music ran out.
    ASSERT_TRUE(testutil::waitUntil([&] { return done.count() == 4; }, 10000));
    EXPECT_EQ(mm.mode(), Mode::Stopped);
    EXPECT_EQ(mm.position(), 6000);
    QTest::qWait(100);
    EXPECT_EQ(done.count(), 4);
    // Without Notify a command completes silently.
    EXPECT_TRUE(mm.sendCommand(QStringLiteral("Seek")));
    QTest::qWait(50);
    EXPECT_EQ(done.count(), 4);
}

TEST(MMControl, WaitOnPlayReturnsAtTheEnd) {
    MMControl mm;
    ASSERT_TRUE(openFile(mm, "WaveAudio", testutil::fixture("media/tone_alaw.wav")));
    QSignalSpy done(&mm, &MMControl::done);
    mm.setWait(true);
    ASSERT_TRUE(mm.sendCommand(QStringLiteral("Play")));
    EXPECT_EQ(mm.mode(), Mode::Stopped);
    EXPECT_EQ(mm.position(), 1000);
    EXPECT_EQ(done.count(), 1);
}

TEST(MMControl, AudioDiscImage) {
    QTemporaryDir dir;
    const QString cue = copyDisc(dir);
    MMControl mm;
    mm.setWait(true);
    mm.setUpdateInterval(0);
    mm.setDeviceType(QStringLiteral("CDAudio"));
    EXPECT_FALSE(mm.button(Button::Eject)->isEnabled());
    mm.setFileName(cue);
    ASSERT_TRUE(mm.sendCommand(QStringLiteral("Open"))) << mm.lastError().toStdString();
    ASSERT_TRUE(mm.setTimeFormat(0));
    EXPECT_EQ(mm.tracks(), 3);
    EXPECT_EQ(mm.track(), 1);
    EXPECT_EQ(mm.length(), 6507);
    EXPECT_EQ(mm.start(), 0);
    const qint64 lengths[] = {2000, 3000, 1507};
    const qint64 starts[] = {0, 2000, 5000};
    for (int t = 1; t <= 3; ++t) {
        ASSERT_TRUE(mm.setTrack(t));
        EXPECT_EQ(mm.track(), t);
        EXPECT_EQ(mm.trackLength(), lengths[t - 1]);
        EXPECT_EQ(mm.trackPosition(), starts[t - 1]);
        EXPECT_EQ(mm.position(), starts[t - 1]);
    }
    EXPECT_FALSE(mm.setTrack(4));
    EXPECT_TRUE(mm.button(Button::Eject)->isEnabled());

    // Seek into track 3, play, watch the position and the status timer.
    mm.setTo(5500);
    ASSERT_TRUE(mm.sendCommand(QStringLiteral("Seek")));
    EXPECT_EQ(mm.position(), 5500);
    EXPECT_EQ(mm.track(), 3);
    EXPECT_EQ(mm.position() - mm.trackPosition(), 500);
    QSignalSpy status(&mm, &MMControl::statusUpdate);
    QSignalSpy done(&mm, &MMControl::done);
    mm.setUpdateInterval(20);
    mm.button(Button::Play)->click();
    ASSERT_TRUE(testutil::waitUntil([&] { return mm.position() > 5600; }, 5000));
    ASSERT_TRUE(done.wait(5000));
    EXPECT_EQ(mm.position(), 6507);
    ASSERT_TRUE(testutil::waitUntil([&] { return status.count() >= 2; }, 2000));
    mm.setUpdateInterval(0);
    status.clear();
    QTest::qWait(60);
    EXPECT_EQ(status.count(), 0);

    // Prev near a track's start goes to the one before; next moves on.
    mm.setTo(2500);
    ASSERT_TRUE(mm.sendCommand(QStringLiteral("Seek")));
    ASSERT_TRUE(mm.sendCommand(QStringLiteral("prev")));
    EXPECT_EQ(mm.position(), 0);
    ASSERT_TRUE(mm.sendCommand(QStringLiteral("next")));
    ASSERT_TRUE(mm.sendCommand(QStringLiteral("next")));
    EXPECT_EQ(mm.position(), 5000);
    mm.setTo(4800);
    ASSERT_TRUE(mm.sendCommand(QStringLiteral("Seek")));
    ASSERT_TRUE(mm.sendCommand(QStringLiteral("prev")));
    EXPECT_EQ(mm.position(), 2000);

    // The eject button reports, ejects and the device is closed.
    QSignalSpy ejected(&mm, &MMControl::ejectClicked);
    mm.button(Button::Eject)->click();
    EXPECT_EQ(ejected.count(), 1);
    EXPECT_EQ(mm.mode(), Mode::NotOpen);
    bool ok = true;
    mm.tracks(&ok);
    EXPECT_FALSE(ok);
    EXPECT_TRUE(mm.sendCommand(QStringLiteral("Close")));
    // What was played: the rest of track 3, from 5500 ms to the end at
    // 6507 ms; its 880 Hz tone stops at 6500 (the last sector is padded).
    const mediatest::Capture c = mediatest::readCapture();
    const size_t from = mediatest::firstSound(c.left);
    const size_t to = mediatest::endOfSound(c.left);
    ASSERT_LT(from, to);
    EXPECT_NEAR(double(to - from) * 1000 / mediatest::kRate, 1000, 10);
    EXPECT_NEAR(mediatest::toneFrequency(c.left, from, to - from), 876, 8);

    // And the disc can be loaded again.
    EXPECT_TRUE(mm.sendCommand(QStringLiteral("Open")));
    EXPECT_EQ(mm.tracks(), 3);
    mm.sendCommand(QStringLiteral("Close"));
}

TEST(MMControl, DiscNamedByTheEnvironment) {
    QTemporaryDir dir;
    const QString cue = copyDisc(dir);
    qputenv("LUMENTA_CD_DEVICE", QFile::encodeName(cue));
    MMControl mm;
    mm.setDeviceType(QStringLiteral("CDAudio"));
    EXPECT_TRUE(mm.sendCommand(QStringLiteral("Open"))) << mm.lastError().toStdString();
    EXPECT_EQ(mm.tracks(), 3);
    mm.sendCommand(QStringLiteral("Close"));
    qputenv("LUMENTA_CD_DEVICE", QFile::encodeName(dir.filePath("gone.cue")));
    QString error;
    EXPECT_FALSE(mm.sendCommand(QStringLiteral("Open"), &error));
    EXPECT_FALSE(error.isEmpty());
    qunsetenv("LUMENTA_CD_DEVICE");
}

TEST(MMControl, ButtonsFollowTheDeviceState) {
    MMControl mm;
    auto enabled = [&] {
        QString s;
        for (int b = 0; b < 9; ++b)
            s += mm.button(Button(b))->isEnabled() ? QLatin1Char('1') : QLatin1Char('0');
        return s.toStdString();
    };
    //                 prev next play pause back step stop rec eject
    EXPECT_EQ(enabled(), "000000000");
    ASSERT_TRUE(openFile(mm, "WaveAudio", testutil::fixture("media/tone_s24.wav")));
    EXPECT_EQ(enabled(), "111000000");
    QSignalSpy modes(&mm, &MMControl::modeChanged);
    QSignalSpy paused(&mm, &MMControl::pauseClicked);
    QSignalSpy stopped(&mm, &MMControl::stopClicked);
    mm.button(Button::Play)->click();
    EXPECT_EQ(enabled(), "110100100");
    mm.button(Button::Pause)->click();
    EXPECT_EQ(paused.count(), 1);
    EXPECT_EQ(mm.mode(), Mode::Paused);
    EXPECT_EQ(enabled(), "111100100");
    const qint64 at = mm.position();
    QTest::qWait(30);
    EXPECT_EQ(mm.position(), at);
    mm.button(Button::Stop)->click();
    EXPECT_EQ(stopped.count(), 1);
    EXPECT_EQ(enabled(), "111000000");
    EXPECT_EQ(modes.count(), 3);
    // Icons are there, from the theme or the built-in set.
    for (int b = 0; b < 9; ++b)
        EXPECT_FALSE(mm.button(Button(b))->icon().isNull()) << b;
    mm.sendCommand(QStringLiteral("Close"));
    EXPECT_EQ(enabled(), "000000000");
}
