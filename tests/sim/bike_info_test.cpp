#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <set>
#include <string>

#include "core/messages.h"
#include "sim/bike_info.h"
#include "test_support.h"

namespace {

int index_of(const char* name) {
    for (int i = 0; i < k_bike_count; ++i)
        if (strcmp(bike_info_at(i).name, name) == 0) return i;
    return -1;
}

TEST(BikeCatalogue, OrderNamesAndClasses) {
    std::set<std::string> names;
    for (int i = 0; i < k_bike_count; ++i)
        names.insert(bike_info_at(i).name);
    EXPECT_EQ(names.size(), static_cast<size_t>(k_bike_count));
    EXPECT_STREQ(bike_info_at(0).name, "450sxf(2016)");
    EXPECT_STREQ(bike_info_at(k_bike_count - 1).name, "rs50yz");
    struct Case {
        const char* name;
        const char* cls;
        float frame_mass, engine_inertia, driveline_stiffness;
    };
    const Case cases[] = {
        {"450sxf(2016)", "450f", 4.735f, 0.00885f, 7500},
        {"450sxf(2013)", "450f", 4.735f, 0.00885f, 7500},
        {"350sxf(2013)", "250f", 4.735f, 0.006836f, 7500}, // labelled 250f, built as a 450f
        {"350sxf(2011)", "450f", 4.735f, 0.006836f, 7500},
        {"crf450(2011)", "450f", 4.735f, 0.00885f, 7500},
        {"250sx(2012)", "250", 4.365625f, 0.006836f, 7500},
        {"yz250(2012)", "250", 4.365625f, 0.006836f, 7500},
        {"crf250(2016)", "250f", 4.24f, 0.004883f, 7500},
        {"yz250f_se(2006)", "250f", 4.24f, 0.004883f, 7500},
        {"cr125", "125", 3.65375f, 0.004883f, 7500},
        {"125sx", "125", 3.65375f, 0.004883f, 7500},
        {"rs50cr", "50", 3.34125f, 0.001194f, 1200},
    };
    for (const Case& c : cases) {
        const BikeInfo* b = bike_info_by_name(c.name);
        ASSERT_NE(b, nullptr) << c.name;
        EXPECT_STREQ(b->bike_class, c.cls) << c.name;
        EXPECT_FLOAT_EQ(b->frame_mass, c.frame_mass) << c.name;
        EXPECT_FLOAT_EQ(b->engine_inertia, c.engine_inertia) << c.name;
        EXPECT_FLOAT_EQ(b->driveline_stiffness, c.driveline_stiffness) << c.name;
    }
    EXPECT_EQ(index_of("350sxf(2013)"), 10);
    EXPECT_EQ(bike_info_by_name("nope"), nullptr);
}

TEST(BikeCatalogue, TellingDriveRows) {
    struct Row {
        const char* name;
        float primary, front, rear;
        float gears[6];
    };
    const Row rows[] = {
        {"450sxf(2016)", 2.451613f, 13, 48, {2, 1.666667f, 1.4f, 1.181818f, 1, -1}},
        {"yz250(2012)", 3.0f, 14, 50, {1.928571f, 1.533333f, 1.277778f, 1.090909f, 0.952381f, -1}},
        {"250sxf(2013)", 3.041667f, 13, 50, {2.461538f, 2, 1.647059f, 1.368421f, 1.190476f, 1.090909f}},
        {"yz125", 3.368421f, 13, 48, {2.384615f, 1.933333f, 1.588235f, 1.352941f, 1.2f, 1.095238f}},
        {"rs50yz", 3.714286f, 12, 55, {3.090909f, 2, 1.5f, 1.2f, 1.045455f, 0.956522f}},
    };
    for (const Row& r : rows) {
        const BikeInfo& b = *bike_info_by_name(r.name);
        EXPECT_FLOAT_EQ(b.primary_ratio, r.primary) << r.name;
        EXPECT_FLOAT_EQ(b.front_sprocket, r.front) << r.name;
        EXPECT_FLOAT_EQ(b.rear_sprocket, r.rear) << r.name;
        for (int g = 0; g < 6; ++g)
            EXPECT_FLOAT_EQ(b.gear_ratios[g], r.gears[g]) << r.name << " gear " << g;
    }
}

TEST(BikeCatalogue, GearingIsRealisticForEveryModel) {
    for (int i = 0; i < k_bike_count; ++i) {
        const BikeInfo& b = bike_info_at(i);
        int top = bike_top_gear(b);
        EXPECT_GE(top, 4) << b.name;
        for (int g = 1; g <= top; ++g)
            EXPECT_LT(b.gear_ratios[g], b.gear_ratios[g - 1]) << b.name;
        for (int g = top + 1; g < k_gear_slots; ++g)
            EXPECT_EQ(b.gear_ratios[g], -1) << b.name;
        // Overall reductions (engine turns per wheel turn) of real bikes: first gear 12 to 60 (the
        // small bikes rev highest), top gear 5 to 25.
        double drive = b.primary_ratio * b.rear_sprocket / b.front_sprocket;
        EXPECT_GT(b.gear_ratios[0] * drive, 12) << b.name;
        EXPECT_LT(b.gear_ratios[0] * drive, 60) << b.name;
        EXPECT_GT(b.gear_ratios[top] * drive, 5) << b.name;
        EXPECT_LT(b.gear_ratios[top] * drive, 25) << b.name;
    }
}

TEST(BikeCatalogue, ReferenceTorqueCurves) {
    const BikeInfo& b = *bike_info_by_name("450sxf(2016)");
    const float open[] = {5,       5,      5,       5,       5,       8.403f,  11.807f, 15.21f,  18.613f,
                          22.017f, 25.42f, 30.749f, 32.913f, 34.422f, 35.039f, 36.205f, 35.846f, 34.911f,
                          33.905f, 31.07f, 28.939f, 26.761f, 24.255f, 12.128f, 0};
    for (int i = 0; i < 25; ++i)
        EXPECT_FLOAT_EQ(b.open_throttle_torque[i], open[i]) << i;
    EXPECT_FLOAT_EQ(b.open_throttle_torque[25], -10);
    EXPECT_FLOAT_EQ(b.open_throttle_torque[49], -34);
    const float closed_start[] = {2, 2, 1, 0, -1, -1, -2, -2, -3, -3};
    for (int i = 0; i < 10; ++i)
        EXPECT_FLOAT_EQ(b.closed_throttle_torque[i], closed_start[i]) << i;
    EXPECT_FLOAT_EQ(b.closed_throttle_torque[49], -23);

    const BikeInfo& two = *bike_info_by_name("yz250(2012)");
    EXPECT_FLOAT_EQ(two.closed_throttle_torque[16], -4); // gentler below 8000 rpm
    const BikeInfo& fifty = *bike_info_by_name("rs50yz");
    EXPECT_FLOAT_EQ(fifty.closed_throttle_torque[16], -2);
    EXPECT_FLOAT_EQ(fifty.closed_throttle_torque[0], 1);
}

struct CurveShape {
    float peak;
    int peak_index;
    int wide_points; // entries at 80% of the peak or more
};

CurveShape shape_of(const BikeInfo& b) {
    CurveShape s{0, 0, 0};
    for (int i = 0; i < k_torque_points; ++i)
        if (b.open_throttle_torque[i] > s.peak) {
            s.peak = b.open_throttle_torque[i];
            s.peak_index = i;
        }
    for (int i = 0; i < k_torque_points; ++i)
        if (b.open_throttle_torque[i] >= 0.8f * s.peak) ++s.wide_points;
    return s;
}

TEST(BikeCatalogue, EveryCurveIsShapedForItsClass) {
    for (int i = 0; i < k_bike_count; ++i) {
        const BikeInfo& b = bike_info_at(i);
        // Above the working range the curve reaches zero and stays negative.
        int zero = -1;
        for (int k = 0; k < k_torque_points; ++k)
            if (b.open_throttle_torque[k] <= 0) {
                zero = k;
                break;
            }
        ASSERT_GT(zero, 0) << b.name;
        EXPECT_GT(zero * 500.0f, b.auto_upshift_rpm) << b.name;
        for (int k = zero + 1; k < k_torque_points; ++k)
            EXPECT_LT(b.open_throttle_torque[k], 0) << b.name;
        for (int k = 0; k < zero; ++k)
            EXPECT_GE(b.open_throttle_torque[k], b.closed_throttle_torque[k]) << b.name << " at " << k;
    }
    CurveShape four = shape_of(*bike_info_by_name("yz250f(2016)"));
    CurveShape two = shape_of(*bike_info_by_name("yz250(2012)"));
    CurveShape fifty = shape_of(*bike_info_by_name("rs50yz"));
    CurveShape big = shape_of(*bike_info_by_name("yz450f(2016)"));
    EXPECT_GT(two.peak, four.peak);
    EXPECT_LT(two.wide_points, four.wide_points);
    EXPECT_LT(fifty.peak, 5);
    EXPECT_GT(big.peak, two.peak);
    EXPECT_GT(four.peak_index, big.peak_index); // the small four-stroke revs higher
}

TEST(BikeCatalogue, FindFallsBackWithAMessage) {
    TestHome home;
    struct Case {
        const char* asked;
        const char* chosen;
        const char* message; // null: none written
    };
    const Case cases[] = {
        {"yz125", "yz125", nullptr},
        {"kx125x", "cr125", "bike info for 'kx125x' not found using 'cr125' instead"},
        {"dragster", "kx250f(2016)", "bike info for 'dragster' not found using 'kx250f(2016)' instead"},
        {"", "kx250f(2016)", "bike info for '' not found using 'kx250f(2016)' instead"},
        {"a-very-long-name-of-a-bike-that-goes-on", "kx250f(2016)",
         "bike info for 'a-very-long-name-of-' not found using 'kx250f(2016)' instead"},
    };
    for (const Case& c : cases) {
        messages_clear();
        EXPECT_STREQ(bike_info_find(c.asked).name, c.chosen) << c.asked;
        EXPECT_STREQ(message_line(0), c.message ? c.message : "") << c.asked;
    }
    messages_clear();
    EXPECT_STREQ(bike_info_find(nullptr).name, "kx250f(2016)");
}

TEST(BikeCatalogue, DisplayTexts) {
    const BikeInfo& b = *bike_info_by_name("450sxf(2016)");
    const BikeInfo& small = *bike_info_by_name("rs50yz");
    char text[32];
    EXPECT_STREQ(bike_display_fork_spring(b, 0, text, sizeof text), "0.280 kg/mm");
    EXPECT_STREQ(bike_display_shock_spring(b, 100, text, sizeof text), "7.70 kg/mm");
    EXPECT_STREQ(bike_display_fork_preload(b, 100, text, sizeof text), "25.40 mm");
    EXPECT_STREQ(bike_display_fork_oil_level(b, 0, text, sizeof text), "127.00 mm");
    EXPECT_STREQ(bike_display_fork_oil_level(b, 100, text, sizeof text), "76.20 mm");
    EXPECT_STREQ(bike_display_shock_preload(b, 50, text, sizeof text), "50.80 mm");
    EXPECT_STREQ(bike_display_front_sprocket(small, -2, text, sizeof text), "10.00 teeth");
    EXPECT_STREQ(bike_display_rear_sprocket(b, 1, text, sizeof text), "49.00 teeth");
}

} // namespace
