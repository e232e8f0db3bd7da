// Collision shapes: reading ".shp" files (and refusing bad ones), the per-rider copies, spheres
// against the terrain.
#include <gtest/gtest.h>

#include <cmath>

#include "contact_fixture.h"
#include "core/messages.h"
#include "data/stream.h"
#include "sim/shapes.h"

namespace {

struct ShapeFile : testing::Test {
    TestHome home;
    void SetUp() override {
        search_paths_reset();
        shape_cache_reset();
        messages_clear();
    }
    void TearDown() override { shape_cache_reset(); }
};

} // namespace

TEST_F(ShapeFile, ReadsSpheresAndRefusesBadFiles) {
    struct Case {
        const char* what;
        const char* text;
        bool ok;
        int count;
    };
    const Case cases[] = {
        {"two spheres", "2\n0 1 2 0.5 0.7 12000 1200\n-1 0 0 0.25 0.5 25000 2500\n", true, 2},
        {"no spheres", "0\n", true, 0},
        {"negative count", "-3\n0 0 0 1 1 1 1\n", false, 0},
        {"absurd count", "2000000000\n0 0 0 1 1 1 1\n", false, 0},
        {"one more than the limit", "257\n", false, 0},
        {"short sphere", "1\n0 0 0 0.5 0.7 12000\n", false, 0},
        {"count promises more than given", "3\n0 0 0 0.5 0.7 1 1\n", false, 0},
        {"no count", "spheres\n", false, 0},
        {"zero radius", "1\n0 0 0 0 0.7 1 1\n", false, 0},
        {"huge radius", "1\n0 0 0 1e9 0.7 1 1\n", false, 0},
        {"negative friction", "1\n0 0 0 1 -1 1 1\n", false, 0},
        {"no stiffness and no damping", "1\n0 0 0 1 1 0 0\n", false, 0},
        {"centre far away", "1\n0 1e7 0 1 1 1 1\n", false, 0},
    };
    for (const Case& c : cases) {
        write_file(home.data_root() + "part.shp", c.text);
        shape_cache_reset();
        messages_clear();
        const CollisionShape* shape = shape_load("@part.shp");
        ASSERT_EQ(shape != nullptr, c.ok) << c.what;
        if (shape) {
            EXPECT_EQ(int(shape->spheres.size()), c.count) << c.what;
            EXPECT_STREQ(message_line(0), "") << c.what;
        } else {
            EXPECT_NE(std::string(message_line(0)).find("Bad collision shape '@part.shp'"), std::string::npos)
                << c.what << ": " << message_line(0);
        }
    }
}

TEST_F(ShapeFile, BoundHoldsEverySphereAndCopiesAreTheRidersOwn) {
    write_file(home.data_root() + "part.shp", "2\n0 1 2 0.5 0.7 12000 1200\n-1 0 0 0.25 0.5 25000 2500\n");
    const CollisionShape* shape = shape_load("@part.shp");
    ASSERT_NE(shape, nullptr);
    EXPECT_NEAR(shape->bound, std::sqrt(5.0) + 0.5, 1e-5);
    EXPECT_EQ(shape_load("@part.shp"), shape) << "cached by name";
    CollisionShape* mine = shape_copy(shape);
    const double at[3] = {10, 0, 0};
    const double turned[12] = {0, 0, 1, 0, 0, 1, 0, 0, -1, 0, 0, 0}; // a quarter turn about y
    shape_transform(*mine, at, turned);
    EXPECT_NEAR(mine->world[0].x, 12, 1e-9);
    EXPECT_NEAR(mine->world[0].y, 1, 1e-9);
    EXPECT_NEAR(mine->world[0].z, 0, 1e-9);
    EXPECT_NEAR(mine->world[1].z, 1, 1e-9);
    shape_free(mine);
    // A missing file is no shape, logged rather than shown.
    EXPECT_EQ(shape_load("@missing.shp"), nullptr);
    EXPECT_STREQ(message_line(0), "");
}

TEST(ShapeTerrain, SpheresTouchTheNearestTriangleFromAbove) {
    Terrain t;
    make_test_terrain(t, 3, [](double x, double) { return x * 0.5; }); // rising along x
    const double n_len = std::sqrt(1.25);
    struct Case {
        const char* what;
        SimVec centre;
        double radius, depth;
    };
    const Case cases[] = {
        {"above the slope, a quarter foot in", {6, 3 + 0.75 * n_len, 6}, 1.0, 0.25},
        {"clear of the slope", {6, 3 + 1.1 * n_len, 6}, 1.0, 0},
    };
    for (const Case& c : cases) {
        ContactHit hit;
        bool touched = sphere_terrain_query(t, c.centre, c.radius, hit);
        ASSERT_EQ(touched, c.depth > 0) << c.what;
        if (!touched) continue;
        EXPECT_NEAR(hit.depth, c.depth, 1e-4) << c.what;
        EXPECT_NEAR(hit.normal.x, -0.5 / n_len, 1e-4) << c.what;
        EXPECT_NEAR(hit.normal.y, 1 / n_len, 1e-4) << c.what;
    }
    // A centre sunk under the ground is never pulled further down; a centre on the surface and one
    // not a number give finite answers or none.
    ContactHit hit;
    ASSERT_TRUE(sphere_terrain_query(t, SimVec{6, 1, 6}, 2.5, hit));
    EXPECT_GE(hit.normal.y, 0);
    ASSERT_TRUE(sphere_terrain_query(t, SimVec{6, 3, 6}, 0.5, hit));
    EXPECT_TRUE(finite(hit.normal));
    EXPECT_NEAR(hit.depth, 0.5, 1e-6);
    EXPECT_FALSE(sphere_terrain_query(t, SimVec{NAN, 3, 6}, 0.5, hit));
}

TEST_F(ContactTest, EveryBodyOfTheStockBikeHasItsShape) {
    Rider& rider = make();
    for (int body = 0; body < k_rider_bodies; ++body) {
        ASSERT_NE(rider.collision_shapes[body], nullptr) << body;
        EXPECT_FALSE(rider.collision_shapes[body]->spheres.empty()) << body;
    }
    Rider& other = make();
    EXPECT_NE(rider.collision_shapes[BodyFrame], other.collision_shapes[BodyFrame])
        << "each rider has its own copy";
}

TEST_F(ContactTest, AShapeWithoutABodyOnlyTests) {
    Rider& rider = make();
    CollisionShape& frame = *rider.collision_shapes[BodyFrame];
    const double low[3] = {10, 0.2, 10};
    const double identity[12] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0};
    long before = g_contact_stats.joints;
    EXPECT_TRUE(shape_terrain_contact(frame, nullptr, low, identity, g_terrain));
    EXPECT_EQ(g_contact_stats.joints, before);
    EXPECT_TRUE(shape_terrain_contact(frame, rider.bodies[BodyFrame], low, identity, g_terrain));
    EXPECT_GT(g_contact_stats.joints, before);
    const double high[3] = {10, 20, 10};
    EXPECT_FALSE(shape_terrain_contact(frame, rider.bodies[BodyFrame], high, identity, g_terrain));
}
