// Standard MIDI files and their tempo map: a file is read whole or refused
// with a reason; a file read has its events in time order, every event is
// timed as the player times it (one walk of the tempo map, which agrees
// with the map's own answer), and no time runs backwards or past the end.
#include "fuzzsupport.h"

#include "media/midifile.h"

#include <algorithm>

using namespace lumenta;
using namespace lumenta::media;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    MidiSong song;
    QString error;
    if (!parseMidiFile(bytes, &song, &error)) {
        LUMENTA_FUZZ_CHECK(!error.isEmpty());
        return 0;
    }
    LUMENTA_FUZZ_CHECK(song.trackCount >= 1);
    LUMENTA_FUZZ_CHECK(song.lengthMs() >= 0 && song.lengthMs() <= kMaxMidiLengthMs);
    LUMENTA_FUZZ_CHECK(
        std::is_sorted(song.events.begin(), song.events.end(),
                       [](const MidiEvent& a, const MidiEvent& b) { return a.tick < b.tick; }));
    LUMENTA_FUZZ_CHECK(
        std::is_sorted(song.tempos.begin(), song.tempos.end(),
                       [](const MidiTempo& a, const MidiTempo& b) { return a.tick < b.tick; }));
    // Every event timed as the player times them, in one walk of the map.
    TempoMap map(song);
    const qint64 end = song.tickToMicros(song.endTick);
    qint64 previous = 0;
    for (qsizetype i = 0; i < song.events.size(); ++i) {
        const MidiEvent& ev = song.events[i];
        LUMENTA_FUZZ_CHECK(ev.tick >= 0 && ev.tick <= song.endTick);
        LUMENTA_FUZZ_CHECK(ev.data1 < 0x80 && ev.data2 < 0x80);
        const qint64 us = map.micros(ev.tick);
        LUMENTA_FUZZ_CHECK(us >= previous && us <= end);
        if (i % 16 == 0)
            LUMENTA_FUZZ_CHECK(us == song.tickToMicros(ev.tick));
        previous = us;
    }
    LUMENTA_FUZZ_CHECK(map.micros(song.endTick) == end);
    return 0;
}
