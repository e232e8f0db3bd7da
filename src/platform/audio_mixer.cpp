#include "platform/audio_mixer.h"

#include <climits>
#include <cstring>
#include <mutex>
#include <vector>

// Sample data shared by an object and its duplicates; freed with the last of them.
struct SoundData {
    int references;
    int length;
    std::vector<uint8_t> bytes;
};

// One output side of an object: its level, the level still in use until the data crosses zero,
// its read position and its links in the list of its level.
struct SoundSide {
    int level;
    int level_in_use;
    int64_t position;
    uint32_t fraction; // 31 bits
    int waited;        // samples spent waiting for a zero crossing
    bool last_top;     // top bit of the byte last mixed
    bool restart;      // restart at the next zero crossing
    bool linked;
    Sound* previous;
    Sound* next;
};

struct Sound {
    SoundData* data;
    int base_rate;
    int rate;
    uint32_t step_whole;
    uint32_t step_fraction; // 31 bits
    int volume;
    int pan;
    bool looping;
    bool playing;
    bool finished;
    SoundSide side[2];
};

namespace {

constexpr uint32_t k_fraction_mask = 0x7FFFFFFFu;

struct SoundList {
    Sound* head;
    Sound* tail;
};

struct Mixer {
    bool open = false;
    MixerFormat format{};
    SoundList lists[2][k_mixer_levels]{};
    int16_t table[k_mixer_levels][256]{};
    std::vector<int32_t> sums;
    std::vector<uint8_t> output;
    std::vector<Sound*> sounds; // every live object, so closing frees them all
    std::recursive_mutex mutex;
};
Mixer g_mixer;

int sides() {
    return g_mixer.format.stereo ? 2 : 1;
}

void list_unlink(Sound* s, int side) {
    SoundSide& d = s->side[side];
    if (!d.linked) return;
    SoundList& list = g_mixer.lists[side][d.level];
    if (d.previous) {
        d.previous->side[side].next = d.next;
    } else {
        list.head = d.next;
    }
    if (d.next) {
        d.next->side[side].previous = d.previous;
    } else {
        list.tail = d.previous;
    }
    d.previous = d.next = nullptr;
    d.linked = false;
}

void list_link(Sound* s, int side) {
    SoundSide& d = s->side[side];
    if (d.linked) return;
    SoundList& list = g_mixer.lists[side][d.level];
    d.previous = list.tail;
    d.next = nullptr;
    if (list.tail) {
        list.tail->side[side].next = s;
    } else {
        list.head = s;
    }
    list.tail = s;
    d.linked = true;
}

void update_levels(Sound* s) {
    int left = 0, right = 0;
    mixer_levels(s->volume, s->pan, left, right);
    int wanted[2] = {left, right};
    for (int side = 0; side < sides(); ++side) {
        SoundSide& d = s->side[side];
        if (d.level == wanted[side]) continue;
        bool linked = d.linked;
        list_unlink(s, side);
        d.level = wanted[side];
        d.waited = 0;
        if (linked) list_link(s, side);
    }
}

void update_step(Sound* s) {
    uint64_t step = (static_cast<uint64_t>(s->rate) << 31) / static_cast<uint64_t>(s->base_rate);
    s->step_whole = static_cast<uint32_t>(step >> 31);
    s->step_fraction = static_cast<uint32_t>(step & k_fraction_mask);
}

void stop_sound(Sound* s) {
    for (int side = 0; side < 2; ++side) {
        list_unlink(s, side);
        s->side[side].restart = false;
        s->side[side].position = 0;
        s->side[side].fraction = 0;
    }
    s->playing = false;
}

// Moves a side on after one sample; false at the end of one-shot data.
inline bool advance(Sound* s, SoundSide& d, int64_t length) {
    uint32_t fraction = d.fraction + s->step_fraction;
    d.position += s->step_whole + (fraction >> 31);
    d.fraction = fraction & k_fraction_mask;
    if (d.position < length) return true;
    if (!s->looping) return false;
    d.position %= length;
    return true;
}

// Mixes one side into the sums (every `stride`-th entry).
void mix_side(Sound* s, SoundSide& d, int32_t* sums, int stride, int samples) {
    const uint8_t* bytes = s->data->bytes.data();
    int64_t length = s->data->length;
    for (int i = 0; i < samples; ++i) {
        uint8_t byte = bytes[d.position];
        bool top = (byte & 0x80) != 0;
        if (d.level_in_use != d.level || d.restart) {
            // Wait for the data to cross zero, but not forever: data that never crosses (silence,
            // a constant offset) would otherwise keep its old level for good.
            if (top != d.last_top || ++d.waited >= k_mixer_level_wait) {
                if (d.restart) {
                    d.restart = false;
                    d.position = 0;
                    d.fraction = 0;
                    byte = bytes[0];
                    top = (byte & 0x80) != 0;
                }
                d.level_in_use = d.level;
                d.waited = 0;
            }
        }
        d.last_top = top;
        sums[i * stride] += g_mixer.table[d.level_in_use][byte];
        if (!advance(s, d, length)) {
            s->finished = true;
            d.position = length - 1;
            return;
        }
    }
}

// Moves an inaudible side on as if it had been mixed.
void skip_side(Sound* s, SoundSide& d, int samples) {
    int64_t length = s->data->length;
    if (d.restart) {
        d.restart = false;
        d.position = 0;
        d.fraction = 0;
    }
    d.level_in_use = d.level;
    d.waited = 0;
    uint64_t fraction = d.fraction + static_cast<uint64_t>(s->step_fraction) * static_cast<uint64_t>(samples);
    d.position += static_cast<int64_t>(s->step_whole) * samples + static_cast<int64_t>(fraction >> 31);
    d.fraction = static_cast<uint32_t>(fraction & k_fraction_mask);
    if (d.position >= length) {
        if (s->looping) {
            d.position %= length;
        } else {
            s->finished = true;
            d.position = length - 1;
        }
    }
    d.last_top = (s->data->bytes[static_cast<size_t>(d.position)] & 0x80) != 0;
}

void release(Sound* s) {
    stop_sound(s);
    if (--s->data->references == 0) delete s->data;
    for (size_t i = 0; i < g_mixer.sounds.size(); ++i) {
        if (g_mixer.sounds[i] != s) continue;
        g_mixer.sounds[i] = g_mixer.sounds.back();
        g_mixer.sounds.pop_back();
        break;
    }
    delete s;
}

Sound* new_sound(SoundData* data) {
    Sound* s = new Sound{};
    s->data = data;
    s->base_rate = g_mixer.format.rate;
    s->rate = s->base_rate;
    s->volume = 32767;
    s->pan = g_mixer.format.stereo ? 0 : -32768;
    update_step(s);
    int left = 0, right = 0;
    mixer_levels(s->volume, s->pan, left, right);
    s->side[0].level = s->side[0].level_in_use = left;
    s->side[1].level = s->side[1].level_in_use = g_mixer.format.stereo ? right : 0;
    g_mixer.sounds.push_back(s);
    return s;
}

} // namespace

int mixer_table_value(int level, int byte) {
    return (byte - 128) * level / 32;
}

void mixer_levels(int volume, int pan, int& left, int& right) {
    auto clamp_level = [](int64_t v) { return static_cast<int>(v < 0 ? 0 : v > 31 ? 31 : v); };
    left = clamp_level((static_cast<int64_t>(32767) - pan) * volume / (int64_t{1} << 26));
    right = clamp_level(static_cast<int64_t>(volume) * (pan + 32768) / (int64_t{1} << 26));
}

int64_t mixer_resampled_length(int64_t length, int64_t source_rate, int64_t output_rate) {
    if (length <= 0 || source_rate <= 0 || output_rate <= 0) return 0;
    return length * output_rate / source_rate;
}

bool mixer_open(const MixerFormat& format) {
    mixer_close();
    std::lock_guard<std::recursive_mutex> lock(g_mixer.mutex);
    if (format.rate <= 0 || format.fragment_samples <= 0) return false;
    g_mixer.format = format;
    if (g_mixer.format.voices < 0) g_mixer.format.voices = 0;
    for (int level = 0; level < k_mixer_levels; ++level)
        for (int byte = 0; byte < 256; ++byte)
            g_mixer.table[level][byte] = static_cast<int16_t>(mixer_table_value(level, byte));
    size_t values = static_cast<size_t>(format.fragment_samples) * static_cast<size_t>(format.stereo ? 2 : 1);
    g_mixer.sums.assign(values, 0);
    g_mixer.output.assign(values, 128);
    for (auto& side : g_mixer.lists)
        for (SoundList& list : side)
            list = SoundList{};
    g_mixer.open = true;
    return true;
}

void mixer_close() {
    std::lock_guard<std::recursive_mutex> lock(g_mixer.mutex);
    while (!g_mixer.sounds.empty())
        release(g_mixer.sounds.back());
    g_mixer.sums.clear();
    g_mixer.output.clear();
    g_mixer.open = false;
}

bool mixer_is_open() {
    return g_mixer.open;
}
const MixerFormat& mixer_format() {
    return g_mixer.format;
}
int mixer_fragment_bytes() {
    return static_cast<int>(g_mixer.output.size());
}

const uint8_t* mixer_mix() {
    std::lock_guard<std::recursive_mutex> lock(g_mixer.mutex);
    if (!g_mixer.open) return nullptr;
    const int stride = sides();
    const int samples = g_mixer.format.fragment_samples;
    std::fill(g_mixer.sums.begin(), g_mixer.sums.end(), 0);
    int heard = 0;
    for (int level = k_mixer_levels - 1; level >= 0; --level) {
        Sound* a = g_mixer.lists[0][level].head;
        Sound* b = stride == 2 ? g_mixer.lists[1][level].head : nullptr;
        while (a || b) {
            for (int side = 0; side < stride; ++side) {
                Sound* s = side == 0 ? a : b;
                if (!s) continue;
                SoundSide& d = s->side[side];
                // A side fading to level 0 is still heard until its data crosses zero.
                if ((d.level >= 1 || d.level_in_use >= 1) && heard < g_mixer.format.voices) {
                    ++heard;
                    mix_side(s, d, g_mixer.sums.data() + side, stride, samples);
                } else {
                    skip_side(s, d, samples);
                }
                if (side == 0) {
                    a = d.next;
                } else {
                    b = d.next;
                }
            }
        }
    }
    // Finished one-shot objects leave the lists; playing one again starts it from the beginning.
    for (size_t i = 0; i < g_mixer.sounds.size(); ++i) {
        Sound* s = g_mixer.sounds[i];
        if (s->finished) {
            s->finished = false;
            stop_sound(s);
        }
    }
    for (size_t i = 0; i < g_mixer.sums.size(); ++i) {
        int32_t sum = g_mixer.sums[i];
        g_mixer.output[i] = sum < -127 ? 0 : sum > 126 ? 255 : static_cast<uint8_t>(sum + 128);
    }
    return g_mixer.output.data();
}

Sound* mixer_create(int length, const uint8_t* data, int source_rate) {
    std::lock_guard<std::recursive_mutex> lock(g_mixer.mutex);
    if (!g_mixer.open || length <= 0 || source_rate < 0) return nullptr;
    int64_t out_length = length;
    if (source_rate > 0) out_length = mixer_resampled_length(length, source_rate, g_mixer.format.rate);
    if (out_length <= 0 || out_length > INT_MAX) return nullptr;
    SoundData* shared = new SoundData{1, static_cast<int>(out_length), {}};
    shared->bytes.assign(static_cast<size_t>(out_length), 128);
    if (data) {
        if (source_rate > 0) {
            // Nearest earlier source sample for each output sample.
            for (int64_t i = 0; i < out_length; ++i)
                shared->bytes[static_cast<size_t>(i)] = data[i * source_rate / g_mixer.format.rate];
        } else {
            memcpy(shared->bytes.data(), data, static_cast<size_t>(length));
        }
    }
    return new_sound(shared);
}

Sound* mixer_duplicate(Sound* original) {
    std::lock_guard<std::recursive_mutex> lock(g_mixer.mutex);
    if (!original || !g_mixer.open) return nullptr;
    ++original->data->references;
    Sound* s = new_sound(original->data);
    s->rate = original->rate;
    s->looping = original->looping;
    s->volume = original->volume;
    s->pan = original->pan;
    update_step(s);
    update_levels(s);
    for (SoundSide& d : s->side)
        d.level_in_use = d.level;
    return s;
}

void mixer_destroy(Sound* s) {
    std::lock_guard<std::recursive_mutex> lock(g_mixer.mutex);
    if (s) release(s);
}

void mixer_play(Sound* s) {
    std::lock_guard<std::recursive_mutex> lock(g_mixer.mutex);
    if (!s) return;
    if (s->playing) {
        for (int side = 0; side < sides(); ++side) {
            s->side[side].restart = true;
            s->side[side].waited = 0;
        }
        return;
    }
    s->finished = false;
    for (int side = 0; side < sides(); ++side) {
        SoundSide& d = s->side[side];
        d.position = 0;
        d.fraction = 0;
        d.restart = false;
        d.waited = 0;
        d.level_in_use = d.level;
        d.last_top = (s->data->bytes[0] & 0x80) != 0;
        list_link(s, side);
    }
    s->playing = true;
}

void mixer_stop(Sound* s) {
    std::lock_guard<std::recursive_mutex> lock(g_mixer.mutex);
    if (s) stop_sound(s);
}

void mixer_set_rate(Sound* s, int rate) {
    std::lock_guard<std::recursive_mutex> lock(g_mixer.mutex);
    if (!s || rate <= 0) return;
    s->rate = rate;
    update_step(s);
}

void mixer_set_volume(Sound* s, int volume) {
    std::lock_guard<std::recursive_mutex> lock(g_mixer.mutex);
    if (!s) return;
    s->volume = volume < 0 ? 0 : volume > 32767 ? 32767 : volume;
    update_levels(s);
}

void mixer_set_pan(Sound* s, int pan) {
    std::lock_guard<std::recursive_mutex> lock(g_mixer.mutex);
    if (!s || !g_mixer.format.stereo) return;
    s->pan = pan < -32767 ? -32767 : pan > 32767 ? 32767 : pan;
    update_levels(s);
}

void mixer_set_looping(Sound* s, int looping) {
    std::lock_guard<std::recursive_mutex> lock(g_mixer.mutex);
    if (s) s->looping = looping != 0;
}

int mixer_position(Sound* s) {
    std::lock_guard<std::recursive_mutex> lock(g_mixer.mutex);
    if (!s || !s->playing) return 0;
    return static_cast<int>(s->side[0].position);
}

bool mixer_playing(Sound* s) {
    std::lock_guard<std::recursive_mutex> lock(g_mixer.mutex);
    return s && s->playing;
}

void mixer_write(Sound* s, int offset, const uint8_t* bytes, int length) {
    std::lock_guard<std::recursive_mutex> lock(g_mixer.mutex);
    if (!s || !bytes || length <= 0) return;
    int size = s->data->length;
    int64_t at = offset % size;
    if (at < 0) at += size;
    // More bytes than the object holds: only the last ones that fit survive the wrap.
    if (length > size) {
        at = (at + (length - size)) % size;
        bytes += length - size;
        length = size;
    }
    uint8_t* target = s->data->bytes.data();
    int first = static_cast<int>(size - at < length ? size - at : length);
    memcpy(target + at, bytes, static_cast<size_t>(first));
    if (length > first) memcpy(target, bytes + first, static_cast<size_t>(length - first));
}
