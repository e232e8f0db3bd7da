#include "core/messages.h"
#include "core/settings.h"
#include "core/setups.h"
#include "render/texture_manager.h"
#include "sim/bike_info.h"
#include "sim/setup.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

struct SetupFiles : ::testing::Test {
    TestHome home;
    void SetUp() override {
        settings_reset();
        messages_clear();
        g_setup_menu = SetupMenu{};
    }
    void TearDown() override {
        settings_reset();
        g_setup_menu = SetupMenu{};
    }
    std::string setups() const { return home.home_root() + "setups/"; }
    bool message_contains(const char* text) const {
        for (int i = 0; i < 8; ++i)
            if (std::string(message_line(i)).find(text) != std::string::npos) return true;
        return false;
    }
};

TEST_F(SetupFiles, WriteAndReadBackTheBikeSetup) {
    setting_read(*setting_find("bike"), "kx125");
    g_settings.name = "Ada";
    g_settings.stability = 30;
    g_settings.roll_damping = 12;
    g_settings.stop_wheelies = 2;
    g_settings.shock_preload_adjustment = 71;
    g_settings.rider_mass_distribution = 0.45;
    g_settings.fov = 90; // not part of the setup
    ASSERT_TRUE(setup_file_write("fast  \t"));
    ASSERT_TRUE(file_exists(setups() + "fast"));
    std::string file = read_file(setups() + "fast");
    EXPECT_EQ(file.rfind("bike=kx125\n", 0), 0u) << file;
    EXPECT_EQ(file.find("fov="), std::string::npos);
    EXPECT_EQ(file.find("_key="), std::string::npos);

    settings_reset();
    ASSERT_TRUE(setup_file_read("fast "));
    EXPECT_EQ(settings_bike_name(), "kx125");
    EXPECT_EQ(g_settings.name, "Ada");
    EXPECT_EQ(g_settings.stability, 30);
    EXPECT_EQ(g_settings.roll_damping, 12);
    EXPECT_EQ(g_settings.stop_wheelies, 2);
    EXPECT_EQ(g_settings.fov, 110);
    // The simulation's setup record follows the file.
    EXPECT_FLOAT_EQ(g_setup_menu.roll_damping, 12);
    EXPECT_FLOAT_EQ(g_setup_menu.shock_preload_adjustment, 71);
    EXPECT_FLOAT_EQ(g_setup_menu.rider_mass_distribution, 0.45f);
    EXPECT_EQ(g_setup_menu.stop_wheelies, 2);
}

TEST_F(SetupFiles, ReaderTakesOnlySetupKeys) {
    write_file(setups() + "mixed", "fov=20\nxres=1\nroll_damping=12\nsticky_dab=Yes\nlaps=3\n");
    ASSERT_TRUE(setup_file_read("mixed"));
    EXPECT_EQ(g_settings.fov, 110);
    EXPECT_EQ(g_settings.xres, 640);
    EXPECT_EQ(g_settings.laps, 5);
    EXPECT_EQ(g_settings.roll_damping, 12);
    EXPECT_EQ(g_settings.sticky_dab, ChoiceYes);
}

TEST_F(SetupFiles, MissingFileChangesNothing) {
    g_settings.roll_damping = 33;
    EXPECT_FALSE(setup_file_read("nothing here"));
    EXPECT_EQ(g_settings.roll_damping, 33);
}

// No setup name reaches outside the setups folder.
TEST_F(SetupFiles, NamesOutsideTheFolderAreRefused) {
    const char* names[] = {"",       "   ",  "..",    ".",       "../config", "a/b",
                           "/tmp/x", "a\\b", "..\\x", ".hidden", "tab\tin",   "\x7f"};
    write_file(home.home_root() + "config", "fov=20\n");
    std::string long_name(k_setup_name_max + 1, 'n');
    std::vector<std::string> all(std::begin(names), std::end(names));
    all.push_back(long_name);
    for (const std::string& name : all) {
        messages_clear();
        EXPECT_FALSE(setup_file_write(name.c_str())) << name;
        EXPECT_TRUE(message_contains("Bad setup name")) << name;
        messages_clear();
        EXPECT_FALSE(setup_file_read(name.c_str())) << name;
        EXPECT_TRUE(message_contains("Bad setup name")) << name;
    }
    EXPECT_EQ(read_file(home.home_root() + "config"), "fov=20\n");
    EXPECT_EQ(g_settings.fov, 110);
    EXPECT_TRUE(setup_files_list().empty());
    // Dots inside a name are fine.
    EXPECT_TRUE(setup_file_write("v1.2..final"));
    EXPECT_TRUE(file_exists(setups() + "v1.2..final"));
}

TEST_F(SetupFiles, FailedWriteKeepsTheOldFileAndReports) {
    write_file(setups() + "keep", "roll_damping=1\n");
    std::filesystem::create_directories(setups() + ".keep.new");
    EXPECT_FALSE(setup_file_write("keep"));
    EXPECT_TRUE(message_contains("Can't write setup"));
    EXPECT_EQ(read_file(setups() + "keep"), "roll_damping=1\n");

    // The setups folder is a file: nothing can be written below it.
    TestHome other;
    write_file(other.home_root() + "setups", "");
    messages_clear();
    EXPECT_FALSE(setup_file_write("any"));
    EXPECT_TRUE(message_contains("Can't write setup"));
}

TEST_F(SetupFiles, ListFindsSetupsInHomeAndData) {
    write_file(setups() + "b", "");
    write_file(setups() + "a", "");
    write_file(setups() + ".a.new", "");
    std::filesystem::create_directories(setups() + "folder");
    write_file(home.data_root() + "setups/c.gz", "");
    write_file(home.data_root() + "setups/a", "");
    EXPECT_EQ(setup_files_list(), (std::vector<std::string>{"a", "b", "c"}));
}

struct BikeLine {
    const char* value;
    const char* bike;
};

TEST_F(SetupFiles, OldBikeNamesAreMapped) {
    const BikeLine cases[] = {
        {"crf250", "crf250(2008)"}, {"kx250f", "kx250f(2008)"},       {"rmz250", "rmz250(2008)"},
        {"yz250f", "yz250f(2008)"}, {"crf250(2016)", "crf250(2016)"}, {"CRF250", "450sxf(2016)"},
    };
    for (const BikeLine& c : cases) {
        settings_reset();
        write_file(setups() + "bike", std::string("bike=") + c.value + "\n");
        ASSERT_TRUE(setup_file_read("bike"));
        EXPECT_EQ(settings_bike_name(), c.bike) << c.value;
    }
}

// Choosing a bike lists its own graphics and starts at the first; a graphics line that follows in
// the file chooses again.
TEST_F(SetupFiles, BikeLineRebuildsTheBikeGraphics) {
    const BikeInfo* kx = bike_info_by_name("kx125");
    ASSERT_NE(kx, nullptr);
    write_file(home.data_root() + texture_variant_prefix(kx->bike_texture) + "blue.png", "");
    Setting* graphics = setting_find("bike_texture");
    write_file(setups() + "g1", "bike_texture=blue\nbike=kx125\n");
    write_file(setups() + "g2", "bike=kx125\nbike_texture=blue\n");
    ASSERT_TRUE(setup_file_read("g1"));
    EXPECT_EQ(graphics->options, (std::vector<std::string>{"default", "blue"}));
    EXPECT_EQ(setting_choice_text(*graphics), "default");
    ASSERT_TRUE(setup_file_read("g2"));
    EXPECT_EQ(setting_choice_text(*graphics), "blue");
    EXPECT_EQ(g_texture_choices.bike.size(), 2u);
    setting_set_options(*graphics, {});
    g_texture_choices = TextureChoices{};
}

} // namespace
