#include "render/title_screen.h"

#include "core/messages.h"
#include "data/search_paths.h"
#include "platform/input.h"
#include "platform/window.h"
#include "render/gl_caps.h"
#include "render/texture_manager.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <GL/gl.h>

#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {

TEST(TitleScreen, ViewExtentsWidenWithTheWindow) {
    struct Case {
        int w, h;
        double fov, half_width, half_height;
    } cases[] = {
        {320, 240, 90, 1, 0.75},  // 4:3
        {640, 240, 90, 2, 0.75},  // wider: same height
        {240, 240, 90, 1, 1},     // narrower: same width
        {256, 128, 90, 1.5, 0.75},
    };
    for (const Case& k : cases) {
        double w = 0, h = 0;
        title_view_extents(k.w, k.h, k.fov, w, h);
        EXPECT_NEAR(w, k.half_width, 1e-9) << k.w << "x" << k.h;
        EXPECT_NEAR(h, k.half_height, 1e-9) << k.w << "x" << k.h;
    }
}

struct TitleGl : ::testing::Test {
    static constexpr int k_width = 256, k_height = 128; // 2:1, so the title covers the view exactly
    TestHome home;
    std::string log_path = home.home / "log.txt";
    ScopedEnv log_env{"VORL_LOGFILE", log_path.c_str()};
    Window* window = nullptr;

    void SetUp() override {
        texture_manager_reset();
        messages_clear();
        window = window_open_gl("title test", k_width, k_height, 32, 0, 16, 0, 0);
        ASSERT_NE(window, nullptr);
        read_gl_capabilities();
        gl_initial_state(false);
    }
    void TearDown() override {
        if (window) {
            title_screen_install(nullptr);
            purge_textures(true);
            window_close_gl(window);
        }
        texture_manager_reset();
        input_reset();
        gl_caps_reset();
        messages_clear();
    }
    std::vector<uint8_t> frame() const {
        std::vector<uint8_t> pixels(size_t(k_width) * k_height * 3);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadPixels(0, 0, k_width, k_height, GL_RGB, GL_UNSIGNED_BYTE, pixels.data());
        return pixels;
    }
};

TEST_F(TitleGl, ShowsTheShippedTitleImage) {
    // The shipped data set beside the program.
    ScopedEnv kv_home("KV_HOME", build_dir().c_str());
    search_paths_reset();
    Image title;
    ASSERT_TRUE(read_png_image("@title.png", title)) << "the data set has no title image";
    ASSERT_EQ(title.width, 2 * title.height);
    ASSERT_GE(title.width, k_width);
    // The level of the title's chain drawn 1:1 in this window.
    size_t offset = 0;
    int w = title.width, h = title.height;
    while (w > k_width) {
        offset += size_t(w) * h * title.channels;
        w /= 2;
        h /= 2;
    }
    ASSERT_EQ(w, k_width);

    // Cover the frame with a colour the title does not show, so that an undrawn title fails.
    glClearColor(1, 0, 1, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    draw_title_background(k_width, k_height, "");
    std::vector<uint8_t> got = frame();
    int64_t total = 0, far_off = 0;
    for (int y = 0; y < k_height; ++y) {
        for (int x = 0; x < k_width; ++x) {
            const uint8_t* p = &got[(size_t(k_height - 1 - y) * k_width + x) * 3]; // read-back rows are bottom-up
            const uint8_t* q = &title.pixels[offset + (size_t(y) * w + x) * title.channels];
            int d = 0;
            for (int c = 0; c < 3; ++c) d = std::max(d, std::abs(int(p[c]) - int(q[c])));
            total += d;
            if (d > 24) ++far_off;
        }
    }
    double mean = double(total) / (k_width * k_height);
    EXPECT_LT(mean, 4.0) << "the frame differs from the title image";
    EXPECT_LT(far_off, k_width * k_height / 100) << "texels far from the title image";
}

TEST_F(TitleGl, WithoutATitleImageTheViewIsBlack) {
    glClearColor(1, 0, 1, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    draw_title_background(k_width, k_height, "loading");
    std::vector<uint8_t> got = frame();
    for (size_t i : {size_t(0), got.size() / 2, got.size() - 3})
        EXPECT_EQ(got[i] + got[i + 1] + got[i + 2], 0) << "pixel " << i / 3;
    bool reported = false;
    for (int i = 0; i < 5; ++i) reported |= strstr(message_line(i), "Can't load the title image") != nullptr;
    EXPECT_TRUE(reported);
}

} // namespace

namespace {

TEST_F(TitleGl, LoadingScreenDiscardsPendingInput) {
    ASSERT_TRUE(input_push_event(InputEvent{'a', true, 0}));
    title_screen_install(window);
    show_progress("Loading track");
    EXPECT_EQ(input_pending_events(), 0) << "a key pressed while loading must not act afterwards";
    title_screen_install(nullptr);
    ASSERT_TRUE(input_push_event(InputEvent{'a', true, 0}));
    show_progress("Loading track");
    EXPECT_EQ(input_pending_events(), 1) << "without a painter nothing is taken";
}

} // namespace
