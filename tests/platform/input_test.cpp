#include "platform/input.h"
#include "platform/log.h"
#include "test_support.h"

#include <gtest/gtest.h>

namespace {

struct InputTest : ::testing::Test {
    TestHome home;
    InputTest() {
        input_reset();
        input_register_standard_aliases();
    }
    ~InputTest() override { input_reset(); }
};

constexpr int key(int scan) {
    return k_input_key_base + scan;
}

TEST_F(InputTest, NamesGiveCodes) {
    struct Case {
        const char* name;
        int code; // -1: no code
    };
    const Case cases[] = {
        {"Esc", key(1)},
        {"Escape", key(1)}, // the system's own name
        {"left ctrl", key(29)},
        {"Left_Ctrl", key(29)},
        {"LEFT CTRL", key(29)},
        {"Right Ctrl", key(285)},
        {"Keypad Enter", key(284)},
        {"keypad_enter", key(284)},
        {"enter", key(28)},
        {"page up", key(329)},
        {"pause", key(69)},
        {" ", key(57)},
        {"\\", key(43)},
        {"Mouse Left", k_input_mouse_left},
        {"mouse right", k_input_mouse_right},
        {"close", k_input_close},
        {"cursor-middle", k_input_mouse_middle}, // alias
        {"0x1ff", key(511)},
        {"0x0", key(0)},
        {"0x200", -1},
        {"left  ctrl", -1}, // two blanks are two characters
        {"leftctrl", -1},
        {"Nonsense", -1},
        {"", -1},
        {"Mouse.key[0]", -1}, // no such device
    };
    for (const Case& c : cases) {
        int code = -1;
        bool found = input_name_code(c.name, code);
        EXPECT_EQ(found, c.code >= 0) << "'" << c.name << "'";
        if (c.code >= 0) {
            EXPECT_EQ(code, c.code) << "'" << c.name << "'";
        }
    }
}

TEST_F(InputTest, EveryCodeNameLeadsBackToItsCode) {
    ASSERT_EQ(input_fixed_key_names().size(), 98u);
    for (int scan = 0; scan < k_input_key_count; ++scan) {
        const char* name = input_code_name(key(scan));
        ASSERT_NE(name, nullptr) << scan;
        EXPECT_EQ(input_code_for_name(name), key(scan)) << name;
    }
    for (int code : {k_input_close, k_input_mouse_left, k_input_mouse_middle, k_input_mouse_right})
        EXPECT_EQ(input_code_for_name(input_code_name(code)), code);
    // Interned: the same name is the same string.
    EXPECT_EQ(input_code_name(key(29)), input_code_name(key(29)));
    EXPECT_STREQ(input_code_name(key(0x1fe)), "0x1fe");
    EXPECT_EQ(input_code_name(300), nullptr);
    EXPECT_EQ(input_code_name(9000), nullptr);
}

TEST_F(InputTest, QueueKeepsTimeOrder) {
    const double stamps[] = {1.0, 3.0, 2.0, 2.0, 0.5};
    for (int i = 0; i < 5; ++i)
        input_push_event(InputEvent{i, true, stamps[i]});
    // Earlier stamps come first; equal stamps keep their arrival order.
    const int order[] = {4, 0, 2, 3, 1};
    InputEvent e{};
    ASSERT_FALSE(input_take_event(0.4, false, e));
    ASSERT_TRUE(input_take_event(0.5, false, e));
    EXPECT_EQ(e.code, order[0]);
    ASSERT_FALSE(input_take_event(0.9, false, e));
    for (int i = 1; i < 5; ++i) {
        ASSERT_TRUE(input_take_event(0, true, e));
        EXPECT_EQ(e.code, order[i]);
    }
    EXPECT_FALSE(input_take_event(0, true, e));
}

TEST_F(InputTest, FullQueueDropsPressesButNeverReleases) {
    for (int i = 0; i < k_input_queue_size; ++i)
        ASSERT_TRUE(input_push_event(InputEvent{key(30), true, i * 0.001}));
    EXPECT_FALSE(input_push_event(InputEvent{key(31), true, 1.0})) << "the 257th event is lost";
    EXPECT_TRUE(input_push_event(InputEvent{key(30), false, 1.0})) << "a release must get through";
    // Even a queue full of releases takes one more release, in place of the newest press.
    for (int i = 0; i < k_input_queue_reserve + 10; ++i)
        input_push_event(InputEvent{key(40), false, 2.0});
    EXPECT_TRUE(input_push_event(InputEvent{key(50), false, 3.0}));
    InputEvent e{}, last{};
    bool saw_first_release = false;
    while (input_take_event(0, true, e)) {
        saw_first_release = saw_first_release || (e.code == key(30) && !e.pressed);
        last = e;
    }
    EXPECT_TRUE(saw_first_release);
    EXPECT_EQ(last.code, key(50));
    EXPECT_FALSE(last.pressed);
}

TEST_F(InputTest, DevicesGetUniqueNamesAndIds) {
    int a = input_add_device("Joystick 1", 2, 4, false);
    int b = input_add_device("Joystick 1", 2, 4, false);
    InputDevice* first = input_device(a);
    InputDevice* second = input_device(b);
    EXPECT_EQ(first->name, "Joystick1");
    EXPECT_EQ(second->name, "Joystick1#2");
    EXPECT_NE(first->id, second->id);
    EXPECT_EQ(first->id % k_input_device_unit, 0);
    // s1 = 'a' + 'c' (even positions), s2 = 'b' (odd): ((196 + 256 * 98) mod 32768) * 65536.
    EXPECT_EQ(input_device_id_for_name("abc"), ((196 + 256 * 98) % 32768) * 65536);
    // "cba" sums to the same id as "abc", so it gets the next multiple of 65536.
    int c = input_add_device("abc", 0, 1, false);
    int d = input_add_device("c.b a", 0, 1, false); // blanks and "." are dropped
    EXPECT_EQ(input_device(d)->name, "cba");
    EXPECT_EQ(input_device(d)->id, input_device(c)->id + k_input_device_unit);
    EXPECT_EQ(input_device(input_add_device("abc", 0, 1, false))->name, "abc#2");
}

TEST_F(InputTest, DeviceButtonsByName) {
    int pad = input_add_device("Pad", 1, 3, false);
    int id = input_device(pad)->id;
    // Buttons of a device not named anywhere do not report.
    input_device_button(pad, 0, true, 1.0);
    EXPECT_EQ(input_pending_events(), 0);
    struct Case {
        const char* name;
        int code;
    };
    const Case cases[] = {
        {"Pad.key[1]", id + 1}, {"Pad button 2", id + 2}, {"Pad.key[3]", -1},
        {"Pad button 300", -1}, {"Other.key[0]", -1},     {"Pad.key[-1]", -1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(input_code_for_name(c.name), c.code) << c.name;
    EXPECT_STREQ(input_code_name(id + 2), "Pad button 2");
    input_device_button(pad, 1, true, 1.0);
    input_device_button(pad, 1, true, 1.1); // no change, no event
    input_device_button(pad, 1, false, 1.2);
    InputEvent e{};
    ASSERT_TRUE(input_take_event(0, true, e));
    EXPECT_EQ(e.code, id + 1);
    EXPECT_TRUE(e.pressed);
    ASSERT_TRUE(input_take_event(0, true, e));
    EXPECT_FALSE(e.pressed);
    EXPECT_FALSE(input_take_event(0, true, e));
}

TEST_F(InputTest, AxesAbsoluteAndRelative) {
    int stick = input_add_device("Stick", 2, 0, false);
    int mouse = input_add_device("Mouse", 2, 3, true);
    EXPECT_EQ(input_open_axis("Stick.axis[2]"), -1);
    EXPECT_EQ(input_open_axis("Nothing axis 0"), -1);
    int x = input_open_axis("Stick axis 1");
    int dx = input_open_axis("mouse-x"); // alias of "Mouse.axis[0]"
    ASSERT_GE(x, 0);
    ASSERT_GE(dx, 0);
    EXPECT_EQ(input_device(stick)->users, 1);
    input_device_axis(stick, 1, 1200);
    input_device_axis(stick, 1, -300);
    EXPECT_EQ(input_read_axis(x), -300);
    EXPECT_EQ(input_read_axis(x), -300);
    input_device_axis(mouse, 0, 5);
    input_device_axis(mouse, 0, 7);
    EXPECT_EQ(input_read_axis(dx), 12);
    EXPECT_EQ(input_read_axis(dx), 0);
    input_close_axis(x);
    EXPECT_EQ(input_device(stick)->users, 0);
    EXPECT_EQ(input_code_for_name("mouse-left"), input_device(mouse)->id);
}

TEST_F(InputTest, SecondAliasIsRefused) {
    std::string path = home.home / "log.txt";
    ScopedEnv env("VORL_LOGFILE", path.c_str());
    EXPECT_FALSE(input_alias("cursor-x", "Stick.axis[0]"));
    log_close();
    EXPECT_NE(read_file(path).find("Second alias for 'cursor-x' ('Stick.axis[0]') ignored"),
              std::string::npos);
    EXPECT_TRUE(input_alias("throttle-pedal", "Pedals.axis[2]"));
}

} // namespace
