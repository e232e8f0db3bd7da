#pragma once
// What the OpenGL driver offers, the extension entry points the renderer calls, the initial GL
// state and the read-back of a finished frame. Fixed-function drawing is always available; the
// capability flags (never the presence of a pointer) decide whether an extension is used.
#include <GL/gl.h>
#include <GL/glext.h>

#include <cstdio>
#include <string>

struct GlCapabilities {
    std::string gl_vendor, gl_renderer, gl_version, gl_extensions; // "NULL" when the driver has none
    int gl_major = 0, gl_minor = 0;
    bool has_generate_mipmap = false;    // GL_SGIS_generate_mipmap
    bool has_framebuffer_object = false; // GL_EXT_framebuffer_object
    bool has_multitexture = false;       // GL_ARB_multitexture
    bool has_fragment_shader = false;    // GL_ARB_fragment_shader
    bool has_vertex_shader = false;      // GL_ARB_vertex_shader
    int texture_units = 1;
};
extern GlCapabilities g_gl_caps;

// Extension entry points, fetched by name once a context exists (null when the driver lacks one).
struct GlFunctions {
    // multitexture
    PFNGLACTIVETEXTUREARBPROC ActiveTextureARB;
    PFNGLCLIENTACTIVETEXTUREARBPROC ClientActiveTextureARB;
    PFNGLMULTITEXCOORD2FARBPROC MultiTexCoord2fARB;
    PFNGLMULTITEXCOORD2FVARBPROC MultiTexCoord2fvARB;
    PFNGLMULTITEXCOORD3FVARBPROC MultiTexCoord3fvARB;
    PFNGLMULTITEXCOORD4FVARBPROC MultiTexCoord4fvARB;
    PFNGLMULTITEXCOORD4IVARBPROC MultiTexCoord4ivARB;
    // framebuffer objects
    PFNGLISRENDERBUFFEREXTPROC IsRenderbufferEXT;
    PFNGLBINDRENDERBUFFEREXTPROC BindRenderbufferEXT;
    PFNGLDELETERENDERBUFFERSEXTPROC DeleteRenderbuffersEXT;
    PFNGLGENRENDERBUFFERSEXTPROC GenRenderbuffersEXT;
    PFNGLRENDERBUFFERSTORAGEEXTPROC RenderbufferStorageEXT;
    PFNGLGETRENDERBUFFERPARAMETERIVEXTPROC GetRenderbufferParameterivEXT;
    PFNGLISFRAMEBUFFEREXTPROC IsFramebufferEXT;
    PFNGLBINDFRAMEBUFFEREXTPROC BindFramebufferEXT;
    PFNGLDELETEFRAMEBUFFERSEXTPROC DeleteFramebuffersEXT;
    PFNGLGENFRAMEBUFFERSEXTPROC GenFramebuffersEXT;
    PFNGLCHECKFRAMEBUFFERSTATUSEXTPROC CheckFramebufferStatusEXT;
    PFNGLFRAMEBUFFERTEXTURE1DEXTPROC FramebufferTexture1DEXT;
    PFNGLFRAMEBUFFERTEXTURE2DEXTPROC FramebufferTexture2DEXT;
    PFNGLFRAMEBUFFERTEXTURE3DEXTPROC FramebufferTexture3DEXT;
    PFNGLFRAMEBUFFERRENDERBUFFEREXTPROC FramebufferRenderbufferEXT;
    PFNGLGETFRAMEBUFFERATTACHMENTPARAMETERIVEXTPROC GetFramebufferAttachmentParameterivEXT;
    PFNGLGENERATEMIPMAPEXTPROC GenerateMipmapEXT;
    // shader objects
    PFNGLDELETEOBJECTARBPROC DeleteObjectARB;
    PFNGLGETHANDLEARBPROC GetHandleARB;
    PFNGLDETACHOBJECTARBPROC DetachObjectARB;
    PFNGLCREATESHADEROBJECTARBPROC CreateShaderObjectARB;
    PFNGLSHADERSOURCEARBPROC ShaderSourceARB;
    PFNGLCOMPILESHADERARBPROC CompileShaderARB;
    PFNGLCREATEPROGRAMOBJECTARBPROC CreateProgramObjectARB;
    PFNGLATTACHOBJECTARBPROC AttachObjectARB;
    PFNGLLINKPROGRAMARBPROC LinkProgramARB;
    PFNGLUSEPROGRAMOBJECTARBPROC UseProgramObjectARB;
    PFNGLVALIDATEPROGRAMARBPROC ValidateProgramARB;
    PFNGLUNIFORM1FARBPROC Uniform1fARB;
    PFNGLUNIFORM1IARBPROC Uniform1iARB;
    PFNGLUNIFORM3FVARBPROC Uniform3fvARB;
    PFNGLUNIFORM4FVARBPROC Uniform4fvARB;
    PFNGLUNIFORMMATRIX2FVARBPROC UniformMatrix2fvARB;
    PFNGLUNIFORMMATRIX3FVARBPROC UniformMatrix3fvARB;
    PFNGLGETOBJECTPARAMETERFVARBPROC GetObjectParameterfvARB;
    PFNGLGETOBJECTPARAMETERIVARBPROC GetObjectParameterivARB;
    PFNGLGETINFOLOGARBPROC GetInfoLogARB;
    PFNGLGETATTACHEDOBJECTSARBPROC GetAttachedObjectsARB;
    PFNGLGETUNIFORMLOCATIONARBPROC GetUniformLocationARB;
    PFNGLGETACTIVEUNIFORMARBPROC GetActiveUniformARB;
    PFNGLGETUNIFORMFVARBPROC GetUniformfvARB;
    PFNGLGETUNIFORMIVARBPROC GetUniformivARB;
    PFNGLGETSHADERSOURCEARBPROC GetShaderSourceARB;
    // vertex attributes
    PFNGLVERTEXATTRIB4FVARBPROC VertexAttrib4fvARB;
    PFNGLVERTEXATTRIBPOINTERARBPROC VertexAttribPointerARB;
    PFNGLENABLEVERTEXATTRIBARRAYARBPROC EnableVertexAttribArrayARB;
    PFNGLDISABLEVERTEXATTRIBARRAYARBPROC DisableVertexAttribArrayARB;
    PFNGLBINDATTRIBLOCATIONARBPROC BindAttribLocationARB;
    PFNGLGETACTIVEATTRIBARBPROC GetActiveAttribARB;
    PFNGLGETATTRIBLOCATIONARBPROC GetAttribLocationARB;
};
extern GlFunctions g_gl;

// Whether `name` occurs in `extensions` as a whole word (delimited by blanks or the ends).
bool gl_has_extension(const char* extensions, const char* name);
// Fills the capabilities from strings (no context needed); texture_units is the driver's count,
// used only when multitexture is present.
void gl_capabilities_from_strings(GlCapabilities& caps, const char* vendor, const char* renderer,
                                  const char* version, const char* extensions, int texture_units);
// Reads the capabilities and fetches the entry points from the current context; logs
// "%d texture units" when multitexture is present.
void read_gl_capabilities();

// Derived decisions.
bool shader_capable(); // fragment shaders and more than 3 texture units
bool fbo_capable();
struct RenderChoices {
    bool shaders_active = false;  // shader programs built and in use
    bool terrain_shaders = false; // the ground is drawn with the terrain programs
};
extern RenderChoices g_render_choices;
// Decides the use of shaders: asked for, capable, and all programs built.
void decide_render_choices(bool use_shader, bool shader_render_texture);

// The start-up state: the colour buffer cleared to the title colour, back faces culled, pixel rows
// packed on byte boundaries; flat shading on request.
void gl_initial_state(bool flat_shading);
// Clears the frame to the title colour (the view before any scene exists).
void gl_clear_to_title_colour();
// Reads the frame back and writes it as a binary PPM, top row first. False on a write error.
bool gl_write_frame_ppm(FILE* out, int width, int height);

// Forgets the capabilities, entry points and choices (tests).
void gl_caps_reset();
