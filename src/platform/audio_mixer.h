#pragma once
// The software mixer: sound objects mixed into fragments of unsigned 8-bit samples, mono or
// stereo. Object levels are 0..31 per side; at most `voices` sides are heard per fragment, the
// loudest first. A level change (or a restart) waits for the object's data to cross zero, so it
// does not click, but never longer than k_mixer_level_wait output samples. Integer-only, with no
// allocation while mixing. Every operation holds the mixer mutex.
#include <cstdint>

struct Sound;

constexpr int k_mixer_levels = 32;
constexpr int k_mixer_level_wait = 256;

struct MixerFormat {
    int rate; // output samples per second
    bool stereo;
    int voices;           // sides heard at once
    int fragment_samples; // samples per mixed fragment
};

bool mixer_open(const MixerFormat& format);
// Destroys every object and frees the buffers.
void mixer_close();
bool mixer_is_open();
const MixerFormat& mixer_format();
// Mixes one fragment; the result holds fragment_samples x (1 or 2) bytes until the next mix.
const uint8_t* mixer_mix();
int mixer_fragment_bytes();

// The contribution of sample byte s at level l: trunc((s - 128) x l / 32).
int mixer_table_value(int level, int byte);
// The side levels for a volume and pan.
void mixer_levels(int volume, int pan, int& left, int& right);
// Samples after resampling `length` samples from `source_rate` to `output_rate` (64-bit).
int64_t mixer_resampled_length(int64_t length, int64_t source_rate, int64_t output_rate);

Sound* mixer_create(int length, const uint8_t* data, int source_rate);
Sound* mixer_duplicate(Sound* sound);
void mixer_destroy(Sound* sound);
void mixer_play(Sound* sound);
void mixer_stop(Sound* sound);
void mixer_set_rate(Sound* sound, int rate);
void mixer_set_volume(Sound* sound, int volume);
void mixer_set_pan(Sound* sound, int pan);
void mixer_set_looping(Sound* sound, int looping);
int mixer_position(Sound* sound);
void mixer_write(Sound* sound, int offset, const uint8_t* bytes, int length);
bool mixer_playing(Sound* sound);
