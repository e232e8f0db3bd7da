#include "core/command_line.h"
#include "core/config.h"
#include "core/messages.h"
#include "core/settings.h"
#include "core/setups.h"
#include "render/texture_manager.h"
#include "sim/bike_info.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <sstream>

namespace {

// A clean home and the settings at their defaults.
struct ConfigTest : ::testing::Test {
    TestHome home;
    void SetUp() override {
        settings_reset();
        messages_clear();
    }
    void TearDown() override { settings_reset(); }
    std::string config_path() const { return home.home_root() + "config"; }
    std::string value(const char* key) const { return setting_value_text(*setting_find(key)); }
    bool message_contains(const char* text) const {
        for (int i = 0; i < 8; ++i)
            if (std::string(message_line(i)).find(text) != std::string::npos) return true;
        return false;
    }
};

std::vector<std::string> keys_of(const std::string& file) {
    std::vector<std::string> keys;
    std::istringstream in(file);
    std::string line;
    while (std::getline(in, line))
        keys.push_back(line.substr(0, line.find('=')));
    return keys;
}

struct LineCase {
    std::string line;
    const char* key;
    std::string expected;
};

TEST_F(ConfigTest, LinesAndTheirEffects) {
    const LineCase cases[] = {
        {"fov=500\n", "fov", "170.000000"},
        {"fov=5\n", "fov", "10.000000"},
        {"fov=abc\n", "fov", "110.000000"},
        {"fov=nan\n", "fov", "110.000000"},
        {"fov=90.5\r\n", "fov", "90.500000"},
        {"fov 20\n", "fov", "110.000000"},  // no "=": ignored
        {"Fov=20\n", "fov", "110.000000"},  // keys are case-sensitive
        {"fov =20\n", "fov", "110.000000"}, // and compared whole
        {"ground_texture_dim=100x100\n", "ground_texture_dim", "128x128"},
        {"ground_texture_dim=256x256\r\n", "ground_texture_dim", "256x256"},
        {"record=yes\n", "record", "No"}, // options match case-sensitively
        {"name=a=b\n", "name", "a=b"},
        {"name=" + std::string(80, 'n') + "\n", "name", std::string(63, 'n')},
        {"number=12345\n", "number", "123"},
        {"server_name_hist03=" + std::string(200, 'h') + "\n", "server_name_hist03", ""},
        {"server_name_hist03=" + std::string(126, 'h') + "\n", "server_name_hist03", std::string(126, 'h')},
        {"server_name=" + std::string(200, 's') + "\n", "server_name", std::string(127, 's')},
        {"xres=800x600\n", "xres", "800"},
        {"xres=wide\n", "xres", "640"},
        {"xres=99999999999\n", "xres", "640"},
        {"map_scale=20\n", "map_scale", "8.000000"},
        {"map_scale=0\n", "map_scale", "0.125000"},
        {"bike=crf250\n", "bike", "crf250(2008)"},
        {"bike=yz250f\n", "bike", "yz250f(2008)"},
        {"bike=no such bike\n", "bike", "450sxf(2016)"},
        {"use_fbo=No\n", "render_texture", "Hardware/Copy"},
        {"render_texture=Software\nuse_fbo=Yes\n", "render_texture", "Hardware/Direct"},
        {"render_texture=Software\nground_texture_distance=3\n", "render_texture", "Software"},
        {"left_key=(0.1,0.9)joy 0 axis 1\n", "left_key", "(0.100000,0.900000)joy 0 axis 1"},
        {"unknown_key=1\nlaps=7\n", "laps", "7.000000"},
        {"slot07=Robot (2 stroke)\n", "slot07", "Robot (2 stroke)"},
        {"rider_texture=blue\n", "rider_texture", "blue"}, // held until the texture list exists
    };
    for (const LineCase& c : cases) {
        settings_reset();
        write_file(config_path(), c.line);
        EXPECT_TRUE(config_read());
        EXPECT_EQ(value(c.key), c.expected) << c.line;
    }
}

TEST_F(ConfigTest, MissingFileLeavesTheStartUpValues) {
    config_startup_defaults();
    EXPECT_FALSE(config_read());
    EXPECT_EQ(graphics_preset_current(), PresetCompatibility);
    EXPECT_EQ(g_settings.roll_damping, 80);
    EXPECT_EQ(g_settings.direct_steering, 0);
    EXPECT_EQ(g_settings.fov, 110);
}

// The tail of a line longer than the reader takes must not turn into a line of its own.
TEST_F(ConfigTest, OverlongLineTailIsNotReadAsAKey) {
    std::string line = "track=" + std::string(1017, 't') + "fov=20\nlaps=9\n";
    write_file(config_path(), line);
    ASSERT_TRUE(config_read());
    EXPECT_EQ(g_settings.fov, 110);
    EXPECT_EQ(g_settings.track, std::string(1017, 't'));
    EXPECT_EQ(g_settings.laps, 9);
}

// Every setting moved off its default, written, reset and read back.
TEST_F(ConfigTest, WriteAndReadKeepEveryValue) {
    const BikeInfo& last_bike = bike_info_at(k_bike_count - 1);
    write_file(home.data_root() + texture_variant_prefix(last_bike.bike_texture) + "shiny.png", "");
    for (int i = 0; i < settings_count(); ++i) {
        Setting& s = setting_at(i);
        switch (s.kind) {
        case SettingKind::Choice:
            if (s.key == "bike")
                setup_read_line("bike", last_bike.name); // lists the bike's graphics
            else if (s.options.empty())
                setting_read(s, ("variant-" + s.key).c_str());
            else
                setting_set_choice(s, static_cast<int>(s.options.size()) - 1);
            break;
        case SettingKind::Number:
            setting_set_number(s, s.maximum - s.step);
            break;
        case SettingKind::Text:
            *s.text = s.key.substr(0, static_cast<size_t>(s.max_length));
            break;
        case SettingKind::Integer:
            *s.integer = 1000 + i;
            break;
        case SettingKind::Binding:
            if (i % 2)
                binding_parse(*s.binding, ("(-0.25,0.75)axis " + s.key).c_str());
            else
                binding_parse(*s.binding, ("(k)key " + s.key).c_str());
            break;
        }
    }
    g_settings.use_fbo = ChoiceYes; // read-only key: its value must not reach the file
    std::vector<std::string> before;
    for (int i = 0; i < settings_count(); ++i)
        before.push_back(setting_value_text(setting_at(i)));

    ASSERT_TRUE(config_write());
    std::string first = read_file(config_path());
    settings_reset();
    ASSERT_TRUE(config_read());
    for (int i = 0; i < settings_count(); ++i) {
        const Setting& s = setting_at(i);
        if (!s.written) continue;
        EXPECT_EQ(setting_value_text(s), before[static_cast<size_t>(i)]) << s.key;
    }
    ASSERT_TRUE(config_write());
    EXPECT_EQ(read_file(config_path()), first);
    EXPECT_FALSE(file_exists(home.home_root() + ".config.new"));
    EXPECT_NE(first.find("bike_texture=shiny\n"), std::string::npos);
    setting_set_options(*setting_find("bike_texture"), {});
    g_texture_choices = TextureChoices{};
}

TEST_F(ConfigTest, KeysAreWrittenInTheirFixedOrder) {
    g_settings.bindings[BindScreenshot] = Binding{};
    ASSERT_TRUE(config_write());
    std::vector<std::string> keys = keys_of(read_file(config_path()));
    auto at = [&](const char* key) {
        for (size_t i = 0; i < keys.size(); ++i)
            if (keys[i] == key) return static_cast<int>(i);
        return -1;
    };
    ASSERT_FALSE(keys.empty());
    EXPECT_EQ(keys.front(), "xres");
    EXPECT_EQ(at("slot00") + 39, at("slot39"));
    EXPECT_EQ(at("time_trial_abort") + 1, at("bike"));
    EXPECT_EQ(at("stability") + 1, at("leveling"));
    EXPECT_EQ(at("rider_mass_distribution") + 1, at("video_mode"));
    EXPECT_EQ(at("map_scale") + 1, at("throttle_key"));
    EXPECT_EQ(keys.back(), "console_key"); // the unbound screenshot key writes nothing
    EXPECT_EQ(at("use_fbo"), -1);
    EXPECT_EQ(at("ground_texture_distance"), -1);
    EXPECT_EQ(at("draw_render_stats"), -1);
}

// A text with a line break (a server name from the command line, say) cannot add a line of its own.
TEST_F(ConfigTest, TextValuesCannotInjectLines) {
    g_settings.server_name = "race.example\nfov=20";
    ASSERT_TRUE(config_write());
    settings_reset();
    ASSERT_TRUE(config_read());
    EXPECT_EQ(g_settings.server_name, "race.example");
    EXPECT_EQ(g_settings.fov, 110);
}

// A write that fails keeps the previous file whole and says so.
TEST_F(ConfigTest, FailedWriteKeepsTheOldFileAndReports) {
    write_file(config_path(), "fov=33\n");
    std::filesystem::create_directories(home.home_root() +
                                        ".config.new"); // the temporary file cannot be made
    g_settings.fov = 99;
    EXPECT_FALSE(config_write());
    EXPECT_EQ(read_file(config_path()), "fov=33\n");
    EXPECT_TRUE(message_contains("Can't write configuration"));
    std::filesystem::remove(home.home_root() + ".config.new");

    // The final name taken by a folder: the rename fails and the temporary file is cleaned up.
    std::filesystem::remove(config_path());
    std::filesystem::create_directories(config_path() + "/inside");
    messages_clear();
    EXPECT_FALSE(config_write());
    EXPECT_TRUE(message_contains("Can't write configuration"));
    EXPECT_FALSE(file_exists(home.home_root() + ".config.new"));
}

struct StabilityCase {
    double stability;
    double roll_damping, roll_limit_angle, roll_limit_factor, direct_steering, slow_damping_factor;
    double land_damping_falloff, land_damping_factor, restricted_lock;
};

TEST_F(ConfigTest, StabilityLevelsInterpolate) {
    const StabilityCase cases[] = {
        {0, 40, 90, 0, 1, 1, 0, 1, 45},      {50, 65, 42.5, 21, 1, 1.75, 0.25, 2, 7.5},
        {100, 80, 35, 32, 0, 2, 0.25, 2, 5}, {90, 75 + 0.5 * 5, 35, 32, 0.5, 2, 0.25, 2, 5},
        {-20, 40, 90, 0, 1, 1, 0, 1, 45},    {250, 80, 35, 32, 0, 2, 0.25, 2, 5},
    };
    for (const StabilityCase& c : cases) {
        settings_reset();
        write_file(config_path(), "stability=" + std::to_string(c.stability) + "\n");
        ASSERT_TRUE(config_read());
        const Settings& g = g_settings;
        SCOPED_TRACE(c.stability);
        EXPECT_DOUBLE_EQ(g.roll_damping, c.roll_damping);
        EXPECT_DOUBLE_EQ(g.roll_limit_angle, c.roll_limit_angle);
        EXPECT_DOUBLE_EQ(g.roll_limit_factor, c.roll_limit_factor);
        EXPECT_DOUBLE_EQ(g.direct_steering, c.direct_steering);
        EXPECT_DOUBLE_EQ(g.slow_damping_factor, c.slow_damping_factor);
        EXPECT_DOUBLE_EQ(g.land_damping_falloff, c.land_damping_falloff);
        EXPECT_DOUBLE_EQ(g.land_damping_factor, c.land_damping_factor);
        EXPECT_DOUBLE_EQ(g.restricted_lock, c.restricted_lock);
        EXPECT_DOUBLE_EQ(g.leveling, 20);
        EXPECT_DOUBLE_EQ(g.max_steering_force, 400);
    }
    // Values adjusted by hand after the slider survive, since they follow it in the file.
    settings_reset();
    write_file(config_path(), "stability=50\nroll_damping=12\n");
    ASSERT_TRUE(config_read());
    EXPECT_EQ(g_settings.stability, 50);
    EXPECT_EQ(g_settings.roll_damping, 12);
    EXPECT_EQ(g_settings.roll_limit_angle, 42.5);
}

struct BindingCase {
    const char* value;
    const char* key_name;
    const char* axis_name;
    float axis_min, axis_max;
    const char* printed;
};

TEST(Bindings, ParseAndPrintBack) {
    const BindingCase cases[] = {
        {"(0.1,0.9)joy 0 axis 2", "", "joy 0 axis 2", 0.1f, 0.9f, "(0.100000,0.900000)joy 0 axis 2"},
        {"(-0.05625,-0.84375)stick", "", "stick", -0.05625f, -0.84375f, "(-0.056250,-0.843750)stick"},
        {"(nan,0.5)stick", "", "stick", 0, 1, "(0.000000,1.000000)stick"},
        {"(0.2,inf)stick", "", "stick", 0, 1, "(0.000000,1.000000)stick"},
        {"(k)a", "a", "", 0, 1, "(k)a"},
        {"a", "a", "", 0, 1, "(k)a"},
        {"   (k)right ctrl", "right ctrl", "", 0, 1, "(k)right ctrl"},
        {"(x)", "(x)", "", 0, 1, "(k)(x)"},
        {"(0.5)q", "(0.5)q", "", 0, 1, "(k)(0.5)q"},
        {"(k)", "", "", 0, 1, ""},
        {"", "", "", 0, 1, ""},
    };
    for (const BindingCase& c : cases) {
        Binding b;
        b.key_name = "old";
        binding_parse(b, c.value);
        EXPECT_EQ(b.key_name, c.key_name) << c.value;
        EXPECT_EQ(b.axis_name, c.axis_name) << c.value;
        EXPECT_FLOAT_EQ(b.axis_min, c.axis_min) << c.value;
        EXPECT_FLOAT_EQ(b.axis_max, c.axis_max) << c.value;
        std::string printed = binding_text(b);
        EXPECT_EQ(printed, c.printed) << c.value;
        Binding again;
        binding_parse(again, printed.c_str());
        EXPECT_EQ(binding_text(again), printed) << c.value;
    }
}

struct DerivedCase {
    double ground_detail, ground_texture_detail;
    int dim;
    double model_detail, model_texture_detail, roost_density;
    float ground_detail_scale;
    int ground_texture_skip, ground_texture_size;
    float lod_scale, lod_bias;
    int texture_skip, roost_frequency;
};

TEST(DerivedRenderParams, FollowTheGraphicsSettings) {
    const DerivedCase cases[] = {
        {70, 9, 1, 50, 9, 1000, 0.125f / 70, 1, 64, 1, 0, 1, 1000},
        {100, 10, 5, 100, 10, 0, 0.00125f, 0, 1024, 0, 0, 0, 0},
        {50, 0, 0, 25, 0, 255.9, 0.0025f, 10, 32, 1.5f * 1.5f * 1.5f, 12.5f, 10, 255},
        {50, 7.5, 2, 0, 7, 10, 0.0025f, 2, 128, 8, 50, 3, 10},
        {50, 9, 2, 20, 9, 10, 0.0025f, 1, 128, 1.6f * 1.6f * 1.6f, 25, 1, 10},
        // Detail 0 would divide by zero: it gets the coarsest finite scale.
        {0, 9, 2, 50, 9, 10, 0.125f, 1, 128, 1, 0, 1, 10},
    };
    for (const DerivedCase& c : cases) {
        Settings s;
        s.ground_detail = c.ground_detail;
        s.ground_texture_detail = c.ground_texture_detail;
        s.ground_texture_dim = c.dim;
        s.model_detail = c.model_detail;
        s.model_texture_detail = c.model_texture_detail;
        s.roost_density = c.roost_density;
        DerivedRenderParams p = render_params_derive(s);
        SCOPED_TRACE(c.ground_detail);
        EXPECT_TRUE(std::isfinite(p.ground_detail_scale));
        EXPECT_FLOAT_EQ(p.ground_detail_scale, c.ground_detail_scale);
        EXPECT_EQ(p.ground_texture_skip, c.ground_texture_skip);
        EXPECT_EQ(p.ground_texture_size, c.ground_texture_size);
        EXPECT_FLOAT_EQ(p.lod_scale, c.lod_scale);
        EXPECT_FLOAT_EQ(p.lod_bias, c.lod_bias);
        EXPECT_EQ(p.texture_skip, c.texture_skip);
        EXPECT_EQ(p.roost_frequency, c.roost_frequency);
    }
}

// Start-up order: the derived values land in the launch options, and the command line parsed
// afterwards overrides them.
TEST_F(ConfigTest, StartUpDerivesThenTheCommandLineOverrides) {
    write_file(config_path(),
               "model_texture_detail=6\nground_texture_detail=8\nroost_density=300\nmessage_lines=3\n");
    config_startup_defaults();
    LaunchOptions launch;
    launch_options_defaults(launch);
    config_load_at_startup(launch);
    EXPECT_EQ(launch.texture_skip, 4);
    EXPECT_EQ(launch.ground_texture_skip, 2);
    EXPECT_EQ(launch.roost_frequency, 300);
    EXPECT_FLOAT_EQ(launch.ground_detail_scale, 0.125f / 70);
    EXPECT_EQ(g_message_lines, 3);
    std::string a0 = "korvane", a1 = "--roostfrequency", a2 = "40";
    char* argv[] = {a0.data(), a1.data(), a2.data()};
    EXPECT_EQ(parse_command_line(3, argv, launch), -1);
    EXPECT_EQ(launch.roost_frequency, 40);
    EXPECT_EQ(launch.texture_skip, 4);
    g_message_lines = 5;
}

TEST_F(ConfigTest, RegistryServesMenusByKeyAndLabel) {
    Setting* fov = setting_find_label("Field Of View");
    ASSERT_NE(fov, nullptr);
    EXPECT_EQ(fov, setting_find("fov"));
    EXPECT_EQ(setting_find_label(""), nullptr);
    EXPECT_EQ(setting_find("nope"), nullptr);
    // A choice wraps around like the menu's left and right keys.
    Setting* record = setting_find("record");
    setting_set_choice(*record, -1);
    EXPECT_EQ(setting_choice_text(*record), "Yes");
    // An option list built later picks up the text held from the file.
    Setting* helmet = setting_find("head_texture");
    setting_read(*helmet, "red");
    setting_set_options(*helmet, {"default", "blue", "red"});
    EXPECT_EQ(g_settings.head_texture, 2);
    setting_set_options(*helmet, {"default", "green"});
    EXPECT_EQ(g_settings.head_texture, 0);
    setting_set_options(*helmet, {});
    // Presets: all twelve equal to a column name it; one step off is custom.
    graphics_preset_apply(PresetHighFps);
    EXPECT_EQ(graphics_preset_current(), PresetHighFps);
    setting_set_number(*setting_find("roost_density"), 10);
    EXPECT_EQ(graphics_preset_current(), -1);
}

} // namespace
