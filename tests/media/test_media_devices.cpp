// The media engine: MIDI parsing and timing, WAV checks, disc images, and
// what the devices send to the (disk) audio output.
#include "media/audiooutput.h"
#include "media/cdaudiodevice.h"
#include "media/midifile.h"
#include "media/sequencerdevice.h"
#include "media/wavedevice.h"
#include "support/mediacapture.h"
#include "support/testutil.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <limits>

using namespace lumenta::media;

static const bool kAudioToDisk = mediatest::routeAudioToDisk();

namespace {

// Plays a device to its end (bounded) and closes it; the output closes too.
void playToEnd(MediaDevice& dev) {
    ASSERT_TRUE(dev.play());
    ASSERT_TRUE(testutil::waitUntil([&] { return dev.takeCompletion(); }, 10000))
        << "playback did not end";
    EXPECT_EQ(dev.state(), PlayState::Stopped);
}

QByteArray bytes(std::initializer_list<int> values) {
    QByteArray b;
    for (int v : values)
        b.append(char(v));
    return b;
}

// A track chunk declaring `declared` bytes (by default its true size).
QByteArray trackChunk(const QByteArray& track, qsizetype declared = -1) {
    const qsizetype n = declared < 0 ? track.size() : declared;
    return "MTrk" + bytes({int(n >> 24), int(n >> 16 & 0xFF), int(n >> 8 & 0xFF), int(n & 0xFF)}) +
           track;
}

// A one-track MIDI file; division 480 ticks per quarter unless given.
QByteArray midiFile(const QByteArray& track, int declared = -1, int divHi = 0x01,
                    int divLo = 0xE0) {
    return bytes({'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, divHi, divLo}) +
           trackChunk(track, declared);
}

} // namespace

TEST(MidiFile, TempoMapGivesLengthAndNoteTimes) {
    MidiSong song;
    QString error;
    ASSERT_TRUE(parseMidiFile(testutil::readFile(testutil::fixture("media/scale_tempo_change.mid")),
                              &song, &error))
        << error.toStdString();
    EXPECT_EQ(song.lengthMs(), 6000);
    QList<qint64> onsets;
    for (const MidiEvent& ev : song.events)
        if (ev.isNoteOn() && (ev.status & 0x0F) == 0)
            onsets.append(song.tickToMicros(ev.tick) / 1000);
    // Half a second per beat, then a whole second from 2 s on.
    EXPECT_EQ(onsets, (QList<qint64>{0, 500, 1000, 1500, 2000, 3000, 4000, 5000}));
}

TEST(MidiFile, RunningStatusRmidAndSmpteTiming) {
    // Note on 60, running status note on 64, 96 ticks later both off, end;
    // SMPTE division: 25 frames/s, 40 ticks/frame = 1000 ticks/s.
    const QByteArray smf = midiFile(bytes({0x00, 0x90, 60, 100, 0x00, 64, 100, 0x60, 0x80, 60, 0,
                                           0x00, 64, 0, 0x00, 0xFF, 0x2F, 0x00}),
                                    -1, 0xE7, 40);
    MidiSong song;
    QString error;
    ASSERT_TRUE(parseMidiFile(smf, &song, &error)) << error.toStdString();
    ASSERT_EQ(song.events.size(), 4);
    EXPECT_EQ(song.events[1].data1, 64);
    EXPECT_EQ(song.lengthMs(), 96);

    const quint32 n = quint32(smf.size());
    const QByteArray rmid = "RIFF" + bytes({0, 0, 0, 0}) + "RMID" + "data" +
                            bytes({int(n & 0xFF), int(n >> 8 & 0xFF), 0, 0}) + smf;
    MidiSong wrapped;
    ASSERT_TRUE(parseMidiFile(rmid, &wrapped, &error)) << error.toStdString();
    EXPECT_EQ(wrapped.lengthMs(), 96);
}

TEST(MidiFile, JunkIsRefused) {
    const QByteArray track =
        bytes({0x00, 0x90, 60, 100, 0x60, 0x80, 60, 0, 0x00, 0xFF, 0x2F, 0x00});
    const QByteArray good = midiFile(track);
    QByteArray noTrack = good.left(14), noDivision = good;
    noTrack[11] = 0;
    noDivision[12] = noDivision[13] = 0;
    const QByteArray junk[] = {
        QByteArray(),
        QByteArray("this is not a midi file\n"),
        good.left(10), // header cut short
        noTrack,       // no track declared
        noDivision,
        good.left(14),                                                // declared track missing
        midiFile(track, 200),                                         // chunk longer than the file
        midiFile(bytes({0x00, 60, 100, 0x00, 0xFF, 0x2F, 0x00})),     // data, no status
        midiFile(bytes({0xFF, 0xFF, 0xFF, 0xFF, 0x7F, 0x90, 60, 1})), // 5-byte delta
        midiFile(bytes({0x00, 0xFF, 0x51, 0x7F, 0x07})),              // meta beyond chunk
        midiFile(bytes({0x00, 0xFF, 0x2F, 0x00})),                    // no time at all
    };
    for (size_t i = 0; i < std::size(junk); ++i) {
        MidiSong song;
        QString error;
        EXPECT_FALSE(parseMidiFile(junk[i], &song, &error)) << "case " << i;
        EXPECT_FALSE(error.isEmpty()) << "case " << i;
    }
}

TEST(MidiFile, LengthsNeverOverflowAndLongFilesAreRefused) {
    // One quarter a tick: a tempo of one second a quarter, or the largest
    // tempo (almost 16.8 s); running-status notes after maximal deltas.
    const auto song = [](int tempoHi, int tempoMid, int tempoLo, int deltas) {
        QByteArray track =
            bytes({0x00, 0xFF, 0x51, 0x03, tempoHi, tempoMid, tempoLo, 0x00, 0x90, 60, 100});
        for (int i = 0; i < deltas; ++i)
            track += bytes({0xFF, 0xFF, 0xFF, 0x7F, 60, 0});
        return midiFile(track + bytes({0x00, 0xFF, 0x2F, 0x00}), -1, 0, 1);
    };
    const qint64 maxDelta = 0x0FFFFFFF;
    MidiSong s;
    QString error;
    // 3 x 2^28 seconds: far beyond a day.
    EXPECT_FALSE(parseMidiFile(song(0x0F, 0x42, 0x40, 3), &s, &error));
    EXPECT_EQ(error, QStringLiteral("Le fichier MIDI est trop long."));
    // 4000 maximal deltas at the largest tempo overflow 64 bits of microseconds.
    EXPECT_FALSE(parseMidiFile(song(0xFF, 0xFF, 0xFF, 4000), &s, &error));
    EXPECT_EQ(error, QStringLiteral("Le fichier MIDI est trop long."));
    s = MidiSong();
    s.division = 1;
    s.tempos = {MidiTempo{0, 0xFFFFFF}};
    EXPECT_EQ(s.tickToMicros(4000 * maxDelta), std::numeric_limits<qint64>::max());
    s.endTick = 4000 * maxDelta;
    EXPECT_EQ(s.lengthMs(), std::numeric_limits<qint64>::max() / 1000 + 1);

    // A device refuses such a file at Open.
    QTemporaryDir dir;
    SequencerDevice dev;
    EXPECT_FALSE(dev.open(testutil::writeFile(dir, "long.mid", song(0xFF, 0xFF, 0xFF, 4000))));

    // Just under a day still plays, with its exact length.
    QByteArray underADay = bytes({0x00, 0xFF, 0x51, 0x03, 0x0F, 0x42, 0x40, 0x00, 0x90, 60, 100});
    underADay += bytes({0x85, 0xA2, 0x7F, 60, 0}); // 86399 ticks: one second short of a day
    ASSERT_TRUE(parseMidiFile(midiFile(underADay, -1, 0x00, 0x01), &s, &error))
        << error.toStdString();
    EXPECT_EQ(s.lengthMs(), qint64(86399) * 1000);
}

// A quarter of a million tempo changes before the notes open at once (each
// note was timed by walking the whole map: hours), every note at its time.
TEST(SequencerDevice, ManyTempoChangesAreWalkedOnce) {
    constexpr int n = 250000;
    QByteArray tempos, notes = bytes({0x01, 0x90, 60, 100});
    for (int i = 0; i < n; ++i) {
        tempos += bytes({0x00, 0xFF, 0x51, 0x03, 0x0F, 0x42, 0x40}); // 1 s a quarter
        notes += bytes({0x01, 60, i % 2 ? 100 : 0});
    }
    const QByteArray end = bytes({0x00, 0xFF, 0x2F, 0x00});
    const QByteArray file = bytes({'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 1, 0, 2, 0x01, 0xE0}) +
                            trackChunk(tempos + end) + trackChunk(notes + end);
    QTemporaryDir dir;
    SequencerDevice dev;
    QString error;
    ASSERT_TRUE(dev.prepare(testutil::writeFile(dir, "tempos.mid", file), &error))
        << error.toStdString();
    EXPECT_EQ(dev.lengthMs(), (n + 1) * 1000 / 480);

    const MidiSong& song = dev.song();
    TempoMap map(song);
    for (int i = 0; i < song.events.size(); i += 9973)
        EXPECT_EQ(map.micros(song.events[i].tick), song.tickToMicros(song.events[i].tick)) << i;
    EXPECT_EQ(map.micros(1), song.tickToMicros(1)); // backwards: walked again
}

TEST(SequencerDevice, NotesSoundAtTheirTempoMapTimes) {
    SequencerDevice dev;
    QString error;
    ASSERT_TRUE(dev.open(testutil::fixture("media/scale_tempo_change.mid"), &error))
        << error.toStdString();
    playToEnd(dev);
    EXPECT_EQ(dev.positionMs(), 6000);
    dev.close();

    const mediatest::Capture c = mediatest::readCapture();
    const size_t t0 = mediatest::firstSound(c.left);
    ASSERT_LT(t0, c.size()) << "no sound reached the output";
    // Onsets against the first note's (C4 at 0 ms): the detector's delay cancels out.
    const double c4 = mediatest::onsetMs(c.left, t0, 261.63);
    const struct {
        double freq;
        double ms;
    } notes[] = {{329.63, 1000}, {392.00, 2000}, {440.00, 3000}, {493.88, 4000}};
    for (const auto& n : notes)
        EXPECT_NEAR(mediatest::onsetMs(c.left, t0, n.freq) - c4, n.ms, 40) << n.freq << " Hz";
    // Nothing is rendered after the last tick.
    EXPECT_LE(mediatest::ms(mediatest::endOfSound(c.left, 50) - t0), 6005);
}

TEST(WaveLayout, TruncatedDataIsCaughtPlaceholdersPass) {
    QByteArray head =
        "RIFF" + bytes({0, 0, 0, 0}) + "WAVE" + "fmt " +
        bytes({16, 0, 0, 0, 1, 0, 1, 0, 0x22, 0x56, 0, 0, 0x44, 0xAC, 0, 0, 2, 0, 16, 0}) + "data";
    auto withSize = [&](quint32 size) {
        return head + bytes({int(size & 0xFF), int(size >> 8 & 0xFF), int(size >> 16 & 0xFF),
                             int(size >> 24)});
    };
    // Declared data size, bytes present, sound? (999 of 1000: within one block.)
    const struct {
        quint32 declared;
        qint64 present;
        bool sound;
    } cases[] = {{1000, 1000, true},    {1000, 999, true},       {1000, 998, false},
                 {44100, 20000, false}, {0x7FFFFFFF, 100, true}, {0xFFFFFFFF, 100, true},
                 {0, 100, true}};
    for (const auto& c : cases)
        EXPECT_EQ(checkWaveLayout(withSize(c.declared), 44 + c.present).isEmpty(), c.sound)
            << c.declared << " " << c.present;
    EXPECT_TRUE(checkWaveLayout("not a riff file at all", 22).isEmpty());
}

TEST(WaveAudioDevice, SeekThenPlayGivesTheRestResampled) {
    // 8 kHz mono mu-law: converted to 44.1 kHz stereo on the way.
    WaveAudioDevice dev;
    QString error;
    ASSERT_TRUE(dev.open(testutil::fixture("media/tone_ulaw.wav"), &error)) << error.toStdString();
    ASSERT_TRUE(dev.seek(600, &error));
    playToEnd(dev);
    EXPECT_EQ(dev.positionMs(), 1000);
    dev.close();

    const mediatest::Capture c = mediatest::readCapture();
    const size_t from = mediatest::firstSound(c.left);
    const size_t to = mediatest::endOfSound(c.left);
    ASSERT_LT(from, to);
    EXPECT_NEAR(mediatest::ms(to - from), 400, 10);
    EXPECT_NEAR(mediatest::toneFrequency(c.right, from, to - from), 440, 5);
}

TEST(AudioOutput, TwoDevicesAreMixed) {
    // A 440 Hz WAV and the disc's 660 Hz track at once: both tones, their powers added.
    QTemporaryDir dir;
    WaveAudioDevice wav;
    CdAudioDevice cd;
    ASSERT_TRUE(wav.open(testutil::fixture("media/tone_s16.wav")));
    ASSERT_TRUE(cd.open(mediatest::copyDisc(dir)));
    ASSERT_TRUE(cd.seek(2000));
    {
        // Both join the mixer in the same pass, however late this thread runs.
        const mediatest::HeldOutput held;
        ASSERT_TRUE(cd.play() && wav.play());
    }
    ASSERT_TRUE(testutil::waitUntil([&] { return wav.state() == PlayState::Stopped; }, 5000));
    wav.close();
    cd.close();
    const mediatest::Capture c = mediatest::readCapture();
    const size_t wavStart = mediatest::firstSound(c.left) + mediatest::kRate / 4;
    const size_t win = mediatest::kRate / 10;
    // Somewhere in the first second both sound together.
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

TEST(CdImage, SheetsAndTheirVariants) {
    // (The disc's lengths are read through the multimedia control.)
    for (const char* name : {"media/cue_names/album.cue", "media/cue_variants/crlf.cue",
                             "media/cue_variants/idx.cue", "media/cue_names/tones.cue"}) {
        SCOPED_TRACE(name);
        CdAudioDevice dev;
        QString error;
        ASSERT_TRUE(dev.open(testutil::fixture(name), &error)) << error.toStdString();
        EXPECT_TRUE(dev.isImage());
        ASSERT_EQ(dev.trackCount(), 3);
        EXPECT_EQ(dev.trackStartMs(2), 2000);
        EXPECT_EQ(dev.trackStartMs(3), 5000);
        if (QByteArray(name).contains("album")) // the others hold little data
            EXPECT_EQ(std::pair(dev.trackAt(4999), dev.trackAt(5000)), std::pair(2, 3));
    }
    for (const char* name :
         {"media/bad_missing_bin.cue", "media/bad_syntax.cue", "media/nothere.cue"}) {
        CdAudioDevice dev;
        QString error;
        EXPECT_FALSE(dev.open(testutil::fixture(name), &error)) << name;
        EXPECT_FALSE(error.isEmpty()) << name;
    }
    EXPECT_EQ(cueDataFile("REM x\r\nfile  \"my disc.bin\" BINARY\r\n"),
              QStringLiteral("my disc.bin"));
    EXPECT_EQ(cueDataFile("FILE plain.bin BINARY\n"), QStringLiteral("plain.bin"));
    EXPECT_TRUE(cueDataFile("TRACK 01 AUDIO\n").isEmpty());
}

TEST(MediaLibraries, StayQuietAndFallBackToTheDummyDriver) {
    // ALSA, SDL, FluidSynth and libcdio all print by default; none may.
    const QByteArray saved = qgetenv("SDL_AUDIODRIVER");
    auto driver = [](const std::shared_ptr<AudioOutput>& out) {
        return out ? out->driverName() : QString();
    };
    testing::internal::CaptureStderr();
    qunsetenv("SDL_AUDIODRIVER"); // the system's own sound output, or the dummy one
    EXPECT_TRUE(AudioOutput::acquire());
    qputenv("SDL_AUDIODRIVER", "no-such-driver");
    {
        const auto out = AudioOutput::acquire();
        EXPECT_EQ(driver(out), QStringLiteral("dummy"));
        EXPECT_EQ(AudioOutput::acquire().get(), out.get()); // shared while held
    }
    qputenv("SDL_AUDIODRIVER", saved);
    EXPECT_EQ(driver(AudioOutput::acquire()), QStringLiteral("disk"));
    {
        CdAudioDevice cd;
        EXPECT_FALSE(cd.open(testutil::fixture("media/bad_syntax.cue")));
        EXPECT_TRUE(cd.open(testutil::fixture("media/cue_variants/idx.cue")));
        SequencerDevice seq;
        EXPECT_TRUE(seq.open(testutil::fixture("media/scale_tempo_change.mid")));
    }
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}
