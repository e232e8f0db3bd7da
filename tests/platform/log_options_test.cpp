#include "platform/log.h"
#include "platform/options.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <regex>
#include <sstream>
#include <thread>
#include <vector>

namespace {

TEST(LogFile, TimePrefix) {
    char prefix[32];
    log_time_prefix(((1 * 60 + 2) * 60 + 5) * 1000LL + 500, prefix, sizeof prefix);
    EXPECT_STREQ(prefix, "[1:02:05.50] ");
}

TEST(LogFile, DefaultNameEnvironmentAndAppend) {
    TestHome home;
    std::string fallback = home.home / "fallback.txt";
    std::string chosen = home.home / "chosen.txt";
    {
        ScopedEnv env("VORL_LOGFILE", (">>" + chosen).c_str());
        log_printf("VORL_LOGFILE=%s", fallback.c_str());
        log_printf("first\n");
        log_reset();
        log_printf("VORL_LOGFILE=%s", fallback.c_str());
        log_printf("second\n");
        log_printf("\x13hidden\n");
        log_close();
        log_printf("after close\n");
    }
    EXPECT_FALSE(file_exists(fallback));
    std::string text = read_file(chosen);
    EXPECT_NE(text.find("first\n"), std::string::npos);
    EXPECT_NE(text.find("second\n"), std::string::npos);
    EXPECT_NE(text.find("VORL 0.31\n"), std::string::npos);
    EXPECT_EQ(text.find("hidden"), std::string::npos);
    EXPECT_EQ(text.find("after close"), std::string::npos);
    EXPECT_EQ(text.find("VORL_LOGFILE="), std::string::npos);
}

TEST(LogFile, LinesFromThreadsNeverInterleave) {
    TestHome home;
    std::string path = home.home / "threads.txt";
    log_printf("VORL_LOGFILE=%s", path.c_str());
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([t] {
            for (int i = 0; i < 500; ++i) log_printf("thread %d line %d %s\n", t, i, "abcdefghijklmnopqrstuvwxyz");
        });
    for (std::thread& th : threads) th.join();
    log_close();
    std::istringstream lines(read_file(path));
    std::regex shape(R"(\[\d+:\d\d:\d\d\.\d\d\] (thread \d line \d+ abcdefghijklmnopqrstuvwxyz|Logfile ".*" opened|VORL 0\.31))");
    std::string line;
    int count = 0;
    while (std::getline(lines, line)) {
        EXPECT_TRUE(std::regex_match(line, shape)) << line;
        ++count;
    }
    EXPECT_EQ(count, 2002);
}

TEST(LogFile, LastError) {
    TestHome home;
    EXPECT_STREQ(last_error(), "Unknown");
    log_error("disk on fire");
    EXPECT_STREQ(last_error(), "disk on fire");
}

struct OptionCase {
    const char* text;
    const char* name;
    long fallback;
    long expected;
    bool warns;
};

TEST(PlatformOptions, FlagsAndNumbers) {
    const OptionCase cases[] = {
        {"[threaded:on]", "threaded", 0, 1, false},
        {"x [threaded:yes] [threaded:no]", "threaded", 0, 1, false},
        {"[threaded:off]", "threaded", 1, 0, false},
        {"[threaded:maybe]", "threaded", 0, 0, true},
        {"", "threaded", 1, 1, false},
        {"[sound-rate:44100Hz]", "sound-rate", 22050, 44100, false},
        {"[sound-rate: -12]", "sound-rate", 22050, -12, false},
        {"[sound-rate:fast]", "sound-rate", 22050, 22050, true},
    };
    for (const OptionCase& c : cases) {
        TestHome home;
        std::string log = home.home / "log.txt";
        ScopedEnv env_log("VORL_LOGFILE", log.c_str());
        ScopedEnv env("VORL_OPTIONS", c.text);
        options_reset();
        long got = std::string(c.name) == "threaded" ? option_flag(c.name, static_cast<int>(c.fallback))
                                                     : option_number(c.name, c.fallback);
        EXPECT_EQ(got, c.expected) << c.text;
        log_close();
        bool warned = read_file(log).find(std::string("unrecognized setting for ") + c.name) != std::string::npos;
        EXPECT_EQ(warned, c.warns) << c.text;
    }
}

} // namespace
