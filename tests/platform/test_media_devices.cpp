// The media engine on its own: MIDI parsing and timing, WAV checks, disc
// images, and what the devices send to the (disk) audio output.
#include "platform/media/audiooutput.h"
#include "platform/media/cdaudiodevice.h"
#include "platform/media/midifile.h"
#include "platform/media/sequencerdevice.h"
#include "platform/media/wavedevice.h"
#include "support/mediacapture.h"
#include "support/testutil.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

using namespace lumenta::media;

static const bool kAudioToDisk = mediatest::routeAudioToDisk();

namespace {

// Plays a device to its end (bounded) and closes it; the output closes too.
void playToEnd(MediaDevice& dev, int timeoutMs = 10000) {
    ASSERT_TRUE(dev.play());
    QElapsedTimer t;
    t.start();
    bool ended = false;
    while (!(ended = dev.takeCompletion()) && t.elapsed() < timeoutMs)
        QTest::qWait(5);
    ASSERT_TRUE(ended) << "playback did not end";
    EXPECT_EQ(dev.state(), PlayState::Stopped);
}

QByteArray midiBytes(std::initializer_list<int> bytes) {
    QByteArray b;
    for (int v : bytes)
        b.append(char(v));
    return b;
}

const QByteArray kHeader = midiBytes({'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 0x01, 0xE0});

} // namespace

TEST(MidiFile, TempoMapGivesLengthAndNoteTimes) {
    MidiSong song;
    QString error;
    ASSERT_TRUE(parseMidiFile(testutil::readFile(testutil::fixture("media/scale_tempo_change.mid")),
                              &song, &error))
        << error.toStdString();
    EXPECT_EQ(song.format, 1);
    EXPECT_EQ(song.trackCount, 2);
    EXPECT_EQ(song.division, 480);
    EXPECT_EQ(song.lengthMs(), 6000);
    QList<qint64> onsets;
    for (const MidiEvent& ev : song.events)
        if (ev.isNoteOn() && (ev.status & 0x0F) == 0)
            onsets.append(song.tickToMicros(ev.tick) / 1000);
    // Half a second per beat, then a whole second from 2 s on.
    EXPECT_EQ(onsets, (QList<qint64>{0, 500, 1000, 1500, 2000, 3000, 4000, 5000}));
}

TEST(MidiFile, RunningStatusRmidAndSmpteTiming) {
    // One track: note on 60, running status note on 64, 96 ticks later both off, end.
    const QByteArray track = midiBytes({0x00, 0x90, 60, 100, 0x00, 64, 100, 0x60, 0x80, 60, 0, 0x00,
                                        64, 0, 0x00, 0xFF, 0x2F, 0x00});
    // SMPTE division: 25 frames/s, 40 ticks/frame = 1000 ticks/s.
    QByteArray smf = midiBytes({'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 0xE7, 40});
    smf += midiBytes({'M', 'T', 'r', 'k', 0, 0, 0, int(track.size())}) + track;
    MidiSong song;
    QString error;
    ASSERT_TRUE(parseMidiFile(smf, &song, &error)) << error.toStdString();
    ASSERT_EQ(song.events.size(), 4);
    EXPECT_EQ(song.events[1].data1, 64);
    EXPECT_EQ(song.lengthMs(), 96);

    QByteArray rmid = "RIFF" + midiBytes({0, 0, 0, 0}) + "RMID" + "data";
    const quint32 n = quint32(smf.size());
    rmid += midiBytes({int(n & 0xFF), int(n >> 8 & 0xFF), 0, 0}) + smf;
    MidiSong wrapped;
    ASSERT_TRUE(parseMidiFile(rmid, &wrapped, &error)) << error.toStdString();
    EXPECT_EQ(wrapped.lengthMs(), 96);
}

TEST(MidiFile, JunkIsRefused) {
    const QByteArray goodTrack =
        midiBytes({0x00, 0x90, 60, 100, 0x60, 0x80, 60, 0, 0x00, 0xFF, 0x2F, 0x00});
    auto withTrack = [](const QByteArray& header, const QByteArray& body, int declared) {
        return header + midiBytes({'M', 'T', 'r', 'k', 0, 0, 0, declared}) + body;
    };
    const QList<QByteArray> junk = {
        QByteArray(),
        QByteArray("this is not a midi file\n"),
        kHeader.left(10),                                                    // header cut short
        midiBytes({'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 1, 0, 0, 0x01, 0xE0}), // no track declared
        midiBytes({'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 0x00, 0x00}), // division 0
        kHeader,                            // declared track missing
        withTrack(kHeader, goodTrack, 200), // chunk longer than file
        withTrack(kHeader, midiBytes({0x00, 60, 100, 0x00, 0xFF, 0x2F, 0x00}),
                  7), // data, no status
        withTrack(kHeader, midiBytes({0xFF, 0xFF, 0xFF, 0xFF, 0x7F, 0x90, 60, 1}),
                  8),                                                     // 5-byte delta
        withTrack(kHeader, midiBytes({0x00, 0xFF, 0x51, 0x7F, 0x07}), 5), // meta beyond chunk
        withTrack(kHeader, midiBytes({0x00, 0xFF, 0x2F, 0x00}), 4),       // no time at all
    };
    for (int i = 0; i < junk.size(); ++i) {
        MidiSong song;
        QString error;
        EXPECT_FALSE(parseMidiFile(junk[i], &song, &error)) << "case " << i;
        EXPECT_FALSE(error.isEmpty()) << "case " << i;
    }
    MidiSong song;
    QString error;
    EXPECT_TRUE(parseMidiFile(withTrack(kHeader, goodTrack, int(goodTrack.size())), &song, &error))
        << error.toStdString();
}

TEST(SequencerDevice, NotesSoundAtTheirTempoMapTimes) {
    SequencerDevice dev;
    QString error;
    ASSERT_TRUE(dev.open(testutil::fixture("media/scale_tempo_change.mid"), &error))
        << error.toStdString();
    EXPECT_EQ(dev.lengthMs(), 6000);
    EXPECT_EQ(dev.trackCount(), 1);
    playToEnd(dev);
    EXPECT_EQ(dev.positionMs(), 6000);
    dev.close();

    const mediatest::Capture c = mediatest::readCapture();
    const size_t t0 = mediatest::firstSound(c.left);
    ASSERT_LT(t0, c.size()) << "no sound reached the output";
    // Each note's onset against the first one's (C4 at 0 ms), so the
    // detector's own delay cancels out.
    const double c4 = mediatest::onsetMs(c.left, t0, 261.63);
    const struct {
        double freq;
        double ms;
    } notes[] = {{329.63, 1000}, {392.00, 2000}, {440.00, 3000}, {493.88, 4000}};
    for (const auto& n : notes)
        EXPECT_NEAR(mediatest::onsetMs(c.left, t0, n.freq) - c4, n.ms, 40) << n.freq << " Hz";
    // Nothing is rendered after the last tick.
    const double endMs = double(mediatest::endOfSound(c.left, 50) - t0) * 1000 / mediatest::kRate;
    EXPECT_LE(endMs, 6005);
}

TEST(SequencerDevice, JunkFileRefusedAtOpen) {
    QTemporaryDir dir;
    const QString path = testutil::writeFile(dir, "junk.mid", "MThd and then nothing useful");
    SequencerDevice dev;
    QString error;
    EXPECT_FALSE(dev.open(path, &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_FALSE(dev.isOpen());
    EXPECT_FALSE(dev.play(&error));
    EXPECT_FALSE(dev.open(dir.filePath("missing.mid"), &error));
}

TEST(WaveLayout, TruncatedDataIsCaughtPlaceholdersPass) {
    QByteArray head =
        "RIFF" + midiBytes({0, 0, 0, 0}) + "WAVE" + "fmt " +
        midiBytes({16, 0, 0, 0, 1, 0, 1, 0, 0x22, 0x56, 0, 0, 0x44, 0xAC, 0, 0, 2, 0, 16, 0}) +
        "data";
    auto withSize = [&](quint32 size) {
        return head + midiBytes({int(size & 0xFF), int(size >> 8 & 0xFF), int(size >> 16 & 0xFF),
                                 int(size >> 24)});
    };
    const qint64 headerBytes = 44;
    EXPECT_TRUE(checkWaveLayout(withSize(1000), headerBytes + 1000).isEmpty());
    EXPECT_TRUE(checkWaveLayout(withSize(1000), headerBytes + 999).isEmpty()); // within one block
    EXPECT_FALSE(checkWaveLayout(withSize(1000), headerBytes + 998).isEmpty());
    EXPECT_FALSE(checkWaveLayout(withSize(44100), headerBytes + 20000).isEmpty());
    EXPECT_TRUE(checkWaveLayout(withSize(0x7FFFFFFF), headerBytes + 100).isEmpty());
    EXPECT_TRUE(checkWaveLayout(withSize(0xFFFFFFFF), headerBytes + 100).isEmpty());
    EXPECT_TRUE(checkWaveLayout("not a riff file at all", 22).isEmpty());
}

TEST(WaveAudioDevice, SeekThenPlayGivesTheRestResampled) {
    // 8 kHz mono mu-law: converted to 44.1 kHz stereo on the way.
    WaveAudioDevice dev;
    QString error;
    ASSERT_TRUE(dev.open(testutil::fixture("media/tone_ulaw.wav"), &error)) << error.toStdString();
    EXPECT_EQ(dev.sourceRate(), 8000);
    EXPECT_EQ(dev.lengthMs(), 1000);
    EXPECT_FALSE(dev.seek(1001, &error));
    ASSERT_TRUE(dev.seek(600, &error));
    EXPECT_EQ(dev.positionMs(), 600);
    playToEnd(dev);
    EXPECT_EQ(dev.positionMs(), 1000);
    dev.close();

    const mediatest::Capture c = mediatest::readCapture();
    const size_t from = mediatest::firstSound(c.left);
    const size_t to = mediatest::endOfSound(c.left);
    ASSERT_LT(from, to);
    EXPECT_NEAR(double(to - from) * 1000 / mediatest::kRate, 400, 10);
    EXPECT_NEAR(mediatest::toneFrequency(c.right, from, to - from), 440, 5);
}

TEST(AudioOutput, TwoDevicesAreMixed) {
    // A 440 Hz WAV and the disc's 660 Hz track at once: both tones are in
    // the output, and their powers add.
    QTemporaryDir dir;
    testutil::copyFixture(dir, "media/disc.cue");
    testutil::copyFixture(dir, "media/disc.bin");
    WaveAudioDevice wav;
    CdAudioDevice cd;
    ASSERT_TRUE(wav.open(testutil::fixture("media/tone_s16.wav")));
    ASSERT_TRUE(cd.open(dir.filePath("disc.cue")));
    ASSERT_TRUE(cd.seek(2000));
    ASSERT_TRUE(cd.play());
    ASSERT_TRUE(wav.play());
    ASSERT_TRUE(testutil::waitUntil([&] { return wav.state() == PlayState::Stopped; }, 5000));
    wav.close();
    cd.close();
    const mediatest::Capture c = mediatest::readCapture();
    const size_t wavStart = mediatest::firstSound(c.left) + mediatest::kRate / 4;
    const size_t win = mediatest::kRate / 10;
    // Somewhere in the first second after the disc started, the WAV joins.
    double best = 0;
    size_t at = wavStart;
    for (size_t i = wavStart; i + win < std::min(c.size(), wavStart + mediatest::kRate); i += win) {
        const double both = std::min(mediatest::powerAt(c.left, i, win, 440),
                                     mediatest::powerAt(c.left, i, win, 660));
        if (both > best) {
            best = both;
            at = i;
        }
    }
    EXPECT_GT(mediatest::powerAt(c.left, at, win, 440), 1e6);
    EXPECT_GT(mediatest::powerAt(c.left, at, win, 660), 1e6);
    // RMS of the sum: sqrt(11585^2 + 7071^2), about 13570.
    EXPECT_NEAR(mediatest::rms(c.left, at, win), 13570, 700);
}

TEST(AudioOutput, FallsBackToTheDummyDriver) {
    const QByteArray saved = qgetenv("SDL_AUDIODRIVER");
    qputenv("SDL_AUDIODRIVER", "no-such-driver");
    {
        QString error;
        auto out = AudioOutput::acquire(&error);
        ASSERT_TRUE(out) << error.toStdString();
        EXPECT_EQ(out->driverName(), QStringLiteral("dummy"));
        EXPECT_EQ(AudioOutput::acquire().get(), out.get()); // shared while held
    }
    qputenv("SDL_AUDIODRIVER", saved);
    auto out = AudioOutput::acquire();
    ASSERT_TRUE(out);
    EXPECT_EQ(out->driverName(), QStringLiteral("disk"));
}

TEST(CdImage, TracksOfTheImageAndItsVariants) {
    const QStringList good = {"media/disc.cue", "media/cue_variants/crlf.cue",
                              "media/cue_variants/idx.cue", "media/cue_names/tones.cue",
                              "media/cue_names/album.cue"};
    for (const QString& name : good) {
        CdAudioDevice dev;
        QString error;
        ASSERT_TRUE(dev.open(testutil::fixture(name), &error))
            << name.toStdString() << ": " << error.toStdString();
        EXPECT_TRUE(dev.isImage());
        ASSERT_EQ(dev.trackCount(), 3) << name.toStdString();
        EXPECT_EQ(dev.trackStartMs(1), 0);
        EXPECT_EQ(dev.trackStartMs(2), 2000);
        EXPECT_EQ(dev.trackStartMs(3), 5000);
        EXPECT_EQ(dev.startMs(), 0);
    }
    // Full images (not the tiny placeholder data of the variants).
    for (const QString& name :
         {QStringLiteral("media/disc.cue"), QStringLiteral("media/cue_names/album.cue")}) {
        CdAudioDevice dev;
        ASSERT_TRUE(dev.open(testutil::fixture(name)));
        EXPECT_EQ(dev.trackLengthMs(1), 2000);
        EXPECT_EQ(dev.trackLengthMs(2), 3000);
        EXPECT_EQ(dev.trackLengthMs(3), 1507);
        EXPECT_EQ(dev.lengthMs(), 6507);
        EXPECT_EQ(dev.trackAt(4999), 2);
        EXPECT_EQ(dev.trackAt(5000), 3);
    }
    EXPECT_EQ(cueDataFile("REM x\r\nfile  \"my disc.bin\" BINARY\r\n"),
              QStringLiteral("my disc.bin"));
    EXPECT_EQ(cueDataFile("FILE plain.bin BINARY\n"), QStringLiteral("plain.bin"));
    EXPECT_TRUE(cueDataFile("TRACK 01 AUDIO\n").isEmpty());
}

TEST(CdImage, BrokenSheetsAreRefused) {
    for (const char* name :
         {"media/bad_missing_bin.cue", "media/bad_syntax.cue", "media/nothere.cue"}) {
        CdAudioDevice dev;
        QString error;
        EXPECT_FALSE(dev.open(testutil::fixture(name), &error)) << name;
        EXPECT_FALSE(error.isEmpty()) << name;
        EXPECT_FALSE(dev.isOpen());
    }
}

TEST(CdImage, PlaysFromASeekAndEjectCloses) {
    QTemporaryDir dir;
    testutil::copyFixture(dir, "media/disc.cue");
    testutil::copyFixture(dir, "media/disc.bin");
    CdAudioDevice dev;
    QString error;
    ASSERT_TRUE(dev.open(dir.filePath("disc.cue"), &error)) << error.toStdString();
    ASSERT_TRUE(dev.seek(2500, &error));
    ASSERT_TRUE(dev.play(&error));
    ASSERT_TRUE(testutil::waitUntil([&] { return dev.positionMs() > 3000; }, 5000));
    ASSERT_TRUE(dev.stop());
    const qint64 stoppedAt = dev.positionMs();
    QTest::qWait(30);
    EXPECT_EQ(dev.positionMs(), stoppedAt);
    EXPECT_TRUE(dev.eject(&error)) << error.toStdString();
    EXPECT_FALSE(dev.isOpen());
    EXPECT_EQ(dev.trackCount(), 0);
    EXPECT_FALSE(dev.play());

    const mediatest::Capture c = mediatest::readCapture();
    const size_t from = mediatest::firstSound(c.left);
    ASSERT_LT(from, c.size());
    // Track 2 is a 660 Hz tone, opposite in phase on the right.
    EXPECT_NEAR(mediatest::toneFrequency(c.left, from, mediatest::kRate / 4), 660, 5);
    EXPECT_NEAR(c.left[from + 100], -c.right[from + 100], 2);
    const size_t played = mediatest::endOfSound(c.left) - from;
    EXPECT_NEAR(double(played) * 1000 / mediatest::kRate, double(stoppedAt - 2500), 30);
}

TEST(MediaLibraries, StayQuietOnTheTerminal) {
    // ALSA, SDL, FluidSynth and libcdio all print by default; none may.
    const QByteArray saved = qgetenv("SDL_AUDIODRIVER");
    testing::internal::CaptureStderr();
    qunsetenv("SDL_AUDIODRIVER"); // the system's own sound output, or the dummy one
    {
        QString error;
        auto out = AudioOutput::acquire(&error);
        EXPECT_TRUE(out) << error.toStdString();
    }
    qputenv("SDL_AUDIODRIVER", saved);
    {
        CdAudioDevice cd;
        EXPECT_FALSE(cd.open(testutil::fixture("media/bad_syntax.cue")));
        EXPECT_TRUE(cd.open(testutil::fixture("media/cue_variants/idx.cue")));
        SequencerDevice seq;
        EXPECT_TRUE(seq.open(testutil::fixture("media/scale_tempo_change.mid")));
    }
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}
