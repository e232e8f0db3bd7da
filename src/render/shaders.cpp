#include "render/shaders.h"

#include "platform/log.h"
#include "render/gl_caps.h"

#include <string>
#include <vector>

namespace {

// --- sources ---
// Every source starts with the bone limit. Options are selected with #define lines after it.

constexpr const char* k_bone_limit = "#define MAX_BONE 10\n";

// Models: fixed-function transform, or up to four weighted bones per vertex. Bone weights come in
// texture coordinate set 2, bone numbers in set 3, tangents in set 1. A bone number outside the
// loaded bones contributes nothing.
constexpr const char* k_model_vertex = R"(
uniform int nbones;
uniform vec3 bone_c[MAX_BONE];
uniform vec3 bone_t[MAX_BONE];
uniform mat3 bone_r[MAX_BONE];
varying vec3 normal;
varying vec3 viewer;
#ifdef WITH_TANGENT
varying vec3 tangent;
#endif
#ifdef WITH_LIGHT
varying vec3 light;
varying vec4 diffuse;
varying vec4 ambient;
#endif
void main()
{
#ifdef WITH_LIGHT
    light = normalize(gl_LightSource[0].position.xyz);
    diffuse = gl_FrontMaterial.diffuse * gl_LightSource[0].diffuse;
    ambient = gl_FrontMaterial.ambient * gl_LightSource[0].ambient + gl_LightModel.ambient * gl_FrontMaterial.ambient;
    ambient.a = min(ambient.a, 1.0);
#else
    gl_FrontColor = gl_Color;
#endif
    gl_TexCoord[0] = gl_MultiTexCoord0;
    vec3 tangent_in = gl_MultiTexCoord1.xyz;
    vec3 p = gl_Vertex.xyz;
    vec3 n = gl_Normal;
    vec3 t = tangent_in;
    if (nbones > 0) {
        int count = nbones < MAX_BONE ? nbones : MAX_BONE;
        p = vec3(0.0);
        n = vec3(0.0);
        t = vec3(0.0);
        for (int i = 0; i < 4; ++i) {
            float w = gl_MultiTexCoord2[i];
            int b = int(gl_MultiTexCoord3[i]);
            if (b >= 0 && b < count) {
                mat3 r = bone_r[b];
                p += w * (r * (gl_Vertex.xyz - bone_c[b]) + bone_t[b]);
                n += w * (r * gl_Normal);
                t += w * (r * tangent_in);
            }
        }
    }
    vec4 eye = gl_ModelViewMatrix * vec4(p, 1.0);
    viewer = eye.xyz / eye.w;
    normal = normalize(gl_NormalMatrix * n);
#ifdef WITH_TANGENT
    tangent = normalize(gl_NormalMatrix * t);
#endif
    if (nbones > 0)
        gl_Position = gl_ModelViewProjectionMatrix * vec4(p, 1.0);
    else
        gl_Position = ftransform();
}
)";

// Shared fragment pieces: the surface normal (optionally from a normal map) and fog.
constexpr const char* k_fragment_common = R"(
varying vec3 normal;
varying vec3 viewer;
#ifdef WITH_TANGENT
varying vec3 tangent;
uniform sampler2D nmap;
#endif
vec3 surface_normal()
{
    vec3 n = normalize(normal);
#ifdef WITH_TANGENT
    vec3 t = normalize(tangent - n * dot(n, tangent));
    vec3 b = cross(n, t);
    vec3 m = texture2D(nmap, gl_TexCoord[0].st).rgb * 2.0 - 1.0;
    n = normalize(mat3(t, b, n) * m);
#endif
    return n;
}
vec3 fogged(vec3 rgb)
{
    float z = gl_FragCoord.z / gl_FragCoord.w;
    float f = clamp(exp2(-1.4426950408889634 * gl_Fog.density * z), 0.0, 1.0);
    return mix(gl_Fog.color.rgb, rgb, f);
}
float power(float x, float e)
{
    return x > 0.0 ? pow(x, e) : 0.0;
}
)";

constexpr const char* k_lit_fragment = R"(
uniform sampler2D tex;
#ifdef WITH_SPECULAR_MAP
uniform sampler2D smap;
#endif
varying vec3 light;
varying vec4 diffuse;
varying vec4 ambient;
void main()
{
    vec3 n = surface_normal();
    float ndl = dot(n, light);
    float rdl = max(dot(reflect(normalize(viewer), n), light), 0.0);
    if (ndl < 0.0) {
        ndl = 0.0;
        rdl = 0.0;
    }
    vec4 colour = vec4(ambient.rgb + diffuse.rgb * ndl, ambient.a) * texture2D(tex, gl_TexCoord[0].st);
#ifdef WITH_SPECULAR_MAP
    vec4 s = texture2D(smap, gl_TexCoord[0].st);
    float e = s.a * 128.0 + 0.125;
    if (e >= 127.875) e = gl_FrontMaterial.shininess;
    colour.rgb += s.rgb * gl_LightSource[0].specular.rgb * power(rdl, e);
#else
    colour.rgb += gl_FrontMaterial.specular.rgb * gl_LightSource[0].specular.rgb *
                  power(rdl, gl_FrontMaterial.shininess);
#endif
    gl_FragColor = vec4(fogged(colour.rgb), colour.a);
}
)";

// Environment mapping: the reflection, taken back to world space, indexes a polar map.
constexpr const char* k_env_fragment = R"(
uniform sampler2D tex;
uniform mat3 envmat;
void main()
{
    vec3 v = normalize(envmat * reflect(viewer, surface_normal()));
    float horizontal = length(v.xz);
    vec2 direction = horizontal > 0.0 ? v.xz / horizontal : vec2(0.0);
    vec2 t = direction * acos(clamp(v.y, -1.0, 1.0)) * 0.15915494309189535;
    gl_FragColor = texture2D(tex, t + 0.5) * gl_Color;
}
)";

constexpr const char* k_terrain_normals_vertex = R"(
varying vec2 tc;
void main()
{
    gl_TexCoord[0] = gl_MultiTexCoord0;
    vec4 p = gl_TextureMatrix[1] * gl_Vertex;
    tc = p.xy / p.w;
    gl_Position = ftransform();
}
)";

// Composes a tile's normal map, turned with the tile on screen, onto the terrain's own normal.
// Normals are stored as x in red, z in blue and the light factor in green; y is rebuilt from x and
// z, so the square root's argument is clamped against rounding below zero.
constexpr const char* k_terrain_normals_fragment = R"(
uniform sampler2D tex;
uniform sampler2D base;
varying vec2 tc;
void main()
{
    vec2 m0 = vec2(dFdx(gl_TexCoord[0].s), -dFdy(gl_TexCoord[0].s));
    float m0_length = length(m0);
    m0 = m0_length > 0.0 ? m0 / m0_length : vec2(1.0, 0.0);
    vec2 m1 = vec2(-m0.y, m0.x);
    vec4 c = texture2D(tex, gl_TexCoord[0].st);
    vec3 n = vec3(c.r, c.b, c.g) * 2.0 - 1.0;
    n.x = -n.x;
    vec2 xz = vec2(n.x, n.z);
    n.x = dot(xz, m0);
    n.z = dot(xz, m1);
    vec3 r1 = texture2D(base, tc).rgb;
    float baselen = r1.g;
    r1 = r1 * 2.0 - 1.0;
    r1.y = sqrt(max(1.0 - r1.z * r1.z - r1.x * r1.x, 0.0));
    vec3 r0 = vec3(1.0, 0.0, 0.0);
    vec3 r2 = normalize(cross(r0, r1));
    r0 = normalize(cross(r1, r2));
    n = normalize(mat3(r0, r1, r2) * n);
    const float limit = 126.0 / 128.0;
    if (n.x * n.x + n.z * n.z > limit * limit) {
        n.y = 0.0;
        n = normalize(n) * limit;
    }
    gl_FragColor = vec4((n.x + 1.0) * 0.5, baselen, (n.z + 1.0) * 0.5, c.a);
}
)";

constexpr const char* k_terrain_vertex = R"(
varying vec3 viewer;
varying vec3 light;
varying vec4 diffuse;
varying vec4 ambient;
void main()
{
    light = normalize(gl_LightSource[0].position.xyz);
    diffuse = gl_FrontMaterial.diffuse * gl_LightSource[0].diffuse;
    ambient = gl_FrontMaterial.ambient * gl_LightSource[0].ambient;
    ambient.a = min(ambient.a, 1.0);
    gl_TexCoord[0] = gl_MultiTexCoord0;
    vec4 eye = gl_ModelViewMatrix * gl_Vertex;
    viewer = eye.xyz / eye.w;
    gl_Position = ftransform();
}
)";

// The ground: normal from the composed normal texture (y rebuilt with a clamped square root),
// diffuse and specular scaled by its light factor.
constexpr const char* k_terrain_fragment = R"(
uniform sampler2D tex;
uniform sampler2D nmap;
uniform sampler2D smap;
varying vec3 viewer;
varying vec3 light;
varying vec4 diffuse;
varying vec4 ambient;
void main()
{
    vec4 c = texture2D(nmap, gl_TexCoord[0].st);
    float len = c.g;
    vec3 n = c.rgb * 2.0 - 1.0;
    n.y = sqrt(max(1.0 - n.z * n.z - n.x * n.x, 0.0));
    n = normalize(gl_NormalMatrix * n);
    float ndl = dot(n, light);
    float rdl = max(dot(reflect(normalize(viewer), n), light), 0.0);
    if (ndl < 0.0) {
        ndl = 0.0;
        rdl = 0.0;
    }
    vec4 colour = vec4(ambient.rgb + diffuse.rgb * ndl * len, ambient.a) * texture2D(tex, gl_TexCoord[0].st);
    vec4 s = texture2D(smap, gl_TexCoord[0].st);
    float e = s.g * 128.0 + 0.125;
    colour.rgb += s.r * gl_LightSource[0].specular.rgb * (rdl > 0.0 ? pow(rdl, e) : 0.0) * len;
    float z = gl_FragCoord.z / gl_FragCoord.w;
    float f = clamp(exp2(-1.4426950408889634 * gl_Fog.density * z), 0.0, 1.0);
    gl_FragColor = vec4(mix(gl_Fog.color.rgb, colour.rgb, f), colour.a);
}
)";

struct ProgramSource {
    const char* name;
    std::string vertex, fragment;
};

std::string join(std::initializer_list<const char*> parts) {
    std::string text;
    for (const char* p : parts)
        text += p;
    return text;
}

const std::vector<ProgramSource>& sources() {
    static const std::vector<ProgramSource> table = {
        {"fixed", "", ""},
        {"lit", join({k_bone_limit, "#define WITH_LIGHT\n", k_model_vertex}),
         join({k_bone_limit, k_fragment_common, k_lit_fragment})},
        {"env", join({k_bone_limit, k_model_vertex}),
         join({k_bone_limit, k_fragment_common, k_env_fragment})},
        {"norm_lit", join({k_bone_limit, "#define WITH_LIGHT\n#define WITH_TANGENT\n", k_model_vertex}),
         join({k_bone_limit, "#define WITH_TANGENT\n", k_fragment_common, k_lit_fragment})},
        {"norm_env", join({k_bone_limit, "#define WITH_TANGENT\n", k_model_vertex}),
         join({k_bone_limit, "#define WITH_TANGENT\n", k_fragment_common, k_env_fragment})},
        {"norm_spec_lit", join({k_bone_limit, "#define WITH_LIGHT\n#define WITH_TANGENT\n", k_model_vertex}),
         join({k_bone_limit, "#define WITH_TANGENT\n#define WITH_SPECULAR_MAP\n", k_fragment_common,
               k_lit_fragment})},
        {"terrain_normals", join({k_bone_limit, k_terrain_normals_vertex}),
         join({k_bone_limit, k_terrain_normals_fragment})},
        {"terrain", join({k_bone_limit, k_terrain_vertex}), join({k_bone_limit, k_terrain_fragment})},
    };
    return table;
}

// --- the program table ---

struct ProgramSlotState {
    GLhandleARB program = 0, vertex = 0, fragment = 0;
    GLint nbones = -1, bone_c = -1, bone_t = -1, bone_r = -1;
    bool bones_looked_up = false;
    GLint envmat = -1;
};

struct ProgramTable {
    ProgramSlotState slots[k_program_slots];
    int current = 0;
    int switches = 0;
    const char* vertex_override[k_program_slots] = {};
    const char* fragment_override[k_program_slots] = {};
};
ProgramTable g_programs;

bool shader_entry_points() {
    const GlFunctions& f = g_gl;
    return f.CreateShaderObjectARB && f.ShaderSourceARB && f.CompileShaderARB && f.CreateProgramObjectARB &&
           f.AttachObjectARB && f.LinkProgramARB && f.UseProgramObjectARB && f.DetachObjectARB &&
           f.DeleteObjectARB && f.GetObjectParameterivARB && f.GetInfoLogARB && f.GetUniformLocationARB &&
           f.Uniform1iARB && f.Uniform3fvARB && f.UniformMatrix3fvARB;
}

// Logs an object's info log, when it has one, as "<what> for <name>:\n<log>".
void log_info(GLhandleARB object, const char* what, const char* name) {
    GLint length = 0;
    g_gl.GetObjectParameterivARB(object, GL_OBJECT_INFO_LOG_LENGTH_ARB, &length);
    if (length <= 1) return;
    std::string text(static_cast<size_t>(length), '\0');
    GLsizei written = 0;
    g_gl.GetInfoLogARB(object, length, &written, text.data());
    text.resize(static_cast<size_t>(written > 0 ? written : 0));
    if (!text.empty()) log_printf("%s for %s:\n%s\n", what, name, text.c_str());
}

void delete_all() {
    if (!g_gl.DeleteObjectARB) {
        for (ProgramSlotState& s : g_programs.slots)
            s = ProgramSlotState{};
        return;
    }
    if (g_gl.UseProgramObjectARB) g_gl.UseProgramObjectARB(0);
    for (ProgramSlotState& s : g_programs.slots) {
        if (s.program && s.vertex) g_gl.DetachObjectARB(s.program, s.vertex);
        if (s.program && s.fragment) g_gl.DetachObjectARB(s.program, s.fragment);
        if (s.vertex) g_gl.DeleteObjectARB(s.vertex);
        if (s.fragment) g_gl.DeleteObjectARB(s.fragment);
        if (s.program) g_gl.DeleteObjectARB(s.program);
        s = ProgramSlotState{};
    }
    g_programs.current = 0;
}

bool compile_shader(GLhandleARB shader, const char* source, const char* what, const char* name) {
    g_gl.ShaderSourceARB(shader, 1, &source, nullptr);
    g_gl.CompileShaderARB(shader);
    log_info(shader, what, name);
    GLint ok = 0;
    g_gl.GetObjectParameterivARB(shader, GL_OBJECT_COMPILE_STATUS_ARB, &ok);
    return ok != 0;
}

// Builds one slot. On failure every slot is deleted.
bool compile_program(int slot, const char* vertex_source, const char* fragment_source, const char* name) {
    ProgramSlotState& s = g_programs.slots[slot];
    s.vertex = g_gl.CreateShaderObjectARB(GL_VERTEX_SHADER_ARB);
    s.fragment = g_gl.CreateShaderObjectARB(GL_FRAGMENT_SHADER_ARB);
    bool ok = s.vertex && s.fragment &&
              compile_shader(s.vertex, vertex_source, "vertex shader status", name) &&
              compile_shader(s.fragment, fragment_source, "fragment shader status", name);
    if (ok) {
        s.program = g_gl.CreateProgramObjectARB();
        ok = s.program != 0;
    }
    if (ok) {
        g_gl.AttachObjectARB(s.program, s.vertex);
        g_gl.AttachObjectARB(s.program, s.fragment);
        g_gl.LinkProgramARB(s.program);
        log_info(s.program, "link status", name);
        GLint linked = 0;
        g_gl.GetObjectParameterivARB(s.program, GL_OBJECT_LINK_STATUS_ARB, &linked);
        ok = linked != 0;
    }
    if (!ok) delete_all();
    return ok;
}

struct SamplerUnit {
    int slot;
    const char* name;
    int unit;
};
constexpr SamplerUnit k_samplers[] = {
    {ProgramNormLit, "nmap", 1},     {ProgramNormEnv, "nmap", 1},        {ProgramNormSpecLit, "nmap", 1},
    {ProgramNormSpecLit, "smap", 2}, {ProgramTerrainNormals, "base", 1}, {ProgramTerrain, "nmap", 1},
    {ProgramTerrain, "smap", 2},
};

void switch_to(int slot) {
    g_programs.current = slot;
    ++g_programs.switches;
    if (g_gl.UseProgramObjectARB) g_gl.UseProgramObjectARB(g_programs.slots[slot].program);
}

} // namespace

bool build_programs() {
    if (!g_gl_caps.has_fragment_shader || !g_gl_caps.has_vertex_shader || !shader_entry_points())
        return false;
    delete_all();
    for (int slot = 1; slot < k_program_slots; ++slot) {
        const char* vertex =
            g_programs.vertex_override[slot] ? g_programs.vertex_override[slot] : program_vertex_source(slot);
        const char* fragment = g_programs.fragment_override[slot] ? g_programs.fragment_override[slot]
                                                                  : program_fragment_source(slot);
        if (!compile_program(slot, vertex, fragment, program_name(slot))) return false;
    }
    for (const SamplerUnit& s : k_samplers) {
        use_program(s.slot);
        GLint location = g_gl.GetUniformLocationARB(g_programs.slots[s.slot].program, s.name);
        if (location != -1) g_gl.Uniform1iARB(location, s.unit);
    }
    use_program(ProgramFixed);
    return true;
}

void use_program(int slot) {
    if (slot < 0 || slot >= k_program_slots || slot == g_programs.current) return;
    switch_to(slot);
}

int current_program() {
    return g_programs.current;
}

unsigned program_handle(int slot) {
    if (slot < 1 || slot >= k_program_slots) return 0;
    return g_programs.slots[slot].program;
}

const char* program_name(int slot) {
    if (slot < 0 || slot >= k_program_slots) return "";
    return sources()[static_cast<size_t>(slot)].name;
}

const char* program_vertex_source(int slot) {
    if (slot < 0 || slot >= k_program_slots) return "";
    return sources()[static_cast<size_t>(slot)].vertex.c_str();
}

const char* program_fragment_source(int slot) {
    if (slot < 0 || slot >= k_program_slots) return "";
    return sources()[static_cast<size_t>(slot)].fragment.c_str();
}

int program_switches() {
    return g_programs.switches;
}
void program_switches_reset() {
    g_programs.switches = 0;
}

void set_env_matrix(const float view[9]) {
    for (int slot : {ProgramEnv, ProgramNormEnv}) {
        ProgramSlotState& s = g_programs.slots[slot];
        if (!s.program) continue;
        use_program(slot);
        if (s.envmat == -1) s.envmat = g_gl.GetUniformLocationARB(s.program, "envmat");
        if (s.envmat != -1) g_gl.UniformMatrix3fvARB(s.envmat, 1, GL_TRUE, view);
    }
    use_program(ProgramFixed);
}

void set_bone_uniforms(int count, const float* centres, const float* translations, const float* rotations) {
    int slot = g_programs.current;
    if (slot < 1 || slot >= k_program_slots) return;
    ProgramSlotState& s = g_programs.slots[slot];
    if (!s.program) return;
    if (!s.bones_looked_up) {
        s.bones_looked_up = true;
        s.nbones = g_gl.GetUniformLocationARB(s.program, "nbones");
        s.bone_c = g_gl.GetUniformLocationARB(s.program, "bone_c");
        s.bone_t = g_gl.GetUniformLocationARB(s.program, "bone_t");
        s.bone_r = g_gl.GetUniformLocationARB(s.program, "bone_r");
    }
    if (count < 0) count = 0;
    if (count > k_max_bones) count = k_max_bones;
    if (count > 0 && (!centres || !translations || !rotations)) count = 0;
    if (s.nbones != -1) g_gl.Uniform1iARB(s.nbones, count);
    if (count == 0) return;
    if (s.bone_c != -1) g_gl.Uniform3fvARB(s.bone_c, count, centres);
    if (s.bone_t != -1) g_gl.Uniform3fvARB(s.bone_t, count, translations);
    if (s.bone_r != -1) g_gl.UniformMatrix3fvARB(s.bone_r, count, GL_FALSE, rotations);
}

void programs_delete() {
    delete_all();
}

void program_source_override(int slot, const char* vertex, const char* fragment) {
    if (slot < 1 || slot >= k_program_slots) return;
    g_programs.vertex_override[slot] = vertex;
    g_programs.fragment_override[slot] = fragment;
}

void programs_reset() {
    g_programs = ProgramTable{};
}
