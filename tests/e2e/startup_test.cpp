#include "test_support.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

// A temporary home and a data folder that holds the stock archive (and a track unless asked not to).
struct Install {
    TempFolder home;
    TempFolder data;
    explicit Install(bool with_track = true, bool with_archive = true) {
        if (with_archive) std::filesystem::copy_file(build_dir() + "/zzzz.saf", data / "zzzz.saf");
        if (with_track) {
            write_file(data / "tracks/mini/terrain.hf", "");
            write_file(data / "tracks/mini/desc", "Mini Track\n");
        }
    }
    std::vector<std::string> env() const {
        return {"HOME=" + home.path, "XDG_DATA_HOME=" + home.path + "/share", "KV_HOME=" + data.path};
    }
    std::string log() const { return read_file(home.path + "/share/Korvane/lastlog.txt"); }
};

struct BadCommand {
    std::vector<std::string> args;
    const char* message;
};

TEST(StartupCommandLine, ErrorsExitWithStatusOne) {
    const BadCommand cases[] = {
        {{"--bogus"}, "bad option '--bogus'\n"},
        {{"--width800"}, "bad option '--width800'\n"},
        {{"a.kvdemo", "b.kvdemo"}, "Too many files!\n"},
        {{"--texture-detail", "abc"}, "Bad arg for --texture-detail\n"},
        {{"--ground-texture-detail", "x"}, "Bad arg for --ground-texture-detail\n"},
        {{"--roostfrequency", "x"}, "Bad arg for --roostfrequency\n"},
        {{"--erode", "x"}, "Bad arg for --erode\n"},
        {{"--detail", "x"}, "Bad arg for --detail\n"},
        {{"--max-detail-distance", "x"}, "Bad arg for --max-detail-distance\n"},
        {{"--lod-scale", "x"}, "Bad arg for --lod-scale\n"},
        {{"--lod-bias", "x"}, "Bad arg for --lod-bias\n"},
        {{"--lock-fps", "x"}, "Bad arg for --lock-fps\n"},
        {{"--fake-lag", "x"}, "Bad arg for --fake-lag\n"},
        {{"--fake-loss"}, "Bad arg for --fake-loss\n"},
        {{"--chase-center", "1,2"}, "Bad arg for --chase-center\n"},
    };
    Install install;
    for (const BadCommand& c : cases) {
        RunResult r = run_korvane(c.args, install.env(), 30);
        EXPECT_EQ(r.status, 1) << c.message;
        EXPECT_EQ(r.err, c.message);
    }
}

TEST(StartupCommandLine, ClampedValuesReachTheProgram) {
    Install install;
    RunResult r = run_korvane({"--debug", "--texture-detail", "9", "--fake-lag=2500", "--lod-scale", "0"},
                              install.env(), 4);
    std::string log = install.log();
    EXPECT_NE(log.find("texture skip 4, ground texture skip 4"), std::string::npos) << log;
    EXPECT_NE(log.find("fake lag 1.000 s"), std::string::npos) << log;
    EXPECT_NE(log.find("lod scale 1e-06"), std::string::npos) << log;
}

TEST(StartupData, OpenHomeAloneNeedsNoData) {
    Install install(false, false);
    RunResult r = run_korvane({"--open-home"}, install.env(), 30);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err.find("Can't find game data"), std::string::npos);
    EXPECT_TRUE(std::filesystem::is_directory(install.home.path + "/share/Korvane"));
}

TEST(StartupData, MissingGameDataSaysSoAndExitsZero) {
    Install install(true, false);
    RunResult r = run_korvane({}, install.env(), 30);
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.err.find("Can't find game data"), std::string::npos) << r.err;
}

TEST(StartupData, ForeignArchiveIsNotGameData) {
    Install install(true, false);
    write_file(install.data / "zzzz.saf", "0 nothing\n-\n");
    RunResult r = run_korvane({}, install.env(), 30);
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.err.find("Can't find game data"), std::string::npos);
}

TEST(StartupData, NoTracksExitsOne) {
    Install install(false, true);
    RunResult r = run_korvane({}, install.env(), 30);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "No tracks found\n");
    EXPECT_NE(install.log().find("Korvane version 2016-10-30-1317 snapshot"), std::string::npos);
}

TEST(StartupData, TracksAreDiscoveredWithDisplayNames) {
    Install install;
    write_file(install.data / "tracks/zeta/terrain.hf.gz", "");
    write_file(install.data / "tracks/zeta/desc", "alpine\r\nsecond line\n");
    write_file(install.data / "tracks/nodesc/terrain.hf", "");
    write_file(install.home / "share/Korvane/demos/race one.kvdemo", "");
    run_korvane({"--debug"}, install.env(), 4);
    std::string log = install.log();
    EXPECT_NE(log.find("tracks/mini -> Mini Track\n"), std::string::npos) << log;
    EXPECT_NE(log.find("tracks/zeta -> alpine\n"), std::string::npos);
    EXPECT_NE(log.find("tracks/nodesc -> tracks/nodesc\n"), std::string::npos);
    EXPECT_NE(log.find("demos/race one.kvdemo -> race one\n"), std::string::npos);
    // Ordered by display name, case ignored: alpine, Mini Track, tracks/nodesc.
    EXPECT_LT(log.find("tracks/zeta ->"), log.find("tracks/mini ->"));
    EXPECT_LT(log.find("tracks/mini ->"), log.find("tracks/nodesc ->"));
}

} // namespace

namespace {

TEST(StartupAudio, UnopenableRecordingFileLeavesRecordingOff) {
    Install install;
    RunResult r = run_korvane({"--record-audio", install.home / "no/such/folder/out.raw"}, install.env(), 4);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(install.log().find("Can't open audio recording file"), std::string::npos) << install.log();
    EXPECT_FALSE(file_exists(install.home / "no/such/folder/out.raw"));
}

} // namespace
