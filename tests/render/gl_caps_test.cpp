#include "render/gl_caps.h"

#include <gtest/gtest.h>

namespace {

TEST(GlCapabilities, ExtensionsMatchWholeWords) {
    struct Case {
        const char* extensions;
        bool present;
    };
    const Case cases[] = {
        {"GL_ARB_multitexture", true},
        {"GL_EXT_foo GL_ARB_multitexture", true},
        {"GL_ARB_multitexture GL_EXT_foo", true},
        {"GL_ARB_multitexture_ext GL_ARB_multitexture2", false},
        {"GL_ARB_multitexture_ext GL_ARB_multitexture", true}, // a later occurrence counts
        {"XGL_ARB_multitexture", false},
        {"", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(gl_has_extension(c.extensions, "GL_ARB_multitexture"), c.present) << c.extensions;
    EXPECT_FALSE(gl_has_extension(nullptr, "GL_ARB_multitexture"));
}

TEST(GlCapabilities, DecisionsFollowTheDriver) {
    const char* shaders =
        "GL_ARB_multitexture GL_ARB_vertex_shader GL_ARB_fragment_shader GL_EXT_framebuffer_object";
    struct Case {
        const char* extensions;
        int units;
        bool capable;
        int expected_units;
    };
    const Case cases[] = {
        {shaders, 8, true, 8},
        {shaders, 3, false, 3}, // three units are not enough for the shader choice
        {"GL_ARB_vertex_shader GL_ARB_fragment_shader", 8, false, 1},
    };
    for (const Case& c : cases) {
        gl_capabilities_from_strings(g_gl_caps, "v", "r", "2.1 Mesa", c.extensions, c.units);
        EXPECT_EQ(shader_capable(), c.capable) << c.units;
        EXPECT_EQ(g_gl_caps.texture_units, c.expected_units);
        EXPECT_EQ(fbo_capable(), c.extensions == shaders);
        EXPECT_EQ(g_gl_caps.gl_major, 2);
        EXPECT_EQ(g_gl_caps.gl_minor, 1);
    }

    gl_capabilities_from_strings(g_gl_caps, nullptr, nullptr, "unknown", nullptr, 4);
    EXPECT_EQ(g_gl_caps.gl_vendor, "NULL");
    EXPECT_EQ(g_gl_caps.gl_extensions, "NULL");
    EXPECT_EQ(g_gl_caps.gl_major, 0);
    EXPECT_FALSE(g_gl_caps.has_multitexture);
    // Without a context no program can be built: the decision falls back to fixed function.
    decide_render_choices(true, true);
    EXPECT_FALSE(g_render_choices.shaders_active);
    EXPECT_FALSE(g_render_choices.terrain_shaders);
    gl_caps_reset();
}

} // namespace
