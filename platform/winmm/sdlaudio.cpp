// The live sound device over SDL audio (the desktop backend).

#include "platform/winmm/audiodevice.h"

#include <SDL.h>
#include <dlfcn.h>

namespace {

// alsa-lib writes every error of its configuration search to stderr: a dozen
// lines on a machine without a sound card before SDL reports the one that
// matters. Its handler is process-wide, so it is installed through our own
// handle on the library, which is the same one SDL links or loads; the
// handle is kept open so the handler stays in place. The types follow
// alsa-lib's snd_lib_error_handler_t and snd_lib_error_set_handler.
using AlsaErrorHandler = void (*)(const char* file, int line, const char* function, int error, const char* format, ...);
using AlsaSetErrorHandler = int (*)(AlsaErrorHandler);

void ignoreAlsaError(const char*, int, const char*, int, const char*, ...) {}

void quietAlsa() {
    static const bool done = [] {
        void* library = dlopen("libasound.so.2", RTLD_NOW | RTLD_LOCAL);
        if (library == nullptr) {
            return false;
        }
        const auto set = reinterpret_cast<AlsaSetErrorHandler>(dlsym(library, "snd_lib_error_set_handler"));
        return set != nullptr && set(ignoreAlsaError) == 0;
    }();
    (void)done;
}

} // namespace

namespace platform::winmm::audio {

bool open(const WAVEFORMATEX& format, FillCallback fill, void* user, Opened& out) {
    quietAlsa();
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
        out.why = SDL_GetError();
        return false;
    }
    SDL_AudioSpec want{};
    want.freq = static_cast<int>(format.nSamplesPerSec);
    want.format = AUDIO_S16LSB;
    want.channels = static_cast<Uint8>(format.nChannels);
    want.samples = 1024;
    want.callback = fill;
    want.userdata = user;
    SDL_AudioSpec have{};
    const SDL_AudioDeviceID device = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
    if (device == 0) {
        out.why = SDL_GetError();
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return false;
    }
    out.id = device;
    // SDL 2 reports no latency of the device or the audio server behind it;
    // the estimate takes the device to hold one more buffer of SDL's size,
    // as a double-buffered device does.
    out.bufferBytes = have.size;
    out.heldBytes = have.size;
    SDL_PauseAudioDevice(device, 0);
    return true;
}

void lock(std::uint32_t id) {
    SDL_LockAudioDevice(id);
}

void unlock(std::uint32_t id) {
    SDL_UnlockAudioDevice(id);
}

void close(std::uint32_t id) {
    SDL_CloseAudioDevice(id);
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

} // namespace platform::winmm::audio
