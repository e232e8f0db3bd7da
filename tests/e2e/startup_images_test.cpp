#include "test_support.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

// The real program with the shipped archive loads the HUD and title images at start-up and frees
// them at exit.
TEST(StartupImages, ShippedImagesLoadAndAreFreedAtExit) {
    TempFolder home, data;
    std::filesystem::copy_file(build_dir() + "/zzzz.saf", data / "zzzz.saf");
    write_file(data / "tracks/mini/terrain.hf", "");
    write_file(data / "tracks/mini/desc", "Mini Track\n");
    std::vector<std::string> env = {"HOME=" + home.path, "XDG_DATA_HOME=" + home.path + "/share",
                                    "KV_HOME=" + data.path};
    RunResult run = run_korvane({"--debug"}, env, 4);
    EXPECT_EQ(run.status, 0) << run.err;
    std::string log = read_file(home.path + "/share/Korvane/lastlog.txt");
    EXPECT_EQ(log.find("Can't load image"), std::string::npos) << log;
    EXPECT_EQ(log.find("Can't load the title image"), std::string::npos) << log;
    for (const char* name : {"(@tach.png)", "(@shifter.png)", "(@pitboard.png)", "(@title.png)"})
        EXPECT_NE(log.find(name), std::string::npos) << name << " was not loaded and freed\n" << log;
}

} // namespace
