#include "platform/audio.h"

#include "platform/audio_mixer.h"
#include "platform/log.h"
#include "platform/options.h"

#include <SDL.h>

namespace {

const AudioDriver* g_driver = nullptr;
FILE* g_recording = nullptr;

bool no_open(Window*) {
    return false;
}
bool no_open_readback(Window*, int, int) {
    return false;
}
void no_frame() {}
const uint8_t* no_mix() {
    return nullptr;
}

// --- the output driver: the mixer feeding the sound device from the device's audio thread ---

struct OutputState {
    SDL_AudioDeviceID device = 0;
    const uint8_t* fragment = nullptr; // the fragment being handed over
    int fragment_bytes = 0;
    int used = 0;
};
OutputState g_output;

// The device asks for bytes; whole fragments are mixed and handed over as far as they go.
void output_callback(void*, Uint8* stream, int length) {
    while (length > 0) {
        if (!g_output.fragment || g_output.used >= g_output.fragment_bytes) {
            g_output.fragment = mixer_mix();
            g_output.fragment_bytes = mixer_fragment_bytes();
            g_output.used = 0;
            if (!g_output.fragment || g_output.fragment_bytes <= 0) {
                SDL_memset(stream, 128, static_cast<size_t>(length));
                return;
            }
        }
        int n = g_output.fragment_bytes - g_output.used;
        if (n > length) n = length;
        SDL_memcpy(stream, g_output.fragment + g_output.used, static_cast<size_t>(n));
        g_output.used += n;
        stream += n;
        length -= n;
    }
}

bool output_open(Window*) {
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
        log_printf("No audio device\n");
        return false;
    }
    const char* device_name = SDL_GetCurrentAudioDriver();
    log_printf("Found a %s\n", device_name ? device_name : "sound device");
    int voices = static_cast<int>(option_number("sound-channels", 16));
    int rate = static_cast<int>(option_number("sound-rate", 22050));
    long mixahead = option_number("sound-mixahead", 125);
    if (rate < 1000 || rate > 192000) rate = 22050;
    int fragment = rate / 64;
    int fragments = audio_mixahead_fragments(mixahead);
    log_printf("Waveout rate: %d\n", rate);
    log_printf("Waveout channels: %d\n", voices);
    log_printf("Waveout mixahead: %d\n", fragments * 1000 / 64);

    // The device buffer holds about the mix-ahead; SDL wants a power of two.
    int buffer = 64;
    while (buffer * 2 <= fragment * fragments && buffer < 8192)
        buffer *= 2;
    SDL_AudioSpec want{};
    want.freq = rate;
    want.format = AUDIO_U8;
    want.channels = 2;
    want.samples = static_cast<Uint16>(buffer);
    want.callback = output_callback;
    SDL_AudioSpec have{};
    if (!mixer_open(MixerFormat{rate, true, voices, fragment})) {
        log_printf("Malloc failed\n");
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return false;
    }
    g_output = OutputState{};
    g_output.device = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
    if (g_output.device == 0) {
        log_printf("Can't open waveOut\n");
        log_printf("%s\n", SDL_GetError());
        mixer_close();
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return false;
    }
    SDL_PauseAudioDevice(g_output.device, 0);
    log_printf("Audio opened!\n");
    return true;
}

void output_close() {
    if (g_output.device == 0) {
        log_printf("Can't close audio, not open\n");
        return;
    }
    log_printf("Closing audio\n");
    SDL_CloseAudioDevice(g_output.device); // waits for the audio thread
    g_output = OutputState{};
    mixer_close();
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

// --- the readback driver: the mixer run on demand ---

bool readback_open(Window*, int rate, int samples) {
    log_printf("Opening readback audio...\n");
    int voices = static_cast<int>(option_number("sound-channels", 16));
    if (!mixer_open(MixerFormat{rate, true, voices, samples})) {
        log_printf("Malloc failed\n");
        return false;
    }
    log_printf("Audio opened!\n");
    return true;
}

void readback_close() {
    log_printf("Closing audio\n");
    mixer_close();
}

} // namespace

int audio_mixahead_fragments(long milliseconds) {
    long fragments = milliseconds * 64 / 1000;
    return static_cast<int>(fragments < 1 ? 1 : fragments > 32 ? 32 : fragments);
}

const AudioDriver g_output_audio_driver = {
    "output",         output_open,     no_open_readback,  output_close,   no_frame,    no_mix,
    mixer_create,     mixer_duplicate, mixer_destroy,     mixer_play,     mixer_stop,  mixer_set_rate,
    mixer_set_volume, mixer_set_pan,   mixer_set_looping, mixer_position, mixer_write,
};

const AudioDriver g_readback_audio_driver = {
    "readback",       no_open,         readback_open,     readback_close, no_frame,    mixer_mix,
    mixer_create,     mixer_duplicate, mixer_destroy,     mixer_play,     mixer_stop,  mixer_set_rate,
    mixer_set_volume, mixer_set_pan,   mixer_set_looping, mixer_position, mixer_write,
};

bool audio_open(Window* window) {
    if (g_driver) return true;
    if (option_flag("waveout", 1) && g_output_audio_driver.open(window)) {
        g_driver = &g_output_audio_driver;
        return true;
    }
    return false;
}

bool audio_open_readback(Window* window, int rate, int samples) {
    if (g_driver) audio_close();
    if (!g_readback_audio_driver.open_readback(window, rate, samples)) return false;
    g_driver = &g_readback_audio_driver;
    return true;
}

void audio_close() {
    if (!g_driver) return;
    g_driver->close();
    g_driver = nullptr;
    g_recording = nullptr;
}

bool audio_is_open() {
    return g_driver != nullptr;
}

void audio_frame() {
    if (g_driver) g_driver->frame();
}

const uint8_t* audio_mix() {
    return g_driver ? g_driver->mix() : nullptr;
}

int audio_fragment_bytes() {
    return g_driver ? mixer_fragment_bytes() : 0;
}

void audio_set_recording(FILE* file) {
    g_recording = file;
}

void audio_record_tick() {
    if (!g_recording || !g_driver) return;
    const uint8_t* fragment = g_driver->mix();
    if (!fragment) return;
    size_t bytes = static_cast<size_t>(mixer_fragment_bytes());
    if (fwrite(fragment, 1, bytes, g_recording) != bytes) {
        log_printf("Audio recording write failed; recording stopped\n");
        g_recording = nullptr;
    }
}

Sound* sound_create(int length, const uint8_t* data, int source_rate) {
    return g_driver ? g_driver->create(length, data, source_rate) : nullptr;
}
Sound* sound_duplicate(Sound* s) {
    return g_driver && s ? g_driver->duplicate(s) : nullptr;
}
void sound_destroy(Sound* s) {
    if (g_driver && s) g_driver->destroy(s);
}
void sound_play(Sound* s) {
    if (g_driver && s) g_driver->play(s);
}
void sound_stop(Sound* s) {
    if (g_driver && s) g_driver->stop(s);
}
void sound_set_rate(Sound* s, int rate) {
    if (g_driver && s) g_driver->set_rate(s, rate);
}
void sound_set_volume(Sound* s, int volume) {
    if (g_driver && s) g_driver->set_volume(s, volume);
}
void sound_set_pan(Sound* s, int pan) {
    if (g_driver && s) g_driver->set_pan(s, pan);
}
void sound_set_looping(Sound* s, int looping) {
    if (g_driver && s) g_driver->set_looping(s, looping);
}
int sound_position(Sound* s) {
    return g_driver && s ? g_driver->position(s) : 0;
}
void sound_write(Sound* s, int offset, const uint8_t* bytes, int length) {
    if (g_driver && s) g_driver->write(s, offset, bytes, length);
}
