#pragma once
// "Sequencer": MIDI files played by FluidSynth into the shared output with
// the General MIDI soundfont. Times come from the file's own tempo map;
// playback is complete at the file's last tick (the synthesizer's release
// tail is not waited for, so looped music has no gap).
#include "media/mediadevice.h"
#include "media/midifile.h"

#include <vector>

typedef struct _fluid_hashtable_t fluid_settings_t;
typedef struct _fluid_synth_t fluid_synth_t;

namespace lumenta::media {

// Where the General MIDI soundfont is looked for.
QString defaultSoundFont();

class SequencerDevice final : public MediaDevice {
public:
    SequencerDevice() = default;
    ~SequencerDevice() override;

    QString typeName() const override { return QStringLiteral("Sequencer"); }
    const MidiSong& song() const { return song_; }

protected:
    bool openMedium(const QString& name, QString* error) override;
    void closeMedium() override;
    void seekMedium(qint64 frame) override;
    int renderMedium(int16_t* out, int frames) override;

private:
    struct Timed {
        qint64 frame;
        int index; // into song_.events
    };
    void dispatch(const MidiEvent& ev);

    MidiSong song_;
    std::vector<Timed> timeline_;
    size_t next_ = 0;
    qint64 frame_ = 0;
    fluid_settings_t* settings_ = nullptr;
    fluid_synth_t* synth_ = nullptr;
};

} // namespace lumenta::media
