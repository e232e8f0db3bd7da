#include "render/texture.h"

#include "platform/input.h"
#include "platform/window.h"
#include "render/gl_caps.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <GL/gl.h>

#include <algorithm>
#include <cstring>

namespace {

// An image with level 0 filled by f(x, y, channel) and its chain built.
template <typename F> Image make_image(int w, int h, int channels, F f, bool max_alpha = false) {
    Image image;
    image.width = w;
    image.height = h;
    image.channels = channels;
    image.mipmapped = true;
    image.pixels.assign(mip_chain_bytes(w, h, channels), 0);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < channels; ++c)
                image.pixels[(size_t(y) * w + x) * channels + c] = static_cast<uint8_t>(f(x, y, c));
    build_mip_chain(image.pixels.data(), w, h, channels, max_alpha);
    return image;
}

uint8_t pattern(int x, int y, int c) { return static_cast<uint8_t>(x * 37 + y * 11 + c * 71); }

TEST(TextureSizes, PowerOfTwoRulesForFilesAndFrames) {
    struct Case {
        int w, h, file_w, file_h, frame_w, frame_h;
    } cases[] = {
        {100, 50, 64, 32, 64, 32}, // both rules round each side down
        {3, 2, 2, 1, 2, 2},        // a file side of 2 becomes 1 once the other is not a power of two
        {64, 32, 64, 32, 64, 32},  // powers of two stay
        {1, 5, 1, 4, 1, 4},
        {2, 6, 1, 4, 2, 4},
        {1, 1, 1, 1, 1, 1},
        {2, 2, 2, 2, 2, 2},
    };
    for (const Case& k : cases) {
        int w = 0, h = 0;
        texture_file_size(k.w, k.h, w, h);
        EXPECT_EQ(w, k.file_w) << k.w << "x" << k.h;
        EXPECT_EQ(h, k.file_h) << k.w << "x" << k.h;
        texture_frame_size(k.w, k.h, w, h);
        EXPECT_EQ(w, k.frame_w) << k.w << "x" << k.h;
        EXPECT_EQ(h, k.frame_h) << k.w << "x" << k.h;
    }
}

TEST(TextureSizes, ResamplingTakesNearestTexelsAndRebuildsTheChain) {
    Image image = make_image(3, 2, 3, pattern);
    ASSERT_TRUE(image_resample(image, 2, 1, false));
    ASSERT_EQ(image.width, 2);
    ASSERT_EQ(image.height, 1);
    ASSERT_EQ(image.pixels.size(), mip_chain_bytes(2, 1, 3));
    // Output x takes source x * 3 / 2: columns 0 and 1 of row 0.
    for (int c = 0; c < 3; ++c) {
        EXPECT_EQ(image.pixels[size_t(c)], pattern(0, 0, c));
        EXPECT_EQ(image.pixels[size_t(3 + c)], pattern(1, 0, c));
        EXPECT_EQ(image.pixels[size_t(6 + c)], (pattern(0, 0, c) + pattern(1, 0, c)) / 2) << "1 x 1 level";
    }
}

TEST(TextureSizes, DetailDropsWholeLevelsWithinTheirLimits) {
    struct Case {
        int w, h, levels;
        int64_t limit; // 0: the file rule
        int want_w, want_h;
    } cases[] = {
        {512, 256, 3, 0, 256, 128},     // files stop once a side reaches 128
        {1024, 1024, 2, 0, 256, 256},   // and drop no more than asked
        {128, 128, 4, 0, 128, 128},     // nothing above 128
        {512, 512, 0, 65536, 256, 256}, // frames drop to the texel limit
        {512, 128, 1, 1 << 30, 256, 64},
        {64, 64, 3, 1, 64, 64},         // 16384 texels or fewer are always kept
        {256, 256, 5, 1 << 30, 128, 128},
    };
    for (const Case& k : cases) {
        Image image = make_image(k.w, k.h, 3, pattern);
        Image original = image;
        int dropped = k.limit ? image_drop_levels_to_limit(image, k.levels, k.limit)
                              : image_drop_levels_for_detail(image, k.levels);
        ASSERT_EQ(image.width, k.want_w) << k.w << "x" << k.h;
        ASSERT_EQ(image.height, k.want_h) << k.w << "x" << k.h;
        ASSERT_EQ(image.pixels.size(), mip_chain_bytes(k.want_w, k.want_h, 3));
        // The kept part is the original chain from the first kept level on, byte for byte.
        size_t offset = 0;
        int w = k.w, h = k.h;
        for (int i = 0; i < dropped; ++i) {
            offset += size_t(w) * h * 3;
            w = std::max(1, w / 2);
            h = std::max(1, h / 2);
        }
        EXPECT_EQ(0, memcmp(image.pixels.data(), original.pixels.data() + offset, image.pixels.size() - 3));
    }
}

TEST(TextureSizes, BorderColourIsTheCommonestEdgeColour) {
    // Edges red except two blue texels; the interior is green and is not counted.
    Image image = make_image(6, 4, 3, [](int x, int y, int c) {
        bool edge = x == 0 || y == 0 || x == 5 || y == 3;
        if (!edge) return c == 1 ? 255 : 0;
        if ((x == 2 && y == 0) || (x == 5 && y == 2)) return c == 2 ? 255 : 0;
        return c == 0 ? 250 : 0; // quantised: 250 * 7 / 255 = 6
    });
    float colour[4];
    texture_border_colour(image, colour);
    EXPECT_FLOAT_EQ(colour[0], 6.0f / 7);
    EXPECT_FLOAT_EQ(colour[1], 0);
    EXPECT_FLOAT_EQ(colour[2], 0);
    EXPECT_FLOAT_EQ(colour[3], 0);
}

// A small offscreen window with a compatibility context.
struct TextureGl : ::testing::Test {
    TestHome home;
    std::string log_path = home.home / "log.txt";
    ScopedEnv log_env{"VORL_LOGFILE", log_path.c_str()};
    Window* window = nullptr;

    void SetUp() override {
        window = window_open_gl("texture test", 32, 32, 32, 0, 16, 0, 0);
        ASSERT_NE(window, nullptr);
        read_gl_capabilities();
        g_texture_memory = 0;
    }
    void TearDown() override {
        if (window) window_close_gl(window);
        input_reset();
        gl_caps_reset();
    }
    static std::vector<uint8_t> read_level(unsigned texture, int level, int channels, int& w, int& h) {
        glBindTexture(GL_TEXTURE_2D, texture);
        glGetTexLevelParameteriv(GL_TEXTURE_2D, level, GL_TEXTURE_WIDTH, &w);
        glGetTexLevelParameteriv(GL_TEXTURE_2D, level, GL_TEXTURE_HEIGHT, &h);
        std::vector<uint8_t> pixels(size_t(w) * h * channels + 16, 0xcd);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glGetTexImage(GL_TEXTURE_2D, level, channels == 4 ? GL_RGBA : GL_RGB, GL_UNSIGNED_BYTE, pixels.data());
        pixels.resize(size_t(w) * h * channels);
        return pixels;
    }
};

TEST_F(TextureGl, MipLevelsBuiltOnTheCpuMatchTheLevelsReadBack) {
    struct Case {
        int w, h, channels;
    } cases[] = {{8, 4, 4}, {16, 2, 3}, {1, 1, 3}};
    for (const Case& k : cases) {
        // Alpha varies so that the alpha-weighted reduction is what reaches the driver.
        Image image = make_image(k.w, k.h, k.channels,
                                 [](int x, int y, int c) { return c == 3 ? (x * 97 + y * 31) % 256 : pattern(x, y, c); });
        int64_t before = g_texture_memory;
        unsigned texture = create_texture(image, 0);
        ASSERT_NE(texture, 0u);
        int levels = mip_level_count(k.w, k.h);
        size_t offset = 0;
        int64_t bytes = 0;
        for (int level = 0; level < levels; ++level) {
            int w = 0, h = 0;
            std::vector<uint8_t> got = read_level(texture, level, k.channels, w, h);
            ASSERT_EQ(w, std::max(1, k.w >> level));
            ASSERT_EQ(h, std::max(1, k.h >> level));
            std::vector<uint8_t> want(image.pixels.begin() + std::ptrdiff_t(offset),
                                      image.pixels.begin() + std::ptrdiff_t(offset + got.size()));
            EXPECT_EQ(got, want) << k.w << "x" << k.h << " level " << level;
            offset += got.size();
            bytes += int64_t(got.size());
        }
        EXPECT_EQ(g_texture_memory - before, bytes) << "every uploaded level is counted";
        GLint min_filter = 0, wrap_s = 0, wrap_t = 0;
        glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &min_filter);
        glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, &wrap_s);
        glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, &wrap_t);
        EXPECT_EQ(min_filter, GL_LINEAR_MIPMAP_NEAREST);
        EXPECT_EQ(wrap_s, GL_CLAMP_TO_EDGE);
        EXPECT_EQ(wrap_t, GL_CLAMP_TO_EDGE);
        GLuint name = texture;
        glDeleteTextures(1, &name);
    }
}

TEST_F(TextureGl, FlagsSetWrappingAndASingleLevel) {
    Image image = make_image(4, 4, 3, pattern);
    struct Case {
        int flags;
        GLint wrap_s, wrap_t, min_filter;
        int64_t bytes;
    } cases[] = {
        {TextureRepeatH | TextureRepeatV, GL_REPEAT, GL_REPEAT, GL_LINEAR_MIPMAP_NEAREST, (16 + 4 + 1) * 3},
        {TextureRepeatH, GL_REPEAT, GL_CLAMP_TO_EDGE, GL_LINEAR_MIPMAP_NEAREST, (16 + 4 + 1) * 3},
        {TextureRepeatV | TextureSingleLevel, GL_CLAMP_TO_EDGE, GL_REPEAT, GL_LINEAR, 16 * 3},
    };
    for (const Case& k : cases) {
        int64_t before = g_texture_memory;
        unsigned texture = create_texture(image, k.flags);
        ASSERT_NE(texture, 0u);
        glBindTexture(GL_TEXTURE_2D, texture);
        GLint wrap_s = 0, wrap_t = 0, min_filter = 0;
        glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, &wrap_s);
        glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, &wrap_t);
        glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &min_filter);
        EXPECT_EQ(wrap_s, k.wrap_s) << k.flags;
        EXPECT_EQ(wrap_t, k.wrap_t) << k.flags;
        EXPECT_EQ(min_filter, k.min_filter) << k.flags;
        EXPECT_EQ(g_texture_memory - before, k.bytes) << k.flags;
        GLuint name = texture;
        glDeleteTextures(1, &name);
    }
    Image empty;
    EXPECT_EQ(create_texture(empty, 0), 0u) << "an image without pixels makes no texture";
}

TEST_F(TextureGl, ReplacingLevelsUploadsTheNewChain) {
    Image first = make_image(4, 2, 4, pattern);
    Image second = make_image(4, 2, 4, [](int x, int y, int c) { return 255 - pattern(x, y, c); });
    unsigned texture = create_texture(first, 0);
    ASSERT_NE(texture, 0u);
    int64_t memory = g_texture_memory;
    texture_replace_levels(texture, second);
    EXPECT_EQ(g_texture_memory, memory);
    size_t offset = 0;
    for (int level = 0; level < mip_level_count(4, 2); ++level) {
        int w = 0, h = 0;
        std::vector<uint8_t> got = read_level(texture, level, 4, w, h);
        EXPECT_EQ(0, memcmp(got.data(), second.pixels.data() + offset, got.size())) << "level " << level;
        offset += got.size();
    }
    GLuint name = texture;
    glDeleteTextures(1, &name);
}

} // namespace
