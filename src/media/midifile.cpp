#include "media/midifile.h"

#include <QCoreApplication>

#include <algorithm>
#include <limits>
#include <string_view>

namespace lumenta::media {

namespace {

QString tr(const char* text) {
    return QCoreApplication::translate("MidiFile", text);
}

quint32 be32(const uchar* p) {
    return quint32(p[0]) << 24 | quint32(p[1]) << 16 | quint32(p[2]) << 8 | p[3];
}

// Reads one track chunk's events into song; returns the track's last tick.
class TrackReader {
public:
    TrackReader(const uchar* data, qint64 size) : p_(data), end_(data + size) {}

    bool read(MidiSong* song, QString* error) {
        qint64 tick = 0;
        quint8 running = 0;
        while (p_ < end_) {
            quint32 delta = 0;
            if (!varLen(&delta))
                return fail(error);
            tick += delta;
            if (p_ >= end_)
                return fail(error);
            quint8 status = *p_;
            if (status & 0x80) {
                ++p_;
            } else {
                if (running == 0)
                    return fail(error);
                status = running; // running status: the byte is data
            }
            if (status == 0xFF) {
                if (p_ >= end_)
                    return fail(error);
                const quint8 type = *p_++;
                quint32 len = 0;
                if (!varLen(&len) || len > quint32(end_ - p_))
                    return fail(error);
                if (type == 0x51 && len == 3) {
                    const qint64 mpq = qint64(p_[0]) << 16 | qint64(p_[1]) << 8 | p_[2];
                    if (mpq > 0)
                        song->tempos.append(MidiTempo{tick, mpq});
                }
                p_ += len;
                lastTick_ = tick;
                if (type == 0x2F)
                    return true; // end of track
                continue;
            }
            if (status == 0xF0 || status == 0xF7) {
                quint32 len = 0;
                if (!varLen(&len) || len > quint32(end_ - p_))
                    return fail(error);
                MidiEvent ev;
                ev.tick = tick;
                ev.status = status;
                ev.sysex = QByteArray(reinterpret_cast<const char*>(p_), int(len));
                if (ev.sysex.endsWith('\xF7'))
                    ev.sysex.chop(1);
                song->events.append(ev);
                p_ += len;
                running = 0;
                lastTick_ = tick;
                continue;
            }
            if (status >= 0xF0)
                return fail(error); // no other system message belongs in a file
            running = status;
            const int count = (status & 0xF0) == 0xC0 || (status & 0xF0) == 0xD0 ? 1 : 2;
            if (end_ - p_ < count)
                return fail(error);
            MidiEvent ev;
            ev.tick = tick;
            ev.status = status;
            ev.data1 = p_[0] & 0x7F;
            ev.data2 = count == 2 ? (p_[1] & 0x7F) : 0;
            if ((p_[0] & 0x80) || (count == 2 && (p_[1] & 0x80)))
                return fail(error);
            p_ += count;
            song->events.append(ev);
            lastTick_ = tick;
        }
        return true; // a missing end-of-track marker is tolerated
    }

    qint64 lastTick() const { return lastTick_; }

private:
    bool varLen(quint32* out) {
        quint32 v = 0;
        for (int i = 0; i < 4; ++i) {
            if (p_ >= end_)
                return false;
            const uchar b = *p_++;
            v = (v << 7) | (b & 0x7F);
            if (!(b & 0x80)) {
                *out = v;
                return true;
            }
        }
        return false;
    }
    static bool fail(QString* error) {
        *error = tr("Piste MIDI endommagée.");
        return false;
    }

    const uchar* p_;
    const uchar* end_;
    qint64 lastTick_ = 0;
};

} // namespace

namespace {

// Wide enough for a tick count times a 24-bit tempo, summed over any number
// of tempo changes a file can hold.
using Wide = __int128;

qint64 saturated(Wide v) {
    constexpr qint64 top = std::numeric_limits<qint64>::max();
    return v > Wide(top) ? top : v < 0 ? 0 : qint64(v);
}

} // namespace

qint64 MidiSong::tickToMicros(qint64 tick) const {
    return TempoMap(*this).micros(tick);
}

qint64 TempoMap::micros(qint64 tick) {
    const int division = song_.division;
    if (division < 0) {
        // SMPTE: frames per second (29 meaning 29.97) times ticks per frame.
        const int fps = -(division >> 8);
        const int perFrame = division & 0xFF;
        const double ticksPerSecond = (fps == 29 ? 29.97 : fps) * std::max(1, perFrame);
        const double us = double(tick) * 1e6 / ticksPerSecond + 0.5;
        return us >= 9.2e18 ? std::numeric_limits<qint64>::max() : qint64(us);
    }
    if (tick < at_) {
        next_ = 0;
        at_ = 0;
        mpq_ = 500000;
        micros_ = 0;
    }
    const QList<MidiTempo>& tempos = song_.tempos;
    for (; next_ < tempos.size() && tempos[next_].tick < tick; ++next_) {
        const MidiTempo& t = tempos[next_];
        micros_ += Wide(t.tick - at_) * mpq_ / division;
        at_ = t.tick;
        mpq_ = t.microsPerQuarter;
    }
    return saturated(micros_ + Wide(tick - at_) * mpq_ / division);
}

qint64 MidiSong::lengthMs() const {
    const qint64 us = tickToMicros(endTick);
    return us / 1000 + (us % 1000 >= 500 ? 1 : 0);
}

bool parseMidiFile(const QByteArray& bytes, MidiSong* song, QString* error) {
    QString dummy;
    if (!error)
        error = &dummy;
    *song = MidiSong();
    QByteArray data = bytes;
    // A RIFF "RMID" file carries the standard file in its "data" chunk.
    if (data.startsWith("RIFF") && data.mid(8, 4) == "RMID") {
        qint64 off = 12;
        QByteArray inner;
        while (off + 8 <= data.size()) {
            const quint32 len = quint32(uchar(data[off + 4])) | quint32(uchar(data[off + 5])) << 8 |
                                quint32(uchar(data[off + 6])) << 16 |
                                quint32(uchar(data[off + 7])) << 24;
            if (data.mid(off, 4) == "data") {
                inner = data.mid(off + 8, len);
                break;
            }
            off += 8 + qint64(len) + (len & 1);
        }
        data = inner;
    }
    const auto* p = reinterpret_cast<const uchar*>(data.constData());
    const qint64 size = data.size();
    if (size < 14 || std::string_view(data.constData(), 4) != "MThd") {
        *error = tr("Ce fichier n'est pas un fichier MIDI.");
        return false;
    }
    const quint32 headerLen = be32(p + 4);
    if (headerLen < 6 || headerLen > size - 8) {
        *error = tr("En-tête MIDI endommagé.");
        return false;
    }
    song->format = p[8] << 8 | p[9];
    const int declared = p[10] << 8 | p[11];
    song->division = qint16(p[12] << 8 | p[13]);
    if (song->format > 2 || declared == 0 || song->division == 0 ||
        (song->division < 0 && (song->division & 0xFF) == 0)) {
        *error = tr("En-tête MIDI endommagé.");
        return false;
    }

    // Events of each track in file order; merged by tick afterwards.
    QList<QList<MidiEvent>> perTrack;
    qint64 off = 8 + headerLen;
    while (off + 8 <= size && perTrack.size() < declared) {
        const quint32 len = be32(p + off + 4);
        if (len > size - off - 8) {
            *error = tr("Piste MIDI tronquée.");
            return false;
        }
        if (std::string_view(data.constData() + off, 4) == "MTrk") {
            MidiSong part;
            TrackReader reader(p + off + 8, len);
            if (!reader.read(&part, error))
                return false;
            song->tempos += part.tempos;
            perTrack.append(part.events);
            song->endTick = std::max(song->endTick, reader.lastTick());
        }
        off += 8 + qint64(len);
    }
    if (perTrack.isEmpty()) {
        *error = tr("Le fichier MIDI ne contient aucune piste.");
        return false;
    }
    song->trackCount = int(perTrack.size());
    for (const auto& t : perTrack)
        song->events += t;
    std::stable_sort(song->events.begin(), song->events.end(),
                     [](const MidiEvent& a, const MidiEvent& b) { return a.tick < b.tick; });
    std::stable_sort(song->tempos.begin(), song->tempos.end(),
                     [](const MidiTempo& a, const MidiTempo& b) { return a.tick < b.tick; });
    if (song->tickToMicros(song->endTick) <= 0) {
        *error = tr("Le fichier MIDI ne contient aucune musique.");
        return false;
    }
    if (song->lengthMs() > kMaxMidiLengthMs) {
        *error = tr("Le fichier MIDI est trop long.");
        return false;
    }
    return true;
}

} // namespace lumenta::media
