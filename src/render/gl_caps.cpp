#include "render/gl_caps.h"

#include "platform/log.h"
#include "platform/window.h"
#include "render/shaders.h"

#include <cstring>
#include <vector>

GlCapabilities g_gl_caps;
GlFunctions g_gl{};
RenderChoices g_render_choices;

namespace {

constexpr float k_title_colour[4] = {0.196078f, 0.6f, 0.8f, 0.0f};

const char* gl_string(GLenum name) {
    const GLubyte* text = glGetString(name);
    return text ? reinterpret_cast<const char*>(text) : nullptr;
}

template <typename F> void fetch(F& slot, const char* name) {
    slot = reinterpret_cast<F>(gl_proc_address(name));
}

void fetch_entry_points() {
    GlFunctions& f = g_gl;
#define KV_FETCH(n) fetch(f.n, "gl" #n)
    KV_FETCH(ActiveTextureARB);
    KV_FETCH(ClientActiveTextureARB);
    KV_FETCH(MultiTexCoord2fARB);
    KV_FETCH(MultiTexCoord2fvARB);
    KV_FETCH(MultiTexCoord3fvARB);
    KV_FETCH(MultiTexCoord4fvARB);
    KV_FETCH(MultiTexCoord4ivARB);
    KV_FETCH(IsRenderbufferEXT);
    KV_FETCH(BindRenderbufferEXT);
    KV_FETCH(DeleteRenderbuffersEXT);
    KV_FETCH(GenRenderbuffersEXT);
    KV_FETCH(RenderbufferStorageEXT);
    KV_FETCH(GetRenderbufferParameterivEXT);
    KV_FETCH(IsFramebufferEXT);
    KV_FETCH(BindFramebufferEXT);
    KV_FETCH(DeleteFramebuffersEXT);
    KV_FETCH(GenFramebuffersEXT);
    KV_FETCH(CheckFramebufferStatusEXT);
    KV_FETCH(FramebufferTexture1DEXT);
    KV_FETCH(FramebufferTexture2DEXT);
    KV_FETCH(FramebufferTexture3DEXT);
    KV_FETCH(FramebufferRenderbufferEXT);
    KV_FETCH(GetFramebufferAttachmentParameterivEXT);
    KV_FETCH(GenerateMipmapEXT);
    KV_FETCH(DeleteObjectARB);
    KV_FETCH(GetHandleARB);
    KV_FETCH(DetachObjectARB);
    KV_FETCH(CreateShaderObjectARB);
    KV_FETCH(ShaderSourceARB);
    KV_FETCH(CompileShaderARB);
    KV_FETCH(CreateProgramObjectARB);
    KV_FETCH(AttachObjectARB);
    KV_FETCH(LinkProgramARB);
    KV_FETCH(UseProgramObjectARB);
    KV_FETCH(ValidateProgramARB);
    KV_FETCH(Uniform1fARB);
    KV_FETCH(Uniform1iARB);
    KV_FETCH(Uniform3fvARB);
    KV_FETCH(Uniform4fvARB);
    KV_FETCH(UniformMatrix2fvARB);
    KV_FETCH(UniformMatrix3fvARB);
    KV_FETCH(GetObjectParameterfvARB);
    KV_FETCH(GetObjectParameterivARB);
    KV_FETCH(GetInfoLogARB);
    KV_FETCH(GetAttachedObjectsARB);
    KV_FETCH(GetUniformLocationARB);
    KV_FETCH(GetActiveUniformARB);
    KV_FETCH(GetUniformfvARB);
    KV_FETCH(GetUniformivARB);
    KV_FETCH(GetShaderSourceARB);
    KV_FETCH(VertexAttrib4fvARB);
    KV_FETCH(VertexAttribPointerARB);
    KV_FETCH(EnableVertexAttribArrayARB);
    KV_FETCH(DisableVertexAttribArrayARB);
    KV_FETCH(BindAttribLocationARB);
    KV_FETCH(GetActiveAttribARB);
    KV_FETCH(GetAttribLocationARB);
#undef KV_FETCH
}

} // namespace

bool gl_has_extension(const char* extensions, const char* name) {
    if (!extensions || !name || !*name) return false;
    size_t length = strlen(name);
    for (const char* p = strstr(extensions, name); p; p = strstr(p + 1, name)) {
        bool starts = p == extensions || p[-1] == ' ';
        bool ends = p[length] == ' ' || p[length] == '\0';
        if (starts && ends) return true;
    }
    return false;
}

void gl_capabilities_from_strings(GlCapabilities& caps, const char* vendor, const char* renderer,
                                  const char* version, const char* extensions, int texture_units) {
    caps = GlCapabilities{};
    caps.gl_vendor = vendor ? vendor : "NULL";
    caps.gl_renderer = renderer ? renderer : "NULL";
    caps.gl_version = version ? version : "NULL";
    caps.gl_extensions = extensions ? extensions : "NULL";
    int major = 0, minor = 0;
    if (version && sscanf(version, "%d.%d", &major, &minor) == 2) {
        caps.gl_major = major;
        caps.gl_minor = minor;
    }
    const char* ext = extensions ? extensions : "";
    caps.has_generate_mipmap = gl_has_extension(ext, "GL_SGIS_generate_mipmap");
    caps.has_framebuffer_object = gl_has_extension(ext, "GL_EXT_framebuffer_object");
    caps.has_multitexture = gl_has_extension(ext, "GL_ARB_multitexture");
    caps.has_fragment_shader = gl_has_extension(ext, "GL_ARB_fragment_shader");
    caps.has_vertex_shader = gl_has_extension(ext, "GL_ARB_vertex_shader");
    caps.texture_units = caps.has_multitexture && texture_units > 0 ? texture_units : 1;
}

void read_gl_capabilities() {
    GLint units = 1;
    if (gl_has_extension(gl_string(GL_EXTENSIONS), "GL_ARB_multitexture"))
        glGetIntegerv(GL_MAX_TEXTURE_UNITS_ARB, &units);
    gl_capabilities_from_strings(g_gl_caps, gl_string(GL_VENDOR), gl_string(GL_RENDERER),
                                 gl_string(GL_VERSION), gl_string(GL_EXTENSIONS), units);
    fetch_entry_points();
    if (g_gl_caps.has_multitexture) log_printf("%d texture units\n", g_gl_caps.texture_units);
}

bool shader_capable() {
    return g_gl_caps.has_fragment_shader && g_gl_caps.texture_units > 3;
}
bool fbo_capable() {
    return g_gl_caps.has_framebuffer_object;
}

void decide_render_choices(bool use_shader, bool shader_render_texture) {
    g_render_choices = RenderChoices{};
    g_render_choices.shaders_active = use_shader && shader_capable() && build_programs();
    g_render_choices.terrain_shaders = g_render_choices.shaders_active && shader_render_texture;
}

void gl_initial_state(bool flat_shading) {
    glClearColor(k_title_colour[0], k_title_colour[1], k_title_colour[2], k_title_colour[3]);
    glClear(GL_COLOR_BUFFER_BIT);
    glEnable(GL_CULL_FACE);
    glCullFace(GL_BACK);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    if (flat_shading) glShadeModel(GL_FLAT);
}

void gl_clear_to_title_colour() {
    glClearColor(k_title_colour[0], k_title_colour[1], k_title_colour[2], k_title_colour[3]);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
}

bool gl_write_frame_ppm(FILE* out, int width, int height) {
    if (!out || width <= 0 || height <= 0) return false;
    static std::vector<unsigned char> pixels;
    size_t row = static_cast<size_t>(width) * 3;
    pixels.resize(row * static_cast<size_t>(height));
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, width, height, GL_RGB, GL_UNSIGNED_BYTE, pixels.data());
    if (fprintf(out, "P6\n%d %d\n255\n", width, height) < 0) return false;
    // Rows come back bottom-up; the image is written top row first.
    for (int y = height - 1; y >= 0; --y)
        if (fwrite(pixels.data() + row * static_cast<size_t>(y), 1, row, out) != row) return false;
    return fflush(out) == 0;
}

void gl_caps_reset() {
    g_gl_caps = GlCapabilities{};
    g_gl = GlFunctions{};
    g_render_choices = RenderChoices{};
}
