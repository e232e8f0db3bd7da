#include "render/texture_manager.h"

#include "core/command_line.h"
#include "core/messages.h"
#include "platform/input.h"
#include "platform/window.h"
#include "render/gl_caps.h"
#include "render/texture.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <GL/gl.h>

#include <algorithm>
#include <array>
#include <cstring>

namespace {

std::string ppm(int w, int h, int r, int g, int b) {
    std::string s = "P6\n" + std::to_string(w) + " " + std::to_string(h) + "\n255\n";
    for (int i = 0; i < w * h; ++i) {
        s += static_cast<char>(r);
        s += static_cast<char>(g);
        s += static_cast<char>(b);
    }
    return s;
}

// A one-pixel J7 image: the first pixel is predicted as 0, so its differences are its values.
std::string j7_pixel(int r, int g, int b, int a) {
    return std::string("J7 1 1\n") + char(r) + char(g) + char(b) + char(a);
}

bool message_shown(const char* part) {
    for (int i = 0; i < k_message_ring_size; ++i) {
        const char* line = message_line(i);
        if (!line[0]) return false;
        if (strstr(line, part)) return true;
    }
    return false;
}

struct TextureManager : ::testing::Test {
    TestHome home;
    std::string log_path = home.home / "log.txt";
    ScopedEnv log_env{"VORL_LOGFILE", log_path.c_str()};
    Window* window = nullptr;

    void SetUp() override {
        texture_manager_reset();
        messages_clear();
        window = window_open_gl("texture manager test", 32, 32, 32, 0, 16, 0, 0);
        ASSERT_NE(window, nullptr);
        read_gl_capabilities();
    }
    void TearDown() override {
        if (window) {
            purge_textures(true);
            window_close_gl(window);
        }
        texture_manager_reset();
        input_reset();
        gl_caps_reset();
        g_launch.texture_skip = 0;
        g_launch.debug = 0;
        messages_clear();
    }
    void data(const std::string& name, const std::string& bytes) const { write_file(home.data_root() + name, bytes); }
    static GLint parameter(unsigned texture, GLenum name) {
        GLint value = 0;
        glBindTexture(GL_TEXTURE_2D, texture);
        glGetTexParameteriv(GL_TEXTURE_2D, name, &value);
        return value;
    }
    static int width_of(unsigned texture) {
        GLint w = 0;
        glBindTexture(GL_TEXTURE_2D, texture);
        glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &w);
        return w;
    }
    // The first texel of level 0 as RGBA.
    static std::array<int, 4> texel(unsigned texture) {
        GLint w = 0, h = 0;
        glBindTexture(GL_TEXTURE_2D, texture);
        glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &w);
        glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &h);
        std::vector<uint8_t> pixels(size_t(w) * h * 4);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
        return {pixels[0], pixels[1], pixels[2], pixels[3]};
    }
};

TEST_F(TextureManager, NamesShareOneTextureWhateverTheirCaseOrPrefix) {
    data("a.ppm", ppm(2, 2, 10, 20, 30));
    unsigned first = load_texture("@a.ppm");
    ASSERT_NE(first, 0u);
    EXPECT_EQ(load_texture("@a.ppm"), first);
    EXPECT_EQ(load_texture("!@a.ppm"), first);
    EXPECT_FALSE(message_shown("case mismatch"));
    EXPECT_EQ(load_texture("@A.PPM"), first);
    EXPECT_TRUE(message_shown("Warning: case mismatch on '@A.PPM'"));
    EXPECT_EQ(texture_record_count(), 1);
    EXPECT_STREQ(texture_name_of(first), "@a.ppm");
    EXPECT_EQ(load_texture("@missing.png"), 0u);
    EXPECT_EQ(texture_record_count(), 1);
}

TEST_F(TextureManager, FullDetailPrefixKeepsEveryLevel) {
    g_launch.texture_skip = 2;
    data("big.ppm", ppm(256, 256, 1, 2, 3));
    data("big2.ppm", ppm(256, 256, 1, 2, 3));
    unsigned reduced = load_texture("@big.ppm");
    unsigned full = load_texture("!@big2.ppm");
    EXPECT_EQ(width_of(reduced), 128) << "levels are dropped only while both sides exceed 128";
    EXPECT_EQ(width_of(full), 256);
    EXPECT_STREQ(texture_name_of(full), "@big2.ppm");
    EXPECT_EQ(load_texture("@big2.ppm"), full);
}

TEST_F(TextureManager, NameSuffixesChooseWrapping) {
    struct Case {
        const char* name;
        GLint s, t;
    } cases[] = {
        {"@w-repeat.ppm", GL_REPEAT, GL_REPEAT},
        {"@w-hrepeat.ppm", GL_REPEAT, GL_CLAMP_TO_EDGE},
        {"@w-vrepeat.ppm", GL_CLAMP_TO_EDGE, GL_REPEAT},
        {"@w.ppm", GL_CLAMP_TO_EDGE, GL_CLAMP_TO_EDGE},
        {"@w-repeated.ppm", GL_CLAMP_TO_EDGE, GL_CLAMP_TO_EDGE},
    };
    for (const Case& k : cases) {
        data(k.name + 1, ppm(2, 2, 0, 0, 0));
        unsigned texture = load_texture(k.name);
        ASSERT_NE(texture, 0u) << k.name;
        EXPECT_EQ(parameter(texture, GL_TEXTURE_WRAP_S), k.s) << k.name;
        EXPECT_EQ(parameter(texture, GL_TEXTURE_WRAP_T), k.t) << k.name;
    }
}

TEST_F(TextureManager, TheFirstWordChoosesTheReader) {
    std::string png_path = home.data_root() + "real.dat";
    const uint8_t rgb[3] = {90, 80, 70};
    ASSERT_TRUE(write_png_rgb(png_path.c_str(), rgb, 1, 1));
    struct Case {
        const char* name;
        std::string content; // empty: the PNG above
        bool loads;
        std::array<int, 4> texel;
    } cases[] = {
        {"ppm.png", ppm(1, 1, 200, 100, 50), true, {200, 100, 50, 255}},
        {"plain.ppm", "P3 1 1 255 1 2 3", true, {1, 2, 3, 255}},
        {"rgba.j7", j7_pixel(10, 20, 30, 40), true, {10, 20, 30, 40}},
        {"rgb.j6", "J6 1 1\n" + std::string{char(7), char(8), char(9)}, true, {7, 8, 9, 255}},
        {"real.dat", "", true, {90, 80, 70, 255}},
        {"short.ppm", "P6 4 4 255\nabc", false, {}}, // too few pixels, and not a PNG either
        {"zero.ppm", "P6 1 1 0\nabc", false, {}},    // a maximum of 0 is refused
        {"text.png", "hello", false, {}},
        {"grey.pgm", "P5 1 1 255\nx", false, {}}, // grey images are not textures
    };
    for (const Case& k : cases) {
        if (!k.content.empty()) data(k.name, k.content);
        unsigned texture = load_texture(("@" + std::string(k.name)).c_str());
        EXPECT_EQ(texture != 0, k.loads) << k.name;
        if (texture && k.loads) {
            EXPECT_EQ(texel(texture), k.texel) << k.name;
        }
    }
    // Files that are there but unusable say why in the log, from the reader their first word chose.
    std::string log = read_file(log_path);
    EXPECT_NE(log.find("Can't read texture '@zero.ppm': bad maximum value 0"), std::string::npos) << log;
    EXPECT_NE(log.find("Can't read texture '@text.png'"), std::string::npos) << log;
}

TEST_F(TextureManager, NonPowerOfTwoFilesAreResizedWithAWarning) {
    data("odd.ppm", ppm(100, 50, 5, 5, 5));
    unsigned texture = load_texture("@odd.ppm");
    ASSERT_NE(texture, 0u);
    EXPECT_EQ(width_of(texture), 64);
    EXPECT_TRUE(message_shown("Warning: Non power of 2 texture '@odd.ppm'"));
}

TEST_F(TextureManager, PurgeFreesExactlyTheTexturesOfOldGenerations) {
    for (const char* name : {"perm.ppm", "a.ppm", "b.ppm", "c.ppm"}) data(name, ppm(2, 2, 1, 1, 1));
    unsigned perm = load_texture("@perm.ppm"); // before the first track: permanent
    texture_generation_advance();
    unsigned a = load_texture("@a.ppm");
    unsigned b = load_texture("@b.ppm");
    purge_textures(false);
    EXPECT_EQ(texture_record_count(), 3);

    // The next track uses b again and c for the first time; a is left behind.
    texture_generation_advance();
    g_texture_memory = 0; // the track loader's reset
    EXPECT_EQ(load_texture("@b.ppm"), b);
    EXPECT_EQ(g_texture_memory, (4 + 1) * 3) << "a re-used texture is counted again";
    unsigned c = load_texture("@c.ppm");
    purge_textures(false);
    EXPECT_FALSE(glIsTexture(a));
    EXPECT_EQ(texture_name_of(a), nullptr);
    for (unsigned kept : {perm, b, c}) {
        EXPECT_TRUE(glIsTexture(kept));
        EXPECT_NE(texture_name_of(kept), nullptr);
    }
    EXPECT_EQ(texture_record_count(), 3);

    texture_generation_advance();
    purge_textures(false);
    EXPECT_EQ(texture_record_count(), 1);
    EXPECT_STREQ(texture_name_of(perm), "@perm.ppm");
    purge_textures(true);
    EXPECT_EQ(texture_record_count(), 0);
    EXPECT_FALSE(glIsTexture(perm));
}

TEST_F(TextureManager, LinksReachTheirTargetAndCyclesAreRefused) {
    data("target.ppm", ppm(1, 1, 50, 60, 70));
    data("to-target.lnk", "LINK\n  @target.ppm  \n");
    data("to-link.lnk", "LINK @to-target.lnk");
    data("x.lnk", "LINK @y.lnk");
    data("y.lnk", "LINK @x.lnk");
    data("self.lnk", "LINK @SELF.lnk");
    data("broken.lnk", "LINK @nothing.png");

    unsigned target = load_texture("@to-link.lnk");
    ASSERT_NE(target, 0u);
    EXPECT_EQ(load_texture("@target.ppm"), target);
    EXPECT_EQ(load_texture("@to-target.lnk"), target);
    EXPECT_STREQ(texture_name_of(target), "@target.ppm");
    EXPECT_EQ(texture_record_count(), 1) << "link files make no records of their own";

    for (const char* name : {"@x.lnk", "@y.lnk", "@self.lnk"}) {
        messages_clear();
        EXPECT_EQ(load_texture(name), 0u) << name;
        EXPECT_TRUE(message_shown("Link cycle through texture")) << name;
        messages_clear();
        EXPECT_EQ(load_texture(name), 0u) << name << " is refused every time";
        EXPECT_TRUE(message_shown("Link cycle through texture")) << name;
    }
    EXPECT_EQ(load_texture("@broken.lnk"), 0u);
    EXPECT_EQ(load_texture("@broken.lnk"), 0u) << "a link to a missing file stays unresolved";
}

// Three one-pixel images (red, green, blue) and a frame table of `frames`.
std::string animation(const std::string& header, const std::string& frames, int images = 3) {
    std::string s = "ANIM1 " + header + "\n" + frames + "\n";
    const int colours[3][3] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}};
    for (int i = 0; i < images; ++i) s += j7_pixel(colours[i][0], colours[i][1], colours[i][2], 255);
    return s;
}

TEST_F(TextureManager, AnimationFrameFollowsTheClock) {
    data("once.seq", animation("3 3 100 0", "0 1 2"));
    data("loop.seq", animation("4 3 10 1", "2 1 0 1"));
    unsigned once = load_texture("@once.seq");
    unsigned loop = load_texture("@loop.seq");
    ASSERT_NE(once, 0u);
    ASSERT_NE(loop, 0u);
    EXPECT_EQ(animation_count(), 2);
    EXPECT_EQ(animation_shown_image(loop), 2);

    struct Step {
        int64_t now;
        int once_image, loop_image;
    } steps[] = {{0, 0, 2},   {99, 0, 1},  {100, 1, 0},       {199, 1, 1},  {200, 2, 2},
                 {15, 0, 1},  {35, 0, 1},  {1000000, 2, 2},   {-50, 0, 2}};
    for (const Step& step : steps) {
        update_animations(step.now);
        EXPECT_EQ(animation_shown_image(once), step.once_image) << "t=" << step.now;
        EXPECT_EQ(animation_shown_image(loop), step.loop_image) << "t=" << step.now;
    }
    // The texture itself shows the image.
    update_animations(150);
    EXPECT_EQ(texel(once), (std::array<int, 4>{0, 255, 0, 255}));

    pause_animation(once);
    update_animations(250);
    EXPECT_EQ(animation_shown_image(once), 1) << "paused";
    restart_animation(once, 1000);
    update_animations(1099);
    EXPECT_EQ(animation_shown_image(once), 0) << "restarted at 1000";
    update_animations(1100);
    EXPECT_EQ(animation_shown_image(once), 1);

    texture_generation_advance();
    purge_textures(false);
    EXPECT_EQ(animation_count(), 2) << "textures made before the first track are permanent";
}

TEST_F(TextureManager, BadAnimationsAreRefusedWithAMessage) {
    std::string png_path = home.data_root() + "rgb.png";
    const uint8_t rgb[3] = {1, 2, 3};
    ASSERT_TRUE(write_png_rgb(png_path.c_str(), rgb, 1, 1));
    struct Case {
        const char* name;
        std::string content;
        const char* message; // null: refused without a message
    } cases[] = {
        {"period0.seq", animation("3 3 0 1", "0 1 2"), "Bad frame period 0"},
        {"negative.seq", animation("3 3 -5 1", "0 1 2"), "Bad frame period -5"},
        {"beyond.seq", animation("3 3 10 1", "0 3 2"), "shows image 3 of 3"},
        {"below.seq", animation("3 3 10 1", "0 -1 2"), "shows image -1 of 3"},
        {"noframes.seq", animation("0 3 10 1", ""), nullptr},
        {"short.seq", "ANIM1 3 1 10 1\n0 0", nullptr},
        {"word.seq", "ANIM1 1 1 10 0\n0\nGIF x", "Error reading .seq frame 0"},
        {"eof.seq", animation("1 4 10 0", "0"), "EOF while reading .seq"},
        {"png.seq", "ANIM1 1 1 10 0\n0\nPNG  @nothing.png  \n", "Can't read @nothing.png"},
        {"size.seq", "ANIM1 1 2 10 0\n0\n" + j7_pixel(1, 1, 1, 1) + "J7 2 1\n" + std::string(8, '\0'),
         "Width/height mismatch reading .seq"},
        {"depth.seq", "ANIM1 2 2 10 0\n0 1\n" + j7_pixel(1, 1, 1, 1) + "PNG @rgb.png\n", "Depth mismatch reading .seq"},
    };
    for (const Case& k : cases) {
        messages_clear();
        data(k.name, k.content);
        EXPECT_EQ(load_texture(("@" + std::string(k.name)).c_str()), 0u) << k.name;
        if (k.message) {
            EXPECT_TRUE(message_shown(k.message)) << k.name << ": " << message_line(0);
        } else {
            EXPECT_STREQ(message_line(0), "") << k.name;
        }
    }
    EXPECT_EQ(animation_count(), 0);
    EXPECT_EQ(texture_record_count(), 0);
    // A PNG frame between J7 frames of the same size and depth is accepted.
    const uint8_t rgba_png[3] = {4, 5, 6};
    ASSERT_TRUE(write_png_rgb((home.data_root() + "frame.png").c_str(), rgba_png, 1, 1));
    data("mixed.seq", "ANIM1 2 2 10 0\n1 0\nPNG @frame.png\nPNG @rgb.png\n");
    unsigned mixed = load_texture("@mixed.seq");
    ASSERT_NE(mixed, 0u);
    EXPECT_EQ(texel(mixed), (std::array<int, 4>{1, 2, 3, 255}));
}

TEST_F(TextureManager, InMemoryImagesAreSharedRgba) {
    data("pic.j6", "J6 1 1\n" + std::string{char(10), char(20), char(30)});
    const Image* image = load_image("@pic.j6");
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->channels, 4);
    EXPECT_EQ(image->pixels[0], 10);
    EXPECT_EQ(image->pixels[3], 255) << "an image without alpha is opaque";
    EXPECT_EQ(load_image("@pic.j6"), image);
    EXPECT_STREQ(image_name_of(image->pixels.data()), "@pic.j6");
    EXPECT_EQ(load_image("@none.png"), nullptr);
    EXPECT_EQ(image_record_count(), 1);
    texture_generation_advance();
    texture_generation_advance();
    purge_textures(false);
    EXPECT_EQ(image_record_count(), 1) << "made before the first track";
}

TEST_F(TextureManager, CompanionsAreFoundBesideTheTextureOrTheModel) {
    for (const char* name : {"statue.png", "statue_norm.png", "wall-repeat.png", "wall_spec-repeat.png", "m_spec.png"})
        data(name, ppm(1, 1, 0, 0, 0));
    unsigned normal = 1, specular = 1;
    find_companion_textures("@statue.png", "@m.jm", normal, specular);
    EXPECT_EQ(normal, 0u) << "without shader programs nothing is looked up";
    EXPECT_EQ(specular, 0u);

    g_render_choices.shaders_active = true;
    find_companion_textures("@statue.png", "@m.jm", normal, specular);
    EXPECT_STREQ(texture_name_of(normal), "@statue_norm.png");
    EXPECT_STREQ(texture_name_of(specular), "@m_spec.png");
    find_companion_textures("@wall-repeat.png", "@other.jm", normal, specular);
    EXPECT_EQ(normal, 0u);
    EXPECT_STREQ(texture_name_of(specular), "@wall_spec-repeat.png");
}

TEST(TextureVariants, ListsPngFilesByPrefix) {
    TestHome home;
    for (const char* name : {"rider_body-red.png", "rider_body-red_norm.png", "rider_body-red_spec.png",
                             "gear/rider_body-blue.png", "rider_body-green.ppm", "rider_head-red.png",
                             "xrider_body-no.png"})
        write_file(home.data_root() + name, "x");
    std::vector<TextureVariant> list = list_texture_variants("rider_body-");
    std::vector<std::pair<std::string, std::string>> got;
    for (const TextureVariant& v : list) got.emplace_back(v.name, v.label);
    std::sort(got.begin() + 1, got.end());
    std::vector<std::pair<std::string, std::string>> want = {
        {"", "default"}, {"@gear/rider_body-blue.png", "blue"}, {"@rider_body-red.png", "red"}};
    EXPECT_EQ(got, want);
    EXPECT_EQ(texture_variant_prefix("@bike_cr.png"), "bike_cr-");
    EXPECT_EQ(texture_variant_prefix("@models/bike_kx.png"), "bike_kx-");
}

} // namespace
