// Checks the data set the builder made for this build against the file formats: the stock
// archive, fonts, shapes and the tracks' terrain files; and that building again gives the same
// bytes.
#include "core/data_digests.h"
#include "data/sha1.h"
#include "test_support.h"
#include "tools/data_set_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>
#include <sstream>

namespace {

std::string built(const std::string& name) {
    return read_file(build_dir() + "/" + name);
}

std::map<std::string, std::string> stock_archive() {
    std::vector<std::pair<std::string, std::string>> list;
    EXPECT_TRUE(saf_entries(built("zzzz.saf"), list));
    std::map<std::string, std::string> entries;
    for (const auto& [name, data] : list)
        entries[name] = data;
    return entries;
}

const char* const k_shape_files[7] = {
    "generic_frame.shp", "generic_fork_upper.shp", "generic_fork_lower.shp", "generic_swingarm.shp",
    "front_wheel.shp",   "rear_wheel.shp",         "generic_rider.shp"};

struct Sphere {
    double x, y, z, radius, friction, stiffness, damping;
};

bool parse_shape(const std::string& text, std::vector<Sphere>& spheres) {
    std::istringstream in(text);
    int count = 0;
    if (!(in >> count) || count <= 0) return false;
    spheres.assign(size_t(count), Sphere{});
    for (Sphere& s : spheres)
        if (!(in >> s.x >> s.y >> s.z >> s.radius >> s.friction >> s.stiffness >> s.damping)) return false;
    return true;
}

TEST(StockArchive, HoldsTheImagesFontsAndShapes) {
    std::map<std::string, std::string> entries = stock_archive();
    for (const char* name : {"tach.png", "shifter.png", "pitboard.png", "title.png", "font.png",
                             "numbers.png", "numbers-condensed.png"}) {
        ASSERT_TRUE(entries.count(name)) << name;
        RgbaImage image;
        EXPECT_TRUE(png_decode(entries[name], image)) << name;
    }
    RgbaImage title;
    ASSERT_TRUE(png_decode(entries["title.png"], title));
    EXPECT_EQ(title.width, 2 * title.height);
    for (const char* name : k_shape_files)
        EXPECT_TRUE(entries.count(name)) << name;
}

TEST(StockArchive, CompiledDigestsMatchTheBuiltData) {
    std::string archive = built("zzzz.saf");
    char digest[41];
    sha1_of(archive.data(), std::min<size_t>(archive.size(), 1048576), digest);
    EXPECT_STREQ(digest, k_game_data_digest);
    std::map<std::string, std::string> entries = stock_archive();
    std::string shapes;
    for (const char* name : k_shape_files)
        shapes += entries[name];
    sha1_of(shapes.data(), shapes.size(), digest);
    bool accepted = false;
    for (const char* d : k_shape_digests)
        accepted = accepted || std::string(d) == digest;
    EXPECT_TRUE(accepted) << digest;
}

// Every sphere, placed at its body's build position, must sit on the bike or the seated rider:
// inside the bike's outline, above the ground (the tyres alone touch it), and the tyre rings on
// their tyres.
TEST(StockShapes, SpheresFitTheBikeAndRider) {
    struct Body {
        const char* file;
        double x, y, z;
    };
    const Body bodies[7] = {
        {"generic_frame.shp", 0, 1.98, 3.6},       {"generic_fork_upper.shp", 0, 2.9, 2.16},
        {"generic_fork_lower.shp", 0, 1.77, 1.59}, {"generic_swingarm.shp", 0, 1.34, 4.99},
        {"front_wheel.shp", 0, 1.09, 1.11},        {"rear_wheel.shp", 0, 1.04, 6.0},
        {"generic_rider.shp", 0, 4.5, 4.12}};
    std::map<std::string, std::string> entries = stock_archive();
    for (const Body& body : bodies) {
        std::vector<Sphere> spheres;
        ASSERT_TRUE(parse_shape(entries[body.file], spheres)) << body.file;
        bool wheel = std::string(body.file).find("wheel") != std::string::npos;
        double ring = std::string(body.file) == "front_wheel.shp" ? 0.833333 : 0.75;
        for (const Sphere& s : spheres) {
            double x = body.x + s.x, y = body.y + s.y, z = body.z + s.z;
            EXPECT_GT(s.radius, 0.05) << body.file;
            EXPECT_GT(s.stiffness, 0) << body.file;
            EXPECT_GE(s.friction, 0) << body.file;
            EXPECT_LE(std::fabs(x) + s.radius, 1.35) << body.file;
            EXPECT_GT(z - s.radius, -0.5) << body.file;
            EXPECT_LT(z + s.radius, 7.2) << body.file;
            EXPECT_LT(y + s.radius, 6.4) << body.file;
            if (wheel) {
                EXPECT_NEAR(std::hypot(s.y, s.z), ring, 1e-3) << body.file;
                EXPECT_NEAR(s.radius, 0.333333, 1e-3) << body.file;
            } else {
                EXPECT_GT(y - s.radius, 0.7) << body.file << " reaches the ground";
            }
            if (std::string(body.file) == "generic_rider.shp") {
                EXPECT_GT(y - s.radius, 2.8) << "rider below the seat";
            }
        }
    }
}

struct Glyph {
    int x0, x1, y0, y1;
};

// Reads glyph cells the way the game's font loader does: the top-left colour separates cells in a
// band's top row and bands in the left column; a band's last cell runs to the right edge.
bool font_cells(const RgbaImage& image, const std::string& characters, std::vector<Glyph>& glyphs) {
    auto is_separator = [&](int x, int y) {
        return memcmp(&image.pixels[(size_t(y) * size_t(image.width) + size_t(x)) * 4], image.pixels.data(),
                      4) == 0;
    };
    auto next_column = [&](int from, int y) {
        for (int x = from; x < image.width; ++x)
            if (is_separator(x, y)) return x;
        return image.width;
    };
    auto next_row = [&](int from) {
        for (int y = from; y < image.height; ++y)
            if (is_separator(0, y)) return y;
        return image.height;
    };
    int y0 = 0, y1 = next_row(1), boundary = 0;
    for (size_t i = 0; i < characters.size(); ++i) {
        if (boundary >= image.width) {
            y0 = y1 == image.height ? 0 : y1;
            y1 = next_row(y0 + 1);
            boundary = 0;
        }
        int x1 = next_column(boundary + 1, y0);
        glyphs.push_back(Glyph{boundary, x1, y0, y1});
        boundary = x1;
    }
    return boundary == image.width; // the last band is full, so no glyph was squeezed out
}

TEST(FontImages, GlyphCellsFollowTheSeparatorConvention) {
    struct Case {
        const char* file;
        std::string characters;
    };
    std::string printable;
    for (char c = '!'; c <= '~'; ++c)
        printable += c;
    const Case cases[] = {
        {"font.png", printable}, {"numbers.png", "0123456789"}, {"numbers-condensed.png", "0123456789"}};
    std::map<std::string, std::string> entries = stock_archive();
    std::map<std::string, std::map<char, double>> widths;
    for (const Case& c : cases) {
        RgbaImage image;
        ASSERT_TRUE(png_decode(entries[c.file], image)) << c.file;
        std::vector<Glyph> glyphs;
        EXPECT_TRUE(font_cells(image, c.characters, glyphs)) << c.file;
        ASSERT_EQ(glyphs.size(), c.characters.size());
        for (size_t i = 0; i < glyphs.size(); ++i) {
            const Glyph& g = glyphs[i];
            ASSERT_GT(g.x1, g.x0) << c.file << " " << c.characters[i];
            ASSERT_GT(g.y1, g.y0) << c.file << " " << c.characters[i];
            double width = double(g.x1 - g.x0) / (g.y1 - g.y0);
            EXPECT_GT(width, 0.1) << c.file << " " << c.characters[i];
            EXPECT_LT(width, 1.3) << c.file << " " << c.characters[i];
            widths[c.file][c.characters[i]] = width;
            // Some ink in every cell (below its marker row).
            int ink = 0;
            for (int y = g.y0 + 1; y < g.y1; ++y)
                for (int x = g.x0; x < g.x1; ++x)
                    ink += image.pixels[(size_t(y) * size_t(image.width) + size_t(x)) * 4 + 3] > 128;
            EXPECT_GT(ink, 0) << c.file << " " << c.characters[i];
        }
    }
    std::map<char, double>& text = widths["font.png"];
    EXPECT_GT(text['W'], 2 * text['i']);
    // '{' and '0' advance alike in the font, though they lie in different bands.
    EXPECT_NEAR(text['{'] / text['0'], 1.0, 0.1);
    EXPECT_LT(widths["numbers-condensed.png"]['0'], widths["numbers.png"]['0']);
    RgbaImage font;
    ASSERT_TRUE(png_decode(entries["font.png"], font));
    EXPECT_EQ(font.width & (font.width - 1), 0) << "the text font becomes a texture";
    EXPECT_EQ(font.height & (font.height - 1), 0);
}

struct TrackFolder {
    std::string folder;
    int size_log2, samples, tiles;
    double cell_size, min_height, max_height;
    std::vector<uint16_t> raw;
    std::vector<uint8_t> tile_map;
    std::vector<std::string> textures; // tileinfo texture names in type order
    double height(int col, int row) const {
        return min_height +
               raw[size_t(row) * size_t(samples) + size_t(col)] * (max_height - min_height) / 65535.0;
    }
};

// Reads a track folder's terrain, tile map and tile types, checking their formats on the way.
void read_track(const std::string& folder, TrackFolder& track) {
    track.folder = folder;
    std::string hf = built(folder + "/terrain.hf");
    int consumed = 0;
    float cell = 0, lo = 0, hi = 0;
    ASSERT_EQ(sscanf(hf.c_str(), "%d %f %f %f %n", &track.size_log2, &cell, &lo, &hi, &consumed), 4)
        << folder;
    track.cell_size = cell, track.min_height = lo, track.max_height = hi;
    ASSERT_LT(size_t(consumed), hf.size());
    ASSERT_EQ(hf[size_t(consumed)], ':') << "samples follow the header";
    track.tiles = 1 << track.size_log2;
    track.samples = 2 * track.tiles + 1;
    size_t count = size_t(track.samples) * size_t(track.samples);
    ASSERT_EQ(hf.size(), size_t(consumed) + 1 + 2 * count) << "exactly one 16-bit sample per grid point";
    track.raw.resize(count);
    for (size_t i = 0; i < count; ++i)
        track.raw[i] = uint16_t(uint8_t(hf[size_t(consumed) + 1 + 2 * i]) |
                                uint8_t(hf[size_t(consumed) + 2 + 2 * i]) << 8);

    std::string shading = built(folder + "/shadingx2.ppm");
    std::string header =
        "P6\n" + std::to_string(track.samples) + " " + std::to_string(track.samples) + "\n255\n";
    EXPECT_EQ(shading.substr(0, header.size()), header);
    EXPECT_EQ(shading.size(), header.size() + count * 3);
    std::string shadows = built(folder + "/shadows.pgm");
    header[1] = '5';
    EXPECT_EQ(shadows.substr(0, header.size()), header);
    EXPECT_EQ(shadows.size(), header.size() + count);

    std::string tilemap = built(folder + "/tilemap");
    ASSERT_EQ(tilemap.size(), size_t(track.tiles) * size_t(track.tiles));
    track.tile_map.assign(tilemap.begin(), tilemap.end());

    std::istringstream tileinfo(built(folder + "/tileinfo"));
    std::string line, texture;
    const std::set<std::string> known = {"texture",         "friction",           "roll_resist",
                                         "roost",           "erode_depth",        "erode_lower",
                                         "erode_upper",     "erode_displacement", "erode_radius",
                                         "erode_max_slope", "erode_off_speed",    "erode_on_speed",
                                         "addtile"};
    while (std::getline(tileinfo, line)) {
        std::istringstream words(line);
        std::string keyword;
        if (!(words >> keyword)) continue;
        EXPECT_TRUE(known.count(keyword)) << folder << ": " << line;
        if (keyword == "texture") words >> texture;
        if (keyword == "friction") {
            double mu = 0, speed = 0;
            EXPECT_TRUE(words >> mu >> speed) << line;
            EXPECT_GT(mu, 0.5);
            EXPECT_LT(mu, 1.5);
        }
        if (keyword == "addtile") {
            track.textures.push_back(texture);
            texture.clear();
        }
    }
}

TEST(TrackFiles, FollowTheTerrainFormats) {
    struct Case {
        const char* folder;
        const char* name;
        int min_log2, max_log2;
    };
    const Case cases[] = {{"tracks/tarnwick", "Tarnwick", 9, 10}, {"tracks/testbed", "Testbed", 6, 7}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.folder);
        EXPECT_EQ(built(std::string(c.folder) + "/desc"), std::string(c.name) + "\n");
        TrackFolder track;
        read_track(c.folder, track);
        EXPECT_GE(track.size_log2, c.min_log2);
        EXPECT_LE(track.size_log2, c.max_log2);
        EXPECT_GT(track.cell_size, 0);
        EXPECT_LT(track.min_height, track.max_height);
        ASSERT_FALSE(track.textures.empty());
        EXPECT_LE(track.textures.size(), 256u);
        for (uint8_t type : track.tile_map)
            ASSERT_LT(type, track.textures.size());
        for (const std::string& texture : track.textures) {
            ASSERT_EQ(texture.rfind("@" + std::string(c.folder) + "/", 0), 0u) << texture;
            RgbaImage image;
            EXPECT_TRUE(png_decode(built(texture.substr(1)), image)) << texture;
            EXPECT_EQ(image.width, image.height);
            EXPECT_EQ(image.width & (image.width - 1), 0) << texture;
        }
    }
}

// Transition tiles are named "A-B-mmmm" after two plain types so that the relations pair them, and
// every mask between all-A and all-B is there.
TEST(TrackFiles, TransitionTilesPairWithTheirSurfaces) {
    TrackFolder track;
    read_track("tracks/tarnwick", track);
    std::set<std::string> stems;
    std::map<std::string, std::set<std::string>> masks;
    for (const std::string& texture : track.textures) {
        std::string base = texture.substr(texture.rfind('/') + 1);
        std::string stem = base.substr(0, base.find('.'));
        size_t dash = stem.find('-');
        if (dash == std::string::npos) {
            stems.insert(stem);
            continue;
        }
        size_t second = stem.find('-', dash + 1);
        if (stem.compare(dash + 1, 3, "alt") == 0) continue;
        ASSERT_NE(second, std::string::npos) << stem;
        masks[stem.substr(0, second)].insert(stem.substr(second + 1));
    }
    EXPECT_TRUE(stems.count("packed") && stems.count("loose") && stems.count("grass"));
    for (const auto& [pair, set] : masks) {
        std::string a = pair.substr(0, pair.find('-')), b = pair.substr(pair.find('-') + 1);
        EXPECT_TRUE(stems.count(a) && stems.count(b)) << pair;
        EXPECT_EQ(set.size(), 14u) << pair;
        for (const std::string& m : set)
            EXPECT_EQ(m.find_first_not_of("01"), std::string::npos) << m;
    }
    EXPECT_TRUE(masks.count("packed-loose") && masks.count("loose-grass"));
}

// The riding surface is a closed loop: the grass it encloses is cut off from the grass around it.
TEST(Tarnwick, CourseIsAClosedLoopWithJumps) {
    TrackFolder track;
    read_track("tracks/tarnwick", track);
    const int n = track.tiles;
    auto is_grass = [&](size_t i) {
        const std::string& t = track.textures[track.tile_map[i]];
        std::string base = t.substr(t.rfind('/') + 1);
        return base.rfind("grass", 0) == 0;
    };
    std::vector<int> component(size_t(n) * size_t(n), -1);
    std::vector<size_t> sizes;
    size_t riding = 0;
    for (size_t start = 0; start < component.size(); ++start) {
        if (!is_grass(start)) {
            ++riding;
            continue;
        }
        if (component[start] >= 0) continue;
        int id = int(sizes.size());
        sizes.push_back(0);
        std::vector<size_t> stack = {start};
        component[start] = id;
        while (!stack.empty()) {
            size_t i = stack.back();
            stack.pop_back();
            ++sizes.back();
            int c = int(i % size_t(n)), r = int(i / size_t(n));
            const int steps[4][2] = {{1, 0}, {-1, 0}, {0, 1}, {0, -1}};
            for (const auto& s : steps) {
                int cc = c + s[0], rr = r + s[1];
                if (cc < 0 || rr < 0 || cc >= n || rr >= n) continue;
                size_t k = size_t(rr) * size_t(n) + size_t(cc);
                if (component[k] < 0 && is_grass(k)) {
                    component[k] = id;
                    stack.push_back(k);
                }
            }
        }
    }
    size_t large = 0;
    for (size_t s : sizes)
        large += s > 1000;
    EXPECT_GE(large, 2u) << "an inside and an outside";
    // About a mile of track 26 ft wide or more, in tiles of 2.5 ft.
    double tile_area = 4 * track.cell_size * track.cell_size;
    EXPECT_GT(riding * tile_area, 3000 * 26);
    // Jumps stand several feet above the ground beside them: the steepest rise along the grid is
    // far beyond anything the rolling land has.
    double steepest = 0;
    for (int row = 0; row < track.samples; row += 2)
        for (int col = 0; col + 1 < track.samples; ++col)
            steepest = std::max(steepest, std::fabs(track.height(col + 1, row) - track.height(col, row)) /
                                              track.cell_size);
    EXPECT_GT(steepest, 0.4);
    EXPECT_LT(steepest, 1.5) << "no cliffs";
}

TEST(Testbed, FlatWithOneSlopeAndOneBump) {
    TrackFolder track;
    read_track("tracks/testbed", track);
    const double cs = track.cell_size;
    auto at = [&](double x, double z) { return track.height(int(x / cs), int(z / cs)); };
    EXPECT_DOUBLE_EQ(at(20, 20), 0.0);
    EXPECT_DOUBLE_EQ(at(120, 200), 0.0);
    EXPECT_NEAR(at(64, 128), 2.0, 0.01);   // the bump's top
    EXPECT_NEAR(at(192, 100), 8.0, 0.01);  // half-way up the slope
    EXPECT_NEAR(at(240, 100), 16.0, 0.01); // the plateau
}

TEST(DataBuilder, RebuildGivesIdenticalBytes) {
    TempFolder out;
    std::string command = build_dir() + "/tools/kvdata/kvdata --out " + out.path + " --digests " + out.path +
                          "/digests.cpp --previews " + out.path + "/previews";
    ASSERT_EQ(std::system(command.c_str()), 0);
    EXPECT_EQ(read_file(out / "digests.cpp"), built("generated/data_digests.cpp"));
    int compared = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(out.path)) {
        if (!entry.is_regular_file()) continue;
        std::string relative = std::filesystem::relative(entry.path(), out.path).string();
        if (relative == "digests.cpp" || relative.rfind("previews/", 0) == 0) continue;
        EXPECT_TRUE(read_file(entry.path().string()) == built(relative)) << relative;
        ++compared;
    }
    EXPECT_GT(compared, 10);
}

TEST(ShippedData, ProgramPassesTheDataCheckAndFindsTarnwick) {
    TempFolder home, data;
    std::filesystem::copy_file(build_dir() + "/zzzz.saf", data / "zzzz.saf");
    std::filesystem::create_directories(data / "tracks/tarnwick");
    for (const char* file : {"desc", "terrain.hf"})
        std::filesystem::copy_file(build_dir() + "/tracks/tarnwick/" + file,
                                   data / (std::string("tracks/tarnwick/") + file));
    RunResult r = run_korvane(
        {"--debug"}, {"HOME=" + home.path, "XDG_DATA_HOME=" + home.path + "/share", "KV_HOME=" + data.path},
        4);
    EXPECT_EQ(r.err.find("Can't find game data"), std::string::npos) << r.err;
    std::string log = read_file(home.path + "/share/Korvane/lastlog.txt");
    EXPECT_NE(log.find("tracks/tarnwick -> Tarnwick\n"), std::string::npos) << log;
}

} // namespace
