#include "test_support.h"

#include <gtest/gtest.h>

#include <csignal>

namespace {

// The real program with the shipped data, a temporary home and headless video and audio.
struct WindowRun {
    TempFolder home;
    std::vector<std::string> env(const char* audio_driver = "dummy") const {
        return {"HOME=" + home.path, "XDG_DATA_HOME=" + home.path + "/share", "KV_HOME=" + build_dir(),
                "SDL_VIDEODRIVER=offscreen", std::string("SDL_AUDIODRIVER=") + audio_driver};
    }
    std::string log() const { return read_file(home.path + "/share/Korvane/lastlog.txt"); }
};

size_t position_of(const std::string& log, const char* text) {
    return log.find(text);
}

TEST(WindowEndToEnd, OpensLogsTheDriverAndShutsDownOnEitherSignal) {
    for (int stop : {SIGINT, SIGTERM}) {
        WindowRun run;
        RunResult r = run_korvane_until({}, run.env(), 5, stop);
        std::string log = run.log();
        EXPECT_EQ(r.status, 0) << "signal " << stop << "\n" << r.err;
        // In start-up order, then the shutdown in order.
        const char* expected[] = {"Options:",          "Creating window",         "Creating OpenGL context",
                                  "GL_VENDOR: ",       "GL_RENDERER: ",           "GL_VERSION: ",
                                  "GL_EXTENSIONS: ",   "Deleting OpenGL context", "Closing input devices",
                                  "Destroying window", "Window shutdown complete"};
        size_t previous = 0;
        for (const char* line : expected) {
            size_t at = position_of(log, line);
            ASSERT_NE(at, std::string::npos) << line << " missing (signal " << stop << ")\n" << log;
            EXPECT_GE(at, previous) << line << " out of order\n" << log;
            previous = at;
        }
        EXPECT_NE(position_of(log, "threaded: [off]"), std::string::npos) << log;
    }
}

TEST(WindowEndToEnd, NoDisplayEndsWithStatusOne) {
    WindowRun run;
    std::vector<std::string> env = run.env();
    env[3] = "SDL_VIDEODRIVER=no-such-driver";
    RunResult r = run_korvane_until({}, env, 20, SIGINT);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(run.log().find("Can't create window!"), std::string::npos) << run.log();
}

TEST(WindowEndToEnd, AudioFollowsTheCommandLine) {
    struct Case {
        std::vector<std::string> args;
        const char* present;
        const char* absent;
    };
    TempFolder out;
    const Case cases[] = {
        {{}, "Audio opened!", "Opening readback audio"},
        {{"--nosound"}, nullptr, "Audio opened!"},
        {{"--record-audio", out / "sound.raw"}, "Opening readback audio...", "Waveout rate"},
    };
    for (const Case& c : cases) {
        WindowRun run;
        RunResult r = run_korvane_until(c.args, run.env(), 4, SIGINT);
        std::string log = run.log();
        EXPECT_EQ(r.status, 0) << r.err;
        if (c.present) {
            EXPECT_NE(log.find(c.present), std::string::npos) << log;
            EXPECT_NE(log.find("Closing audio"), std::string::npos) << log;
        }
        EXPECT_EQ(log.find(c.absent), std::string::npos) << log;
        EXPECT_NE(log.find("Window shutdown complete"), std::string::npos) << log;
    }
    EXPECT_TRUE(file_exists(out / "sound.raw"));
}

} // namespace
