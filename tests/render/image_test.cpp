#include "render/image.h"

#include "core/messages.h"
#include "data/stream.h"
#include "test_support.h"

#include <gtest/gtest.h>
#include <png.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

std::string bytes(std::initializer_list<int> values) {
    std::string s;
    for (int v : values)
        s += static_cast<char>(v);
    return s;
}

struct PngFixture {
    int width, height, colour, depth;
    std::vector<uint8_t> data; // rows, tightly packed, 16-bit samples high byte first
    std::vector<std::string> texts_before, texts_after;
    std::vector<png_color> palette;
    std::vector<uint8_t> trns;
};

// A PNG made with libpng directly, so the readers are checked against files they did not write.
void write_test_png(const std::string& path, const PngFixture& fixture) {
    FILE* f = fopen(path.c_str(), "wb");
    ASSERT_TRUE(f);
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        fclose(f);
        FAIL() << "libpng failed writing the fixture";
    }
    png_init_io(png, f);
    png_set_IHDR(png, info, fixture.width, fixture.height, fixture.depth, fixture.colour, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (!fixture.palette.empty())
        png_set_PLTE(png, info, fixture.palette.data(), int(fixture.palette.size()));
    if (!fixture.trns.empty())
        png_set_tRNS(png, info, fixture.trns.data(), int(fixture.trns.size()), nullptr);
    std::vector<png_text> texts;
    for (const std::string& t : fixture.texts_before)
        texts.push_back(png_text{PNG_TEXT_COMPRESSION_NONE, (char*)"Comment", (char*)t.c_str(), t.size(), 0,
                                 nullptr, nullptr});
    if (!texts.empty()) png_set_text(png, info, texts.data(), int(texts.size()));
    png_write_info(png, info);
    size_t row_bytes = fixture.data.size() / fixture.height;
    for (int y = 0; y < fixture.height; ++y)
        png_write_row(png, fixture.data.data() + row_bytes * y);
    std::vector<png_text> after;
    for (const std::string& t : fixture.texts_after)
        after.push_back(png_text{PNG_TEXT_COMPRESSION_NONE, (char*)"Comment", (char*)t.c_str(), t.size(), 0,
                                 nullptr, nullptr});
    png_infop end = png_create_info_struct(png);
    if (!after.empty()) png_set_text(png, end, after.data(), int(after.size()));
    png_write_end(png, end);
    png_destroy_info_struct(png, &end);
    png_destroy_write_struct(&png, &info);
    fclose(f);
}

std::vector<uint8_t> level0(const Image& image) {
    size_t n = size_t(image.width) * image.height * image.channels;
    return std::vector<uint8_t>(image.pixels.begin(),
                                image.pixels.begin() + std::min(n, image.pixels.size()));
}

struct FileCase {
    const char* label;
    std::string content;
    bool ok;
    int width, height, channels;
    std::vector<uint8_t> pixels; // level 0
};

TEST(ImageReaders, NetpbmAndCompactFilesGiveTheirPixelsOrFailCleanly) {
    const FileCase cases[] = {
        {"raw ppm", "P6\n2 1\n255\n" + bytes({1, 2, 3, 4, 5, 6}), true, 2, 1, 3, {1, 2, 3, 4, 5, 6}},
        {"comments before numbers",
         "P6\n# made by hand\n2\n#x\n1 255\n" + bytes({1, 2, 3, 4, 5, 6}),
         true,
         2,
         1,
         3,
         {1, 2, 3, 4, 5, 6}},
        {"ppm scaled from maximum 15", "P6 1 1 15\n" + bytes({15, 0, 7}), true, 1, 1, 3, {255, 0, 119}},
        {"ppm with two-byte samples",
         "P6 1 1 65535\n" + bytes({255, 255, 128, 0, 0, 0}),
         true,
         1,
         1,
         3,
         {255, 127, 0}},
        {"plain ppm", "P3 1 1 255\n10 # red\n20 30\n", true, 1, 1, 3, {10, 20, 30}},
        {"plain ppm values above the maximum are held", "P3 1 1 100 100 200 0", true, 1, 1, 3, {255, 255, 0}},
        {"raw pgm", "P5 2 1 255\n" + bytes({9, 200}), true, 2, 1, 1, {9, 200}},
        {"plain pgm of maximum 1", "P2 2 1 1 0 1", true, 2, 1, 1, {0, 255}},
        {"j6 of one pixel", "J6 1 1\n" + bytes({10, 20, 30}), true, 1, 1, 3, {10, 20, 30}},
        {"j7 of zero differences", "J7 2 2\n" + std::string(16, '\0'), true, 2, 2, 4,
         std::vector<uint8_t>(16, 0)},
        // Predictions: left on the first row, above in the first column, else the clamped gradient.
        {"j6 predictions",
         "J6 2 2\n" + bytes({10, 10, 10, 5, 5, 5, 20, 20, 20, 1, 1, 1}),
         true,
         2,
         2,
         3,
         {10, 10, 10, 15, 15, 15, 30, 30, 30, 36, 36, 36}},
        {"j6 clamped prediction wraps the difference",
         "J6 2 2\n" + bytes({0, 0, 0, 200, 200, 200, 200, 200, 200, 255, 255, 255}),
         true,
         2,
         2,
         3,
         {0, 0, 0, 200, 200, 200, 200, 200, 200, 254, 254, 254}},
        {"maximum value 0", "P6 1 1 0\n" + bytes({1, 2, 3}), false, 0, 0, 0, {}},
        {"negative maximum", "P5 1 1 -4\n" + bytes({1}), false, 0, 0, 0, {}},
        {"zero width", "P6 0 5 255\n", false, 0, 0, 0, {}},
        {"negative height", "P5 3 -1 255\n", false, 0, 0, 0, {}},
        {"size missing", "P6 # nothing\n", false, 0, 0, 0, {}},
        {"size too large to allocate", "P6 100000 100000 255\n" + bytes({1, 2, 3}), false, 0, 0, 0, {}},
        {"pixel count too large", "J7 30000 30000\n" + bytes({1, 2, 3}), false, 0, 0, 0, {}},
        {"truncated raw ppm", "P6 4 4 255\n" + bytes({1, 2, 3}), false, 0, 0, 0, {}},
        {"truncated plain pgm", "P2 2 2 255 1 2 3", false, 0, 0, 0, {}},
        {"truncated j6", "J6 2 1\n" + bytes({1, 2, 3}), false, 0, 0, 0, {}},
        {"j6 of zero size", "J6 0 0\n", false, 0, 0, 0, {}},
        {"texture-manager file", "LINK other.png\n", false, 0, 0, 0, {}},
        {"animation file", "ANIM1 0.5 2\n", false, 0, 0, 0, {}},
        {"unknown words are tried as png", "GIF89a....", false, 0, 0, 0, {}},
        {"empty file", "", false, 0, 0, 0, {}},
    };
    TempFolder folder;
    for (const FileCase& c : cases) {
        SCOPED_TRACE(c.label);
        std::string path = folder / "image";
        write_file(path, c.content);
        Image image;
        bool ok = read_image_file(path.c_str(), image);
        ASSERT_EQ(ok, c.ok) << image_error();
        if (!ok) {
            EXPECT_STRNE(image_error(), "");
            continue;
        }
        EXPECT_EQ(image.width, c.width);
        EXPECT_EQ(image.height, c.height);
        EXPECT_EQ(image.channels, c.channels);
        EXPECT_EQ(level0(image), c.pixels);
    }
}

TEST(ImageReaders, PgmHasNoChainWhileColourImagesCarryOne) {
    TempFolder folder;
    write_file(folder / "a.pgm", "P5 4 4 255\n" + std::string(16, 'x'));
    write_file(folder / "a.ppm", "P6 4 4 255\n" + std::string(48, 'x'));
    Image grey, colour;
    ASSERT_TRUE(read_image_file((folder / "a.pgm").c_str(), grey));
    ASSERT_TRUE(read_image_file((folder / "a.ppm").c_str(), colour));
    EXPECT_FALSE(grey.mipmapped);
    EXPECT_EQ(grey.pixels.size(), 16u);
    EXPECT_TRUE(colour.mipmapped);
    EXPECT_EQ(colour.pixels.size(), mip_chain_bytes(4, 4, 3));
}

TEST(ImageReaders, PngColourTypesBecomeRgbOrRgba) {
    struct PngCase {
        const char* label;
        PngFixture fixture;
        int channels;
        std::vector<uint8_t> pixels;
    };
    std::vector<png_color> palette = {{10, 20, 30}, {40, 50, 60}};
    const PngCase cases[] = {
        {"rgb", {2, 1, PNG_COLOR_TYPE_RGB, 8, {1, 2, 3, 4, 5, 6}, {}, {}, {}, {}}, 3, {1, 2, 3, 4, 5, 6}},
        {"grey expanded to rgb",
         {2, 1, PNG_COLOR_TYPE_GRAY, 8, {7, 9}, {}, {}, {}, {}},
         3,
         {7, 7, 7, 9, 9, 9}},
        {"one-bit grey", {2, 1, PNG_COLOR_TYPE_GRAY, 1, {0x80}, {}, {}, {}, {}}, 3, {255, 255, 255, 0, 0, 0}},
        {"palette",
         {2, 1, PNG_COLOR_TYPE_PALETTE, 8, {1, 0}, {}, {}, palette, {}},
         3,
         {40, 50, 60, 10, 20, 30}},
        {"palette with transparency",
         {2, 1, PNG_COLOR_TYPE_PALETTE, 8, {1, 0}, {}, {}, palette, {128}},
         4,
         {40, 50, 60, 255, 10, 20, 30, 128}},
        {"sixteen-bit rgba stripped",
         {1, 1, PNG_COLOR_TYPE_RGB_ALPHA, 16, {1, 2, 3, 4, 5, 6, 7, 8}, {}, {}, {}, {}},
         4,
         {1, 3, 5, 7}},
        {"grey with alpha",
         {1, 1, PNG_COLOR_TYPE_GRAY_ALPHA, 8, {90, 45}, {}, {}, {}, {}},
         4,
         {90, 90, 90, 45}},
    };
    TempFolder folder;
    for (const PngCase& c : cases) {
        SCOPED_TRACE(c.label);
        std::string path = folder / "p.png";
        write_test_png(path, c.fixture);
        Image image;
        ASSERT_TRUE(read_image_file(path.c_str(), image)) << image_error();
        EXPECT_EQ(image.channels, c.channels);
        EXPECT_EQ(level0(image), c.pixels);
        EXPECT_TRUE(image.mipmapped);
        EXPECT_EQ(image.pixels.size(), mip_chain_bytes(image.width, image.height, image.channels));
    }
}

TEST(ImageReaders, DamagedPngFailsCleanly) {
    TempFolder folder;
    std::string path = folder / "p.png";
    write_test_png(path, {4, 4, PNG_COLOR_TYPE_RGB, 8, std::vector<uint8_t>(48, 77), {}, {}, {}, {}});
    std::string good = read_file(path);
    struct Damage {
        const char* label;
        std::string content;
    } damages[] = {
        {"cut after the header", good.substr(0, 40)},
        {"cut inside the data", good.substr(0, good.size() - 20)},
        {"signature only", good.substr(0, 8)},
        {"corrupted header checksum", good.substr(0, 29) + char(good[29] ^ 0x55) + good.substr(30)},
        {"huge declared width", good.substr(0, 16) + bytes({0, 0x7f, 0xff, 0xff}) + good.substr(20)},
    };
    for (const Damage& d : damages) {
        SCOPED_TRACE(d.label);
        write_file(path, d.content);
        Image image;
        EXPECT_FALSE(read_image_file(path.c_str(), image));
        EXPECT_STRNE(image_error(), "");
        std::vector<uint16_t> samples;
        int w = 0, h = 0;
        EXPECT_FALSE(read_png_grey16(path.c_str(), samples, w, h));
    }
}

TEST(ImageReaders, DescriptionJoinsTextChunksAndInfoFile) {
    TestHome home;
    std::string path = home.data_root() + "tex/desc.png";
    write_file(path, "");
    write_test_png(path, {1, 1, PNG_COLOR_TYPE_RGB, 8, {1, 2, 3}, {"[compress]", "b"}, {"c"}, {}, {}});
    write_file(path + ".info", "[mip_max_alpha]\n");
    Image image;
    ASSERT_TRUE(read_image_file("@tex/desc.png", image)) << image_error();
    EXPECT_EQ(image.description, "[compress]bc[mip_max_alpha]\n");

    write_test_png(home.data_root() + "tex/plain.png",
                   {1, 1, PNG_COLOR_TYPE_RGB, 8, {1, 2, 3}, {}, {}, {}, {}});
    ASSERT_TRUE(read_image_file("@tex/plain.png", image));
    EXPECT_EQ(image.description, "");
}

// Level n of a chain, starting after all larger levels.
const uint8_t* level_at(const Image& image, int level, int* w = nullptr, int* h = nullptr) {
    int lw = image.width, lh = image.height;
    size_t offset = 0;
    for (int k = 0; k < level; ++k) {
        offset += size_t(lw) * lh * image.channels;
        lw = std::max(1, lw / 2);
        lh = std::max(1, lh / 2);
    }
    if (w) *w = lw;
    if (h) *h = lh;
    return image.pixels.data() + offset;
}

TEST(MipChain, OddSidesDropTheirLastRowAndColumn) {
    // A 5 x 3 image whose value is x * 10 + y * 50: levels 2 x 1 and 1 x 1.
    TempFolder folder;
    std::string content = "P6 5 3 255\n";
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x)
            content += std::string(3, char(x * 10 + y * 50));
    write_file(folder / "odd.ppm", content);
    Image image;
    ASSERT_TRUE(read_image_file((folder / "odd.ppm").c_str(), image));
    EXPECT_EQ(mip_level_count(5, 3), 3);
    EXPECT_EQ(image.pixels.size(), size_t(3 * (15 + 2 + 1 + 1)));
    int w = 0, h = 0;
    const uint8_t* one = level_at(image, 1, &w, &h);
    EXPECT_EQ(w, 2);
    EXPECT_EQ(h, 1);
    EXPECT_EQ(one[0], 30);
    EXPECT_EQ(one[3], 50);
    EXPECT_EQ(level_at(image, 2)[0], 40);
    EXPECT_EQ(mip_level_count(1, 1), 1);
    EXPECT_EQ(mip_chain_bytes(1, 1, 4), 8u);
}

TEST(MipChain, AlphaWeightsKeepTransparentColourOut) {
    struct AlphaCase {
        const char* label;
        uint8_t block[16];
        bool max_alpha;
        uint8_t expected[4];
    } cases[] = {
        {"one opaque pixel",
         {200, 100, 50, 255, 0, 0, 0, 0, 9, 9, 9, 0, 1, 1, 1, 0},
         false,
         {200, 100, 50, 63}},
        {"one opaque pixel, largest alpha",
         {200, 100, 50, 255, 0, 0, 0, 0, 9, 9, 9, 0, 1, 1, 1, 0},
         true,
         {200, 100, 50, 255}},
        {"all transparent average plainly",
         {8, 0, 0, 0, 0, 8, 0, 0, 0, 0, 8, 0, 4, 4, 4, 0},
         false,
         {3, 3, 3, 0}},
        {"all opaque average plainly",
         {8, 0, 0, 255, 0, 8, 0, 255, 0, 0, 8, 255, 4, 4, 4, 255},
         false,
         {3, 3, 3, 255}},
        {"weighted", {100, 0, 0, 200, 0, 0, 0, 100, 0, 0, 0, 0, 0, 0, 0, 0}, false, {66, 0, 0, 75}},
    };
    for (const AlphaCase& c : cases) {
        SCOPED_TRACE(c.label);
        std::vector<uint8_t> chain(mip_chain_bytes(2, 2, 4));
        memcpy(chain.data(), c.block, 16);
        build_mip_chain(chain.data(), 2, 2, 4, c.max_alpha);
        EXPECT_EQ(std::vector<uint8_t>(chain.begin() + 16, chain.begin() + 20),
                  std::vector<uint8_t>(c.expected, c.expected + 4));
    }
    // A row of two: the special sums are 0 and 510.
    std::vector<uint8_t> pair = {100, 0, 0, 255, 0, 100, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    build_mip_chain(pair.data(), 2, 1, 4, false);
    EXPECT_EQ(std::vector<uint8_t>(pair.begin() + 8, pair.begin() + 12),
              (std::vector<uint8_t>{100, 0, 0, 127}));
}

TEST(MipChain, CustomLevelsAreCopiedFromTheBottomThird) {
    TestHome home;
    // Each pixel holds its own position: red = x, green = y.
    PngFixture fixture{64, 96, PNG_COLOR_TYPE_RGB, 8, {}, {"[mip_custom]"}, {}, {}, {}};
    for (int y = 0; y < 96; ++y)
        for (int x = 0; x < 64; ++x)
            fixture.data.insert(fixture.data.end(), {uint8_t(x), uint8_t(y), 0});
    write_file(home.data_root() + "custom.png", "");
    write_test_png(home.data_root() + "custom.png", fixture);
    Image image;
    ASSERT_TRUE(read_image_file("@custom.png", image)) << image_error();
    EXPECT_EQ(image.width, 64);
    EXPECT_EQ(image.height, 64);
    EXPECT_EQ(image.pixels.size(), mip_chain_bytes(64, 64, 3));
    struct Corner {
        int level, x, y;
    } corners[] = {{0, 0, 0}, {1, 0, 64}, {2, 32, 64}, {3, 32, 80}, {4, 32, 88}};
    for (const Corner& c : corners) {
        SCOPED_TRACE(c.level);
        const uint8_t* p = level_at(image, c.level);
        EXPECT_EQ(p[0], c.x);
        EXPECT_EQ(p[1], c.y);
    }
    // The last level is 1 x 1 and filled.
    EXPECT_EQ(level_at(image, 6)[1], 94);

    // A height not divisible by 3 warns and keeps the whole image as level 0.
    messages_clear();
    fixture.height = 64;
    fixture.data.resize(64 * 64 * 3);
    write_test_png(home.data_root() + "custom.png", fixture);
    ASSERT_TRUE(read_image_file("@custom.png", image));
    EXPECT_EQ(image.height, 64);
    EXPECT_STREQ(message_line(0), "Warning: Invalid height for custom MIP map in '@custom.png'");
    EXPECT_EQ(level_at(image, 6)[0], 31); // built by filtering: mean of x over the whole image, truncated
}

TEST(ImageReaders, Grey16ReaderWidensAndConverts) {
    struct GreyCase {
        const char* label;
        PngFixture fixture;
        std::vector<uint16_t> samples;
    };
    std::vector<png_color> palette = {{0, 0, 0}, {255, 255, 255}};
    const GreyCase cases[] = {
        {"sixteen-bit",
         {2, 1, PNG_COLOR_TYPE_GRAY, 16, {0x12, 0x34, 0xff, 0xfe}, {}, {}, {}, {}},
         {0x1234, 0xfffe}},
        {"eight-bit widened", {2, 1, PNG_COLOR_TYPE_GRAY, 8, {255, 1}, {}, {}, {}, {}}, {65535, 257}},
        {"rgb to grey", {2, 1, PNG_COLOR_TYPE_RGB, 8, {255, 255, 255, 0, 0, 0}, {}, {}, {}, {}}, {65535, 0}},
        {"palette with alpha dropped",
         {2, 1, PNG_COLOR_TYPE_PALETTE, 8, {1, 0}, {}, {}, palette, {0, 0}},
         {65535, 0}},
        {"grey with alpha dropped", {1, 1, PNG_COLOR_TYPE_GRAY_ALPHA, 8, {10, 0}, {}, {}, {}, {}}, {2570}},
    };
    TempFolder folder;
    for (const GreyCase& c : cases) {
        SCOPED_TRACE(c.label);
        write_test_png(folder / "g.png", c.fixture);
        std::vector<uint16_t> samples;
        int w = 0, h = 0;
        ASSERT_TRUE(read_png_grey16((folder / "g.png").c_str(), samples, w, h)) << image_error();
        EXPECT_EQ(w, c.fixture.width);
        EXPECT_EQ(samples, c.samples);
    }
}

TEST(ImageWriters, PngWritersRoundTrip) {
    TempFolder folder;
    std::string grey = folder / "g.png";
    std::vector<uint16_t> samples = {0, 1, 0x1234, 65535, 300, 40000};
    DataStream* s = stream_open(grey.c_str(), "wb");
    ASSERT_TRUE(s);
    ASSERT_TRUE(write_png_grey16(s, samples.data(), 3, 2));
    stream_close(s);
    std::vector<uint16_t> back;
    int w = 0, h = 0;
    ASSERT_TRUE(read_png_grey16(grey.c_str(), back, w, h));
    EXPECT_EQ(w, 3);
    EXPECT_EQ(h, 2);
    EXPECT_EQ(back, samples);

    // Screenshots: the last buffer row becomes the first image row.
    std::string shot = folder / "shot.png";
    const uint8_t rgb[6] = {1, 2, 3, 4, 5, 6};
    ASSERT_TRUE(write_png_rgb(shot.c_str(), rgb, 1, 2));
    Image image;
    ASSERT_TRUE(read_image_file(shot.c_str(), image));
    EXPECT_EQ(level0(image), (std::vector<uint8_t>{4, 5, 6, 1, 2, 3}));
}

TEST(ImageReaders, FontEntryPointAlwaysGivesAlpha) {
    TempFolder folder;
    write_file(folder / "font.j6", "J6 1 1\n" + bytes({10, 20, 30}));
    write_file(folder / "font.j7", "J7 1 1\n" + bytes({10, 20, 30, 40}));
    write_test_png(folder / "font.png", {1, 1, PNG_COLOR_TYPE_RGB, 8, {7, 8, 9}, {}, {}, {}, {}});
    struct FontCase {
        const char* name;
        std::vector<uint8_t> pixel;
    } cases[] = {{"font.j6", {10, 20, 30, 255}}, {"font.j7", {10, 20, 30, 40}}, {"font.png", {7, 8, 9, 255}}};
    for (const FontCase& c : cases) {
        SCOPED_TRACE(c.name);
        Image image;
        ASSERT_TRUE(read_rgba_image((folder / c.name).c_str(), image)) << image_error();
        EXPECT_EQ(image.channels, 4);
        EXPECT_EQ(level0(image), c.pixel);
    }
    // A J6 image asked for four channels through the compact reader itself keeps alpha 0.
    write_file(folder / "x.j6", "J6 1 1\n" + bytes({10, 20, 30}));
    DataStream* s = stream_open((folder / "x.j6").c_str(), "rb");
    char magic[16];
    ASSERT_TRUE(read_image_magic(s, magic));
    Image image;
    ASSERT_TRUE(read_compact_image(magic, s, 4, image));
    stream_close(s);
    EXPECT_EQ(level0(image), (std::vector<uint8_t>{10, 20, 30, 0}));
}

TEST(ImageReaders, DamagedFilesNeverGiveInconsistentImages) {
    // Bytes of valid files flipped and cut at random: every read either fails or gives an image whose
    // buffer matches its size.
    TempFolder folder;
    std::string png_path = folder / "base.png";
    std::vector<uint8_t> rgba(8 * 6 * 4);
    for (size_t i = 0; i < rgba.size(); ++i)
        rgba[i] = uint8_t(i * 37);
    write_test_png(png_path, {8, 6, PNG_COLOR_TYPE_RGB_ALPHA, 8, rgba, {"[mip_custom]"}, {}, {}, {}});
    const std::string bases[] = {
        "P6 4 3 255\n" + std::string(36, 'a'),
        "P3 2 1 255 1 2 3 4 5 6",
        "P5 # c\n4 4 65535\n" + std::string(32, 'b'),
        "J7 3 3\n" + std::string(36, 'c'),
        read_file(png_path),
    };
    std::mt19937 random(7);
    std::string path = folder / "damaged";
    for (const std::string& base : bases) {
        for (int round = 0; round < 100; ++round) {
            std::string damaged = base;
            int flips = 1 + int(random() % 3);
            for (int k = 0; k < flips; ++k)
                damaged[random() % damaged.size()] = char(random());
            if (random() % 4 == 0) damaged.resize(random() % damaged.size());
            write_file(path, damaged);
            Image image;
            if (!read_image_file(path.c_str(), image)) continue;
            ASSERT_GT(image.width, 0);
            ASSERT_GT(image.height, 0);
            size_t expected = image.mipmapped ? mip_chain_bytes(image.width, image.height, image.channels)
                                              : size_t(image.width) * image.height * image.channels;
            ASSERT_EQ(image.pixels.size(), expected);
        }
    }
}

} // namespace
