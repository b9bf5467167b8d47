#pragma once
// Standard MIDI files: the events of all tracks merged in time order, and
// the tempo map that turns ticks into time.
#include <QByteArray>
#include <QList>
#include <QString>

namespace lumenta::media {

struct MidiEvent {
    qint64 tick = 0;
    quint8 status = 0; // channel message status (0x80..0xEF) or 0xF0/0xF7 for system exclusive
    quint8 data1 = 0;
    quint8 data2 = 0;
    QByteArray sysex; // the body of a system exclusive message, without F0/F7

    bool isNoteOn() const { return (status & 0xF0) == 0x90 && data2 > 0; }
    bool isNote() const { return (status & 0xF0) == 0x80 || (status & 0xF0) == 0x90; }
};

struct MidiTempo {
    qint64 tick = 0;
    qint64 microsPerQuarter = 500000;
};

class MidiSong {
public:
    int format = 0;
    int trackCount = 0;
    int division = 480;      // ticks per quarter note, or SMPTE when negative
    QList<MidiEvent> events; // channel and system exclusive events, by time
    QList<MidiTempo> tempos; // tempo changes by tick, the first at tick 0
    qint64 endTick = 0;      // the last tick of the longest track

    // Time of a tick, through the tempo map; saturates at INT64_MAX instead
    // of overflowing on absurd tick counts or tempos.
    qint64 tickToMicros(qint64 tick) const;
    qint64 lengthMs() const;
};

// Times of the ticks of a song in one walk over its tempo map: ticks asked
// in increasing order (the events' order) cost one pass over the map in
// all, however many tempo changes a file holds. Gives what tickToMicros()
// gives; a tick lower than the one before starts the walk again.
class TempoMap {
public:
    explicit TempoMap(const MidiSong& song) : song_(song) {}
    qint64 micros(qint64 tick);

private:
    const MidiSong& song_;
    qsizetype next_ = 0;  // the first tempo change not yet passed
    qint64 at_ = 0;       // the tick of the last one passed
    qint64 mpq_ = 500000; // its tempo
    __int128 micros_ = 0; // and its time
};

// Files playing longer than this are refused as damaged.
constexpr qint64 kMaxMidiLengthMs = qint64(24) * 3600 * 1000;

// Parses a standard MIDI file (also one wrapped in a RIFF "RMID" file).
// Returns false with a reason for anything that is not a well-formed file,
// or that lasts longer than kMaxMidiLengthMs.
bool parseMidiFile(const QByteArray& bytes, MidiSong* song, QString* error);

} // namespace lumenta::media
