#include "media/audiooutput.h"

#include <QCoreApplication>

#include <SDL2/SDL.h>
#include <dlfcn.h>

#include <algorithm>
#include <cstring>
#include <mutex>

namespace lumenta::media {

namespace {

void quietSdlLog(void*, int, SDL_LogPriority, const char*) {}

// ALSA's error handler type takes a format and variable arguments.
void quietAlsaLog(const char*, int, const char*, int, const char*, ...) {}

QString tr(const char* text) {
    return QCoreApplication::translate("AudioOutput", text);
}

} // namespace

void quietAudioLibraries() {
    static std::once_flag once;
    std::call_once(once, [] {
        // SDL would otherwise catch SIGINT and SIGTERM once its audio starts
        // and turn them into SDL events that nobody reads, so the program
        // could no longer be ended. The program handles them itself.
        SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
        SDL_LogSetOutputFunction(quietSdlLog, nullptr);
        // SDL loads ALSA at run time; load the same library first and give it
        // a silent error handler. Nothing to do where ALSA is absent.
        if (void* alsa = dlopen("libasound.so.2", RTLD_NOW | RTLD_GLOBAL)) {
            using Handler = void (*)(const char*, int, const char*, int, const char*, ...);
            using SetHandler = int (*)(Handler);
            if (auto set = reinterpret_cast<SetHandler>(dlsym(alsa, "snd_lib_error_set_handler")))
                set(quietAlsaLog);
            // The library stays loaded for the life of the process.
        }
    });
}

std::shared_ptr<AudioOutput> AudioOutput::acquire(QString* error) {
    // The sound card is one resource of the whole process, so the output is
    // shared by all devices through this weak handle.
    static std::mutex mutex;
    static std::weak_ptr<AudioOutput> shared;
    std::lock_guard guard(mutex);
    if (auto existing = shared.lock())
        return existing;
    std::shared_ptr<AudioOutput> out(new AudioOutput);
    if (!out->start(error))
        return nullptr;
    shared = out;
    return out;
}

bool AudioOutput::start(QString* error) {
    quietAudioLibraries();
    SDL_AudioSpec want{};
    want.freq = kSampleRate;
    want.format = AUDIO_S16SYS;
    want.channels = kChannels;
    want.samples = 1024;
    want.callback = &AudioOutput::callback;
    want.userdata = this;
    SDL_AudioSpec have{};

    if (SDL_InitSubSystem(SDL_INIT_AUDIO) == 0) {
        initedSubsystem_ = true;
        device_ = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
        if (device_ == 0) {
            SDL_QuitSubSystem(SDL_INIT_AUDIO);
            initedSubsystem_ = false;
        }
    }
    if (device_ == 0) {
        // No usable sound device: the dummy driver keeps time without sound.
        if (SDL_AudioInit("dummy") == 0)
            device_ = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
        if (device_ == 0) {
            if (error)
                *error = tr("Aucune sortie audio disponible : %1")
                             .arg(QString::fromUtf8(SDL_GetError()));
            SDL_AudioQuit();
            return false;
        }
    }
    driver_ = QString::fromUtf8(SDL_GetCurrentAudioDriver());
    const size_t frames = std::max<int>(have.samples, 256);
    scratch_.assign(frames * kChannels, 0);
    accum_.assign(frames * kChannels, 0);
    SDL_PauseAudioDevice(device_, 0);
    return true;
}

AudioOutput::~AudioOutput() {
    if (device_ != 0)
        SDL_CloseAudioDevice(device_);
    if (initedSubsystem_)
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
    else if (device_ != 0)
        SDL_AudioQuit();
}

void AudioOutput::addSource(AudioSource* source) {
    lock();
    if (std::find(sources_.begin(), sources_.end(), source) == sources_.end())
        sources_.push_back(source);
    unlock();
}

void AudioOutput::removeSource(AudioSource* source) {
    lock();
    sources_.erase(std::remove(sources_.begin(), sources_.end(), source), sources_.end());
    unlock();
}

void AudioOutput::lock() {
    SDL_LockAudioDevice(device_);
}
void AudioOutput::unlock() {
    SDL_UnlockAudioDevice(device_);
}

void AudioOutput::callback(void* self, uint8_t* stream, int len) {
    static_cast<AudioOutput*>(self)->mix(reinterpret_cast<int16_t*>(stream),
                                         len / int(sizeof(int16_t) * kChannels));
}

void AudioOutput::mix(int16_t* out, int frames) {
    if (sources_.size() == 1) {
        const int n = std::clamp(sources_.front()->render(out, frames), 0, frames);
        std::memset(out + n * kChannels, 0, size_t(frames - n) * kChannels * sizeof(int16_t));
        return;
    }
    std::memset(out, 0, size_t(frames) * kChannels * sizeof(int16_t));
    if (sources_.empty())
        return;
    const int chunk = int(scratch_.size() / kChannels);
    for (int done = 0; done < frames; done += chunk) {
        const int count = std::min(chunk, frames - done);
        std::fill_n(accum_.begin(), count * kChannels, 0);
        for (AudioSource* s : sources_) {
            const int n = std::clamp(s->render(scratch_.data(), count), 0, count);
            for (int i = 0; i < n * kChannels; ++i)
                accum_[i] += scratch_[i];
        }
        for (int i = 0; i < count * kChannels; ++i)
            out[done * kChannels + i] = int16_t(std::clamp(accum_[i], -32768, 32767));
    }
}

} // namespace lumenta::media
