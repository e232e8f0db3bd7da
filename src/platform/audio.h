#pragma once
// Audio output: the game sees sound objects, blocks of unsigned 8-bit mono samples that play once
// or loop, re-pitched, panned, faded and rewritten while they play. A driver from a table of
// operations carries them out: the output driver (the software mixer feeding the sound device) or
// the readback driver (the same mixer run on demand, for recording the game's sound).
// With no driver open every call below does nothing and creation returns null.
#include <cstdint>
#include <cstdio>

struct Window;
struct Sound;

// The driver operations, in slot order. Every driver fills every slot; a slot a driver does not
// need succeeds without effect (open slots that do not apply fail).
struct AudioDriver {
    const char* name;
    bool (*open)(Window* window);                                              // 0
    bool (*open_readback)(Window* window, int rate, int samples);              // 1
    void (*close)();                                                           // 2
    void (*frame)();                                                           // 3
    const uint8_t* (*mix)();                                                   // 4
    Sound* (*create)(int length, const uint8_t* data, int source_rate);        // 5
    Sound* (*duplicate)(Sound* sound);                                         // 6
    void (*destroy)(Sound* sound);                                             // 7
    void (*play)(Sound* sound);                                                // 8
    void (*stop)(Sound* sound);                                                // 9
    void (*set_rate)(Sound* sound, int rate);                                  // 10
    void (*set_volume)(Sound* sound, int volume);                              // 11
    void (*set_pan)(Sound* sound, int pan);                                    // 12
    void (*set_looping)(Sound* sound, int looping);                            // 13
    int (*position)(Sound* sound);                                             // 14
    void (*write)(Sound* sound, int offset, const uint8_t* bytes, int length); // 15
};

extern const AudioDriver g_output_audio_driver;
extern const AudioDriver g_readback_audio_driver;

// Opens the sound device through the output driver (option "waveout", default on). False leaves
// audio off.
bool audio_open(Window* window);
// Opens the readback driver: stereo unsigned 8-bit at `rate`, `samples` per fragment.
bool audio_open_readback(Window* window, int rate, int samples);
void audio_close();
bool audio_is_open();
// The per-frame hook.
void audio_frame();
// Mixes one fragment (readback driver only): 2 x samples bytes, left then right; null otherwise.
const uint8_t* audio_mix();
int audio_fragment_bytes();
// Fragments the output driver keeps queued for a mix-ahead in milliseconds: 1 to 32.
int audio_mixahead_fragments(long milliseconds);

// The recording of --record-audio: after every world tick one fragment is mixed and appended.
void audio_set_recording(FILE* file);
void audio_record_tick();

Sound* sound_create(int length, const uint8_t* data, int source_rate); // rate 0: the output rate
Sound* sound_duplicate(Sound* sound);
void sound_destroy(Sound* sound);
void sound_play(Sound* sound);
void sound_stop(Sound* sound);
void sound_set_rate(Sound* sound, int rate);       // samples per second
void sound_set_volume(Sound* sound, int volume);   // 0..32767
void sound_set_pan(Sound* sound, int pan);         // -32767 (left)..32767 (right)
void sound_set_looping(Sound* sound, int looping); // 0 or 1
int sound_position(Sound* sound);                  // byte offset; 0 when not playing
void sound_write(Sound* sound, int offset, const uint8_t* bytes, int length);
