#include "platform/audio.h"
#include "platform/audio_mixer.h"
#include "platform/options.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <vector>

namespace {

// The readback driver at a small fragment size, so each test reads a few bytes per fragment.
struct MixerTest : ::testing::Test {
    TestHome home;
    void open(int samples, const char* options = "") {
        ScopedEnv env("VORL_OPTIONS", options);
        options_reset();
        ASSERT_TRUE(audio_open_readback(nullptr, 8000, samples));
        options_reset();
    }
    ~MixerTest() override { audio_close(); }
    // One fragment as (left, right) pairs.
    std::vector<uint8_t> mix() {
        const uint8_t* bytes = audio_mix();
        return std::vector<uint8_t>(bytes, bytes + audio_fragment_bytes());
    }
    static Sound* make(std::vector<uint8_t> data, bool looping = false) {
        Sound* s = sound_create(static_cast<int>(data.size()), data.data(), 0);
        sound_set_looping(s, looping);
        return s;
    }
};

uint8_t heard(int byte, int level) {
    return static_cast<uint8_t>(128 + mixer_table_value(level, byte));
}

TEST(MixerTables, LevelsAndValues) {
    struct Case {
        int volume, pan, left, right;
    };
    const Case cases[] = {
        {32767, 0, 15, 15},     {32767, -32767, 31, 0}, {32767, 32767, 0, 31},
        {32767, -32768, 31, 0}, {0, 0, 0, 0},           {16384, -32767, 15, 0},
    };
    for (const Case& c : cases) {
        int left = -1, right = -1;
        mixer_levels(c.volume, c.pan, left, right);
        EXPECT_EQ(left, c.left) << c.volume << " " << c.pan;
        EXPECT_EQ(right, c.right) << c.volume << " " << c.pan;
    }
    EXPECT_EQ(mixer_table_value(31, 0), -124); // -128 * 31 / 32 = -124
    EXPECT_EQ(mixer_table_value(1, 127), 0);   // truncated toward zero
    EXPECT_EQ(mixer_table_value(1, 96), -1);
    EXPECT_EQ(mixer_table_value(31, 255), 123);
    // Long sounds at high rates do not overflow 32 bits.
    EXPECT_EQ(mixer_resampled_length(3000000, 8000, 88320), 33120000);
    EXPECT_EQ(audio_mixahead_fragments(0), 1);
    EXPECT_EQ(audio_mixahead_fragments(125), 8);
    EXPECT_EQ(audio_mixahead_fragments(10000), 32);
}

TEST_F(MixerTest, PanPlacesTheSound) {
    open(4);
    struct Case {
        int pan;
        uint8_t left, right;
    };
    const Case cases[] = {
        {-32767, heard(228, 31), 128},
        {0, heard(228, 15), heard(228, 15)},
        {32767, 128, heard(228, 31)},
    };
    for (const Case& c : cases) {
        Sound* s = make({228, 228, 228, 228, 228, 228, 228, 228});
        sound_set_pan(s, c.pan);
        sound_play(s);
        std::vector<uint8_t> out = mix();
        EXPECT_EQ(out,
                  (std::vector<uint8_t>{c.left, c.right, c.left, c.right, c.left, c.right, c.left, c.right}))
            << "pan " << c.pan;
        sound_destroy(s);
    }
}

TEST_F(MixerTest, VoiceLimitKeepsTheLoudestSide) {
    open(2, "[sound-channels:1]");
    Sound* quiet = make({228, 228, 228, 228}, true);
    Sound* loud = make({28, 28, 28, 28}, true);
    sound_set_pan(loud, -32767);
    sound_play(quiet);
    sound_play(loud);
    EXPECT_EQ(mix(), (std::vector<uint8_t>{heard(28, 31), 128, heard(28, 31), 128}));
    // The silent voices still move on: stopping the loud one lets the quiet one in mid-data.
    sound_stop(loud);
    EXPECT_EQ(mix(), (std::vector<uint8_t>{heard(228, 15), 128, heard(228, 15), 128}));
}

TEST_F(MixerTest, SumsClampToTheByteRange) {
    open(1);
    Sound* a = make({255, 0});
    Sound* b = make({255, 0});
    Sound* c = make({255, 0});
    for (Sound* s : {a, b, c}) {
        sound_set_pan(s, -32767);
        sound_play(s);
    }
    EXPECT_EQ(mix(), (std::vector<uint8_t>{255, 128}));
    EXPECT_EQ(mix(), (std::vector<uint8_t>{0, 128}));
}

TEST_F(MixerTest, LevelChangeWaitsForZeroCrossing) {
    open(2);
    Sound* s = make({200, 200, 200, 200, 56, 56, 56, 56}, true);
    sound_play(s);
    EXPECT_EQ(mix(), (std::vector<uint8_t>{heard(200, 15), heard(200, 15), heard(200, 15), heard(200, 15)}));
    sound_set_volume(s, 0);
    // Still above zero: the old level holds, then the crossing silences it.
    EXPECT_EQ(mix(), (std::vector<uint8_t>{heard(200, 15), heard(200, 15), heard(200, 15), heard(200, 15)}));
    EXPECT_EQ(mix(), (std::vector<uint8_t>{128, 128, 128, 128}));
}

TEST_F(MixerTest, LevelChangeWithoutZeroCrossingIsBounded) {
    open(16);
    Sound* s = make({200, 201, 202, 203}, true);
    sound_play(s);
    mix();
    sound_set_volume(s, 0);
    int samples = 0;
    bool silent = false;
    while (!silent && samples < 4 * k_mixer_level_wait) {
        std::vector<uint8_t> out = mix();
        samples += 16;
        ASSERT_EQ(out.size(), 32u);
        silent = out[30] == 128 && out[31] == 128;
    }
    EXPECT_TRUE(silent);
    EXPECT_LE(samples, k_mixer_level_wait + 16);
}

TEST_F(MixerTest, OneShotEndsAndRestarts) {
    open(4);
    Sound* s = make({28, 48, 68});
    sound_set_pan(s, -32767);
    sound_play(s);
    EXPECT_EQ(sound_position(s), 0);
    EXPECT_EQ(mix(),
              (std::vector<uint8_t>{heard(28, 31), 128, heard(48, 31), 128, heard(68, 31), 128, 128, 128}));
    EXPECT_FALSE(mixer_playing(s));
    EXPECT_EQ(sound_position(s), 0);
    EXPECT_EQ(mix(), (std::vector<uint8_t>(8, 128)));
    sound_play(s);
    EXPECT_EQ(mix()[0], heard(28, 31));
}

TEST_F(MixerTest, LoopingWrapsAndPositionAdvances) {
    open(4);
    Sound* s = make({28, 48, 68}, true);
    sound_set_pan(s, -32767);
    sound_play(s);
    std::vector<uint8_t> out = mix();
    EXPECT_EQ(out[6], heard(28, 31));
    EXPECT_EQ(sound_position(s), 1);
    // Half rate: every byte twice.
    sound_set_rate(s, 4000);
    out = mix();
    EXPECT_EQ(out[0], heard(48, 31));
    EXPECT_EQ(out[2], heard(48, 31));
    EXPECT_EQ(out[4], heard(68, 31));
}

TEST_F(MixerTest, WritesWrapAndKeepTheLastBytes) {
    open(4);
    struct Case {
        int offset;
        std::vector<uint8_t> bytes;
        std::vector<uint8_t> result;
    };
    const Case cases[] = {
        {1, {10, 20}, {128, 10, 20, 128}},
        {3, {10, 20}, {20, 128, 128, 10}},
        {1, {1, 2, 3, 4, 5, 6}, {4, 5, 6, 3}},
        {-1, {9}, {128, 128, 128, 9}},
    };
    for (const Case& c : cases) {
        Sound* s = make({128, 128, 128, 128});
        sound_set_pan(s, -32767);
        sound_write(s, c.offset, c.bytes.data(), static_cast<int>(c.bytes.size()));
        sound_play(s);
        std::vector<uint8_t> out = mix();
        for (size_t i = 0; i < 4; ++i)
            EXPECT_EQ(out[i * 2], heard(c.result[i], 31)) << c.offset << " " << i;
        sound_destroy(s);
    }
}

TEST_F(MixerTest, ResamplesAndSharesData) {
    open(8);
    const uint8_t data[] = {28, 228, 78, 178};
    Sound* s = sound_create(4, data, 4000); // half the output rate: each sample twice
    ASSERT_NE(s, nullptr);
    sound_set_pan(s, -32767);
    Sound* twin = sound_duplicate(s);
    const uint8_t patch[] = {128};
    sound_write(twin, 0, patch, 1); // the duplicate shares the bytes
    sound_destroy(twin);
    sound_play(s);
    std::vector<uint8_t> out = mix();
    const uint8_t expected[] = {128, 28, 228, 228, 78, 78, 178, 178};
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(out[static_cast<size_t>(i) * 2], heard(expected[i], 31)) << i;
    EXPECT_EQ(sound_create(0, data, 0), nullptr);
    EXPECT_EQ(sound_create(1, data, 1000000), nullptr); // shorter than one output sample
}

TEST(AudioOutput, MixesOnTheDeviceThread) {
    TestHome home;
    ScopedEnv driver("SDL_AUDIODRIVER", "dummy");
    ScopedEnv options("VORL_OPTIONS", "[sound-rate:8000]");
    ASSERT_TRUE(audio_open(nullptr));
    EXPECT_TRUE(audio_is_open());
    EXPECT_EQ(audio_mix(), nullptr); // the device pulls its own fragments
    std::vector<uint8_t> data(100000, 200);
    Sound* s = sound_create(static_cast<int>(data.size()), data.data(), 0);
    ASSERT_NE(s, nullptr);
    sound_play(s);
    // The device's thread moves the sound on while this thread keeps changing it.
    int position = 0;
    for (int i = 0; i < 100 && position == 0; ++i) {
        sound_set_volume(s, (i * 997) % 32768);
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        position = sound_position(s);
    }
    EXPECT_GT(position, 0);
    audio_close();
    EXPECT_FALSE(audio_is_open());
}

TEST(AudioRecording, OneFragmentPerTick) {
    TestHome home;
    ASSERT_TRUE(audio_open_readback(nullptr, 88320, 690));
    std::string path = home.home / "sound.raw";
    FILE* file = fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    audio_set_recording(file);
    for (int tick = 0; tick < 3; ++tick) audio_record_tick();
    audio_close();
    audio_record_tick(); // closing ends the recording
    fclose(file);
    EXPECT_EQ(read_file(path), std::string(3 * 1380, '\x80'));
}

TEST_F(MixerTest, NothingHappensWithoutADriver) {
    audio_close();
    EXPECT_FALSE(audio_is_open());
    const uint8_t data[] = {1, 2};
    EXPECT_EQ(sound_create(2, data, 0), nullptr);
    EXPECT_EQ(audio_mix(), nullptr);
    sound_play(nullptr);
    audio_record_tick();
}

} // namespace
