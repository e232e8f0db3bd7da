#include "platform/input.h"
#include "platform/log.h"
#include "platform/window.h"
#include "test_support.h"

#include <gtest/gtest.h>

namespace {

TEST(DisplayModes, FullScreenPick) {
    const std::vector<DisplayMode> modes = {
        {1024, 768, 32}, {1280, 720, 32}, {800, 600, 16}, {1600, 1200, 32}};
    struct Case {
        int width, height;
        int picked_width, picked_height;
    };
    const Case cases[] = {
        {800, 600, 800, 600},     // an exact fit
        {801, 600, 1024, 768},    // sum 1792 against 2000 for 1280 x 720
        {1024, 700, 1024, 768},   // excess 68 against 276 for 1280 x 720
        {2000, 1000, 1920, 1080}, // larger than every mode: the desktop
        {0, 600, 1920, 1080},     // 0 means the desktop
    };
    for (const Case& c : cases) {
        DisplayMode m = fullscreen_mode_pick(modes, c.width, c.height, 1920, 1080);
        EXPECT_EQ(m.width, c.picked_width) << c.width << "x" << c.height;
        EXPECT_EQ(m.height, c.picked_height) << c.width << "x" << c.height;
    }
    const std::vector<DisplayMode> offered = {{1024, 768, 32}, {1280, 720, 32}};
    DisplayMode m = fullscreen_mode_pick(offered, 800, 600, 1920, 1080);
    EXPECT_EQ(m.width, 1024);
    EXPECT_EQ(m.height, 768);
    // On a tie the first listed mode wins.
    const std::vector<DisplayMode> tie = {{900, 700, 32}, {1000, 600, 32}};
    EXPECT_EQ(fullscreen_mode_pick(tie, 800, 600, 1920, 1080).width, 900);
    for (int depth : {8, 15, 16, 24, 32})
        EXPECT_TRUE(display_depth_accepted(depth));
    for (int depth : {0, 4, 30})
        EXPECT_FALSE(display_depth_accepted(depth));
}

TEST(WindowOffscreen, OpensDrawsSwitchesAndCloses) {
    TestHome home;
    std::string path = home.home / "log.txt";
    ScopedEnv env("VORL_LOGFILE", path.c_str());
    Window* w = window_open_gl("window test", 160, 120, 16, 0, 16, 0, 0);
    ASSERT_NE(w, nullptr);
    pump_messages(w);
    EXPECT_TRUE(window_ready(w));
    EXPECT_FALSE(window_fullscreen(w));
    int width = 0, height = 0;
    ASSERT_TRUE(frame_begin(w, width, height));
    EXPECT_EQ(width, 160);
    EXPECT_EQ(height, 120);
    EXPECT_TRUE(frame_end(w));

    window_set_mode(w, 0, 0, k_window_fullscreen);
    pump_messages(w);
    EXPECT_TRUE(window_fullscreen(w));
    int desktop_width = 0, desktop_height = 0;
    desktop_size(desktop_width, desktop_height);
    ASSERT_TRUE(frame_begin(w, width, height));
    EXPECT_EQ(width, desktop_width);
    EXPECT_EQ(height, desktop_height);
    EXPECT_TRUE(frame_end(w));

    window_set_mode(w, 200, 100, 0);
    pump_messages(w);
    EXPECT_FALSE(window_fullscreen(w));
    ASSERT_TRUE(frame_begin(w, width, height));
    EXPECT_EQ(width, 200);
    EXPECT_EQ(height, 100);
    EXPECT_TRUE(frame_end(w));

    // The cursor device and its aliases exist once the window is open.
    EXPECT_GE(input_open_axis("cursor-x"), 0);
    window_close_gl(w);
    log_close();
    std::string log = read_file(path);
    for (const char* line : {"Creating window", "Creating OpenGL context", "Deleting OpenGL context",
                             "Closing input devices", "Destroying window", "Window shutdown complete"})
        EXPECT_NE(log.find(line), std::string::npos) << line << "\n" << log;
    input_reset();
}

} // namespace
