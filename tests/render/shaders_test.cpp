#include "platform/input.h"
#include "platform/log.h"
#include "platform/window.h"
#include "render/gl_caps.h"
#include "render/shaders.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

constexpr int k_size = 64;

// A small offscreen window with a compatibility context, identity matrices and a black frame.
struct GlTest : ::testing::Test {
    TestHome home;
    std::string log_path = home.home / "log.txt";
    ScopedEnv log_env{"VORL_LOGFILE", log_path.c_str()};
    Window* window = nullptr;
    GLuint textures[3] = {0, 0, 0};

    void SetUp() override {
        window = window_open_gl("gl test", k_size, k_size, 32, 0, 16, 0, 0);
        ASSERT_NE(window, nullptr);
        read_gl_capabilities();
        programs_reset();
        glViewport(0, 0, k_size, k_size);
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        glTranslatef(0, 0, -0.5f); // away from the eye, so every point has a view direction
        glDisable(GL_CULL_FACE);
        glDisable(GL_DEPTH_TEST);
        glClearColor(0, 0, 0, 1);
        glClear(GL_COLOR_BUFFER_BIT);
        glGenTextures(3, textures);
    }
    void TearDown() override {
        programs_delete();
        program_source_override(ProgramTerrain, nullptr, nullptr);
        if (window) {
            glDeleteTextures(3, textures);
            window_close_gl(window);
        }
        input_reset();
        gl_caps_reset();
    }
    // A 1 x 1 texture of one colour on a texture unit.
    void texture(int unit, unsigned char r, unsigned char g, unsigned char b) {
        g_gl.ActiveTextureARB(GL_TEXTURE0_ARB + static_cast<GLenum>(unit));
        glBindTexture(GL_TEXTURE_2D, textures[unit]);
        const unsigned char pixel[4] = {r, g, b, 255};
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 1, 1, 0, GL_RGBA, GL_UNSIGNED_BYTE, pixel);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
        g_gl.ActiveTextureARB(GL_TEXTURE0_ARB);
    }
    // Light 0 from `direction`, white; a green material without ambient or specular; no fog.
    static void green_material(const float direction[4]) {
        const float white[4] = {1, 1, 1, 1}, none[4] = {0, 0, 0, 1}, green[4] = {0, 1, 0, 1};
        glLightfv(GL_LIGHT0, GL_POSITION, direction);
        glLightfv(GL_LIGHT0, GL_DIFFUSE, white);
        glLightfv(GL_LIGHT0, GL_AMBIENT, none);
        glLightfv(GL_LIGHT0, GL_SPECULAR, none);
        glLightModelfv(GL_LIGHT_MODEL_AMBIENT, none);
        glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, green);
        glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, none);
        glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, none);
        glFogf(GL_FOG_DENSITY, 0);
    }
    // A quad over the whole view facing the viewer, with bone weights and numbers per vertex.
    static void quad(float bone = -1) {
        const float corners[4][2] = {{-1, -1}, {1, -1}, {1, 1}, {-1, 1}};
        const float weights[4] = {1, 0, 0, 0}, bones[4] = {bone, 0, 0, 0};
        glBegin(GL_QUADS);
        for (const auto& c : corners) {
            glNormal3f(0, 0, 1);
            g_gl.MultiTexCoord4fvARB(GL_TEXTURE1_ARB, weights); // tangent
            g_gl.MultiTexCoord4fvARB(GL_TEXTURE2_ARB, weights);
            g_gl.MultiTexCoord4fvARB(GL_TEXTURE3_ARB, bones);
            glTexCoord2f((c[0] + 1) / 2, (c[1] + 1) / 2);
            glVertex3f(c[0], c[1], 0);
        }
        glEnd();
    }
    static void expect_pixel(int x, int y, int r, int g, int b, const char* what) {
        glFinish();
        unsigned char p[3] = {0, 0, 0};
        glReadPixels(x, y, 1, 1, GL_RGB, GL_UNSIGNED_BYTE, p);
        EXPECT_LE(std::abs(p[0] - r), 3) << what << " red " << int(p[0]);
        EXPECT_LE(std::abs(p[1] - g), 3) << what << " green " << int(p[1]);
        EXPECT_LE(std::abs(p[2] - b), 3) << what << " blue " << int(p[2]);
    }
};

TEST_F(GlTest, FixedFunctionAndLitProgramDraw) {
    glColor3f(1, 0, 0);
    quad();
    expect_pixel(32, 32, 255, 0, 0, "fixed function");

    ASSERT_TRUE(shader_capable());
    ASSERT_TRUE(build_programs());
    texture(0, 255, 255, 255);
    glEnable(GL_TEXTURE_2D);
    const float toward_viewer[4] = {0, 0, 1, 0};
    green_material(toward_viewer);
    use_program(ProgramLit);
    set_bone_uniforms(0, nullptr, nullptr, nullptr);
    quad();
    expect_pixel(32, 32, 0, 255, 0, "lit program");
}

TEST_F(GlTest, EveryModelProgramDraws) {
    ASSERT_TRUE(build_programs());
    texture(0, 255, 255, 255);
    texture(1, 128, 128, 255); // a flat normal map
    texture(2, 0, 0, 0);       // no specular
    glEnable(GL_TEXTURE_2D);
    const float toward_viewer[4] = {0, 0, 1, 0};
    green_material(toward_viewer);
    const float view[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    set_env_matrix(view);
    struct Case {
        int slot;
        int r, g, b; // lit programs show the green material, environment ones the vertex colour
    };
    const Case cases[] = {
        {ProgramLit, 0, 255, 0}, {ProgramNormLit, 0, 255, 0}, {ProgramNormSpecLit, 0, 255, 0},
        {ProgramEnv, 0, 0, 255}, {ProgramNormEnv, 0, 0, 255},
    };
    for (const Case& c : cases) {
        glClear(GL_COLOR_BUFFER_BIT);
        use_program(c.slot);
        set_bone_uniforms(0, nullptr, nullptr, nullptr);
        glColor3f(0, 0, 1);
        quad();
        expect_pixel(32, 32, c.r, c.g, c.b, program_name(c.slot));
    }
    use_program(ProgramFixed);
}

TEST_F(GlTest, TitleColourAndFrameReadBack) {
    gl_initial_state(false);
    expect_pixel(5, 5, 50, 153, 204, "title colour");
    // Red over the top half; the image file starts with the top row.
    glColor3f(1, 0, 0);
    glBegin(GL_QUADS);
    glVertex2f(-1, 0);
    glVertex2f(1, 0);
    glVertex2f(1, 1);
    glVertex2f(-1, 1);
    glEnd();
    std::string path = home.home / "frame.ppm";
    FILE* file = fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    EXPECT_TRUE(gl_write_frame_ppm(file, k_size, k_size));
    fclose(file);
    std::string image = read_file(path);
    const std::string header = "P6\n64 64\n255\n";
    ASSERT_EQ(image.size(), header.size() + 64 * 64 * 3);
    EXPECT_EQ(image.substr(0, header.size()), header);
    auto pixel = [&](int x, int y) {
        return image.substr(header.size() + (static_cast<size_t>(y) * 64 + x) * 3, 3);
    };
    EXPECT_EQ(pixel(0, 0), std::string("\xff\x00\x00", 3));
    EXPECT_EQ(pixel(63, 63), std::string("\x32\x99\xcc", 3));
}

TEST_F(GlTest, SkinningMovesVerticesAndIgnoresUnknownBones) {
    ASSERT_TRUE(build_programs());
    texture(0, 255, 255, 255);
    const float toward_viewer[4] = {0, 0, 1, 0};
    green_material(toward_viewer);
    use_program(ProgramLit);
    // Twelve bones asked for: the programs hold ten, so only ten are set.
    float centres[12 * 3] = {}, shifts[12 * 3] = {}, rotations[12 * 9] = {};
    for (int b = 0; b < 12; ++b)
        for (int i = 0; i < 3; ++i)
            rotations[b * 9 + i * 4] = 1;
    shifts[0] = 1; // bone 0 moves right by half the view
    set_bone_uniforms(12, centres, shifts, rotations);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    quad(0);
    expect_pixel(8, 32, 0, 0, 0, "left of the moved quad");
    expect_pixel(56, 32, 0, 255, 0, "the moved quad");

    // Bone 1 still holds its earlier values, but a one-bone model has no bone 1: vertices that
    // name it are not placed by it, so nothing is drawn.
    glClear(GL_COLOR_BUFFER_BIT);
    set_bone_uniforms(1, centres, shifts, rotations);
    quad(1);
    expect_pixel(32, 32, 0, 0, 0, "bone beyond the model's count");
}

TEST_F(GlTest, TerrainNormalStaysFiniteAtTheLimit) {
    ASSERT_TRUE(build_programs());
    texture(0, 255, 255, 255);
    texture(1, 255, 255, 255); // x = z = 1: 1 - x*x - z*z is below zero
    texture(2, 0, 0, 0);
    const float along_normal[4] = {1, 0, 1, 0};
    green_material(along_normal);
    use_program(ProgramTerrain);
    quad();
    expect_pixel(32, 32, 0, 255, 0, "terrain");

    // Composing a flat tile normal (up in blue) onto flat ground keeps it up; green carries the
    // ground's light factor.
    texture(0, 128, 128, 255);
    texture(1, 128, 200, 128);
    use_program(ProgramTerrainNormals);
    quad();
    expect_pixel(32, 32, 128, 200, 128, "terrain normals");
}

TEST_F(GlTest, FailingProgramLeavesNone) {
    program_source_override(ProgramTerrain, nullptr, "#define MAX_BONE 10\nvoid main() { broken }\n");
    EXPECT_FALSE(build_programs());
    for (int slot = 0; slot < k_program_slots; ++slot)
        EXPECT_EQ(program_handle(slot), 0u) << slot;
    EXPECT_EQ(current_program(), 0);
    log_close();
    EXPECT_NE(read_file(log_path).find("fragment shader status for terrain:"), std::string::npos);

    program_source_override(ProgramTerrain, nullptr, nullptr);
    ASSERT_TRUE(build_programs());
    for (int slot = 1; slot < k_program_slots; ++slot)
        EXPECT_NE(program_handle(slot), 0u) << slot;
    EXPECT_EQ(program_handle(8), 0u);
}

TEST_F(GlTest, ProgramSwitchesAreCounted) {
    ASSERT_TRUE(build_programs());
    program_switches_reset();
    struct Step {
        int slot, current, switches;
    };
    const Step steps[] = {{9, 0, 0}, {0, 0, 0}, {1, 1, 1}, {1, 1, 1}, {-1, 1, 1}, {7, 7, 2}, {0, 0, 3}};
    for (const Step& s : steps) {
        use_program(s.slot);
        EXPECT_EQ(current_program(), s.current) << s.slot;
        EXPECT_EQ(program_switches(), s.switches) << s.slot;
    }
    const float view[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    set_env_matrix(view);
    EXPECT_EQ(current_program(), 0);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

} // namespace
