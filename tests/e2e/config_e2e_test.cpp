#include "test_support.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

// The real program reads a prepared configuration and writes it back at shutdown, clamped.
TEST(ConfigEndToEnd, ReadAtStartAndWrittenBackClamped) {
    TempFolder home;
    std::string root = home.path + "/share/Korvane/";
    write_file(root + "config", "fov=500\r\n"
                                "minutes=-3\n"
                                "name=" +
                                    std::string(80, 'n') +
                                    "\n"
                                    "map_scale=0.01\n"
                                    "ground_texture_dim=100x100\n"
                                    "record=Yes\n"
                                    "bike=crf250\n"
                                    "stability=50\n"
                                    "left_key=(0.1,0.9)joy 0 axis 0\n"
                                    "no_such_key=1\n");
    std::vector<std::string> env = {"HOME=" + home.path, "XDG_DATA_HOME=" + home.path + "/share",
                                    "KV_HOME=" + build_dir(), "SDL_VIDEODRIVER=offscreen",
                                    "SDL_AUDIODRIVER=dummy"};
    RunResult r = run_korvane({}, env, 8);
    std::string log = read_file(root + "lastlog.txt");
    std::string config = read_file(root + "config");
    if (config.find("xres=") == std::string::npos && log.find("Can't create window!") != std::string::npos)
        GTEST_SKIP() << "no window here, so no shutdown that writes the configuration";
    EXPECT_EQ(r.status, 0) << r.err;
    const char* expected[] = {
        "fov=170.000000\n",
        "minutes=0.000000\n",
        "map_scale=0.125000\n",
        "ground_texture_dim=64x64\n",
        "record=Yes\n",
        "bike=crf250(2008)\n",
        "stability=50.000000\n",
        "roll_damping=65.000000\n",
        "left_key=(0.100000,0.900000)joy 0 axis 0\n",
        "throttle_key=(k)x\n",
    };
    for (const char* line : expected)
        EXPECT_NE(config.find(line), std::string::npos) << line << config;
    EXPECT_NE(config.find("name=" + std::string(63, 'n') + "\n"), std::string::npos) << config;
    EXPECT_EQ(config.find("no_such_key"), std::string::npos);
    EXPECT_EQ(config.find('\r'), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(root + ".config.new"));
}

} // namespace
