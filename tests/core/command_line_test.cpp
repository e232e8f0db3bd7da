#include "core/command_line.h"
#include "core/settings.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct Parsed {
    int status;
    LaunchOptions options;
};

Parsed parse(std::vector<std::string> args) {
    g_settings = Settings{};
    args.insert(args.begin(), "korvane");
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    Parsed p{};
    launch_options_defaults(p.options);
    p.status = parse_command_line(static_cast<int>(argv.size()), argv.data(), p.options);
    return p;
}

TEST(OptionMatcher, ValueFormsAndEndOfOptions) {
    std::vector<std::string> storage = {"korvane", "--width", "800", "--width=801", "--", "--width"};
    std::vector<char*> argv;
    for (std::string& a : storage) argv.push_back(a.data());
    ArgCursor c{static_cast<int>(argv.size()), argv.data(), 1, false};
    const char* v = nullptr;
    ASSERT_TRUE(match_option(c, "--width", true, &v));
    EXPECT_STREQ(v, "800");
    ASSERT_TRUE(match_option(c, "--width", true, &v));
    EXPECT_STREQ(v, "801");
    // "--" is consumed by the first value option tested, which reports no match.
    EXPECT_FALSE(match_option(c, "--height", true, &v));
    EXPECT_TRUE(c.end_of_options);
    EXPECT_EQ(c.index, 5);
    EXPECT_FALSE(match_option(c, "--width", true, &v));
    EXPECT_FALSE(match_option(c, "--width", false, &v));
}

TEST(OptionMatcher, FlagDoesNotTakeEqualsForm) {
    std::vector<std::string> storage = {"korvane", "--warp=1"};
    std::vector<char*> argv;
    for (std::string& a : storage) argv.push_back(a.data());
    ArgCursor c{2, argv.data(), 1, false};
    const char* v = nullptr;
    EXPECT_FALSE(match_option(c, "--warp", false, &v));
}

TEST(CommandLine, WidthFormsAreEquivalent) {
    EXPECT_EQ(parse({"--width", "800"}).status, -1);
    EXPECT_EQ(g_settings.xres, 800);
    EXPECT_EQ(parse({"--width=800"}).status, -1);
    EXPECT_EQ(g_settings.xres, 800);
    EXPECT_EQ(parse({"--width800"}).status, 1);
}

TEST(CommandLine, Clamps) {
    EXPECT_EQ(parse({"--texture-detail", "9"}).options.texture_skip, 4);
    EXPECT_EQ(parse({"--texture-detail", "9"}).options.ground_texture_skip, 4);
    EXPECT_EQ(parse({"--texture-detail", "-3"}).options.texture_skip, 0);
    EXPECT_EQ(parse({"--roostfrequency", "5000"}).options.roost_frequency, 1000);
    EXPECT_DOUBLE_EQ(parse({"--fake-lag", "2500"}).options.fake_lag, 1.0);
    EXPECT_NEAR(parse({"--fake-lag", "250"}).options.fake_lag, 0.25, 1e-6);
    EXPECT_FLOAT_EQ(parse({"--lod-scale", "0"}).options.lod_scale, 1e-6f);
    EXPECT_EQ(parse({"--fake-loss", "150"}).options.fake_loss, 100);
    EXPECT_FLOAT_EQ(parse({"--erode", "-5"}).options.erosion, 0.0f);
    Parsed m = parse({"--max-detail-distance", "30"});
    EXPECT_FLOAT_EQ(m.options.max_detail_distance, 30);
    EXPECT_FLOAT_EQ(m.options.max_detail_distance2, 35);
}

TEST(CommandLine, LenientAndNumberValues) {
    g_settings.xres = 640;
    Parsed p = parse({"--width", "abc"});
    EXPECT_EQ(p.status, -1);
    EXPECT_EQ(g_settings.xres, 640);
    EXPECT_EQ(parse({"--depth", "abc"}).options.depth, 0);
    EXPECT_EQ(parse({"--depth"}).options.depth, 16); // missing value leaves it
    EXPECT_EQ(parse({"--rotate-lineup", "x"}).options.rotate_lineup, 0);
    EXPECT_EQ(parse({"--rotate-lineup", "-7"}).options.rotate_lineup, -7);
}

TEST(CommandLine, FilesAndEndOfOptions) {
    Parsed p = parse({"--", "-demo.kvdemo"});
    EXPECT_EQ(p.status, -1);
    EXPECT_EQ(p.options.file_argument, "-demo.kvdemo");
    EXPECT_EQ(parse({"--", "-a", "b"}).status, 1);
    EXPECT_EQ(parse({"a.kvdemo", "b.kvdemo"}).status, 1);
    EXPECT_EQ(parse({"--bogus"}).status, 1);
    EXPECT_EQ(parse({"one.kvdemo"}).options.file_argument, "one.kvdemo");
}

TEST(CommandLine, ConnectHistory) {
    Parsed p = parse({"--connect", "korvane:race.example:19800"});
    EXPECT_EQ(p.options.connect, "race.example:19800");
    EXPECT_EQ(g_settings.server_history[0], "race.example:19800");
    server_history_push("race.example:19800");
    EXPECT_EQ(g_settings.server_history[1], "");
    server_history_push("");
    EXPECT_EQ(g_settings.server_history[0], "race.example:19800");
    server_history_push("other");
    EXPECT_EQ(g_settings.server_history[0], "other");
    EXPECT_EQ(g_settings.server_history[1], "race.example:19800");
}

TEST(CommandLine, ChaseCenterNeedsThreeNumbers) {
    Parsed p = parse({"--chase-center", "1,2,3"});
    EXPECT_EQ(p.status, -1);
    EXPECT_FLOAT_EQ(p.options.chase_center[2], 3);
    EXPECT_EQ(parse({"--chase-center", "1,2"}).status, 1);
}

} // namespace
