#include "media/sequencerdevice.h"

#include <QFile>
#include <QFileInfo>

#include <fluidsynth.h>

#include <algorithm>
#include <mutex>

namespace lumenta::media {

namespace {

void quietFluidSynth() {
    static std::once_flag once;
    std::call_once(once, [] {
        for (int level = FLUID_PANIC; level < LAST_LOG_LEVEL; ++level)
            fluid_set_log_function(level, nullptr, nullptr);
    });
}

} // namespace

QString defaultSoundFont() {
    const QString env = qEnvironmentVariable("LUMENTA_SOUNDFONT");
    if (!env.isEmpty())
        return env;
    return QStringLiteral("/usr/share/sounds/sf2/default-GM.sf2");
}

SequencerDevice::~SequencerDevice() {
    close();
}

bool SequencerDevice::openMedium(const QString& name, QString* error) {
    QFile file(name);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = tr("Impossible de lire le fichier %1.").arg(QFileInfo(name).fileName());
        return false;
    }
    if (!parseMidiFile(file.readAll(), &song_, error))
        return false;

    quietFluidSynth();
    settings_ = new_fluid_settings();
    fluid_settings_setnum(settings_, "synth.sample-rate", kSampleRate);
    fluid_settings_setint(settings_, "synth.audio-channels", 1);
    synth_ = new_fluid_synth(settings_);
    const QString font = defaultSoundFont();
    if (!synth_ ||
        fluid_synth_sfload(synth_, QFile::encodeName(font).constData(), 1) == FLUID_FAILED) {
        closeMedium();
        *error = tr("Banque de sons MIDI introuvable : %1").arg(font);
        return false;
    }

    timeline_.clear();
    timeline_.reserve(song_.events.size());
    TempoMap tempoMap(song_); // the events come in time order
    for (int i = 0; i < song_.events.size(); ++i) {
        const qint64 us = tempoMap.micros(song_.events[i].tick);
        timeline_.push_back(Timed{us * kSampleRate / 1000000, i});
    }
    endFrame_ = tempoMap.micros(song_.endTick) * kSampleRate / 1000000;
    tracks_.push_back(TrackInfo{0, endFrame_, true});
    next_ = 0;
    frame_ = 0;
    return true;
}

void SequencerDevice::closeMedium() {
    if (synth_)
        delete_fluid_synth(synth_);
    if (settings_)
        delete_fluid_settings(settings_);
    synth_ = nullptr;
    settings_ = nullptr;
    timeline_.clear();
    song_ = MidiSong();
}

void SequencerDevice::seekMedium(qint64 frame) {
    // Silence everything, then bring programs, controllers and bends to
    // what they are at the new place; notes start from there on.
    fluid_synth_system_reset(synth_);
    next_ = 0;
    while (next_ < timeline_.size() && timeline_[next_].frame < frame) {
        const MidiEvent& ev = song_.events[timeline_[next_].index];
        if (!ev.isNote())
            dispatch(ev);
        ++next_;
    }
    frame_ = frame;
}

void SequencerDevice::dispatch(const MidiEvent& ev) {
    const int ch = ev.status & 0x0F;
    switch (ev.status & 0xF0) {
    case 0x80:
        fluid_synth_noteoff(synth_, ch, ev.data1);
        break;
    case 0x90:
        if (ev.data2 == 0)
            fluid_synth_noteoff(synth_, ch, ev.data1);
        else
            fluid_synth_noteon(synth_, ch, ev.data1, ev.data2);
        break;
    case 0xA0:
        fluid_synth_key_pressure(synth_, ch, ev.data1, ev.data2);
        break;
    case 0xB0:
        fluid_synth_cc(synth_, ch, ev.data1, ev.data2);
        break;
    case 0xC0:
        fluid_synth_program_change(synth_, ch, ev.data1);
        break;
    case 0xD0:
        fluid_synth_channel_pressure(synth_, ch, ev.data1);
        break;
    case 0xE0:
        fluid_synth_pitch_bend(synth_, ch, ev.data1 | ev.data2 << 7);
        break;
    case 0xF0:
        if (!ev.sysex.isEmpty())
            fluid_synth_sysex(synth_, ev.sysex.constData(), int(ev.sysex.size()), nullptr, nullptr,
                              nullptr, 0);
        break;
    default:
        break;
    }
}

int SequencerDevice::renderMedium(int16_t* out, int frames) {
    int done = 0;
    while (done < frames) {
        while (next_ < timeline_.size() && timeline_[next_].frame <= frame_) {
            dispatch(song_.events[timeline_[next_].index]);
            ++next_;
        }
        qint64 chunk = frames - done;
        if (next_ < timeline_.size())
            chunk = std::min(chunk, timeline_[next_].frame - frame_);
        if (chunk <= 0)
            continue;
        int16_t* at = out + done * kChannels;
        fluid_synth_write_s16(synth_, int(chunk), at, 0, 2, at, 1, 2);
        done += int(chunk);
        frame_ += chunk;
    }
    return done;
}

} // namespace lumenta::media
