#pragma once
// The shader program table: slot 0 is fixed-function drawing, slots 1 to 7 the programs the model
// renderer and the ground textures draw with. The programs are built all or none.

constexpr int k_program_slots = 8;
constexpr int k_max_bones = 10; // bones a skinned model may have; the programs hold this many

enum ProgramSlot {
    ProgramFixed = 0,
    ProgramLit = 1,            // lit models without normal map; "tex" unit 0
    ProgramEnv = 2,            // chrome pass; "tex" unit 0 is the environment map
    ProgramNormLit = 3,        // lit models with a normal map; "tex" 0, "nmap" 1
    ProgramNormEnv = 4,        // chrome pass with a normal map; "tex" 0, "nmap" 1
    ProgramNormSpecLit = 5,    // normal and specular maps; "tex" 0, "nmap" 1, "smap" 2
    ProgramTerrainNormals = 6, // composes ground normal textures; "tex" 0, "base" 1
    ProgramTerrain = 7,        // ground with normal and specular textures; "tex" 0, "nmap" 1, "smap" 2
};

// Builds programs 1 to 7 (needs the vertex and fragment shader extensions). On the first failure
// every program is deleted and 0 is returned; the compiler's messages are logged.
bool build_programs();
// Makes a slot current (0: fixed function); a slot above 7 or the current one changes nothing.
// Each change counts one program switch.
void use_program(int slot);
int current_program();
// The program handle of slot 1 to 7; 0 outside that range or when not built.
unsigned program_handle(int slot);
const char* program_name(int slot);
// Program switches since the last reset (the scene resets it every frame).
int program_switches();
void program_switches_reset();
// `view` is the view rotation (world to eye space), 9 floats column by column; the environment
// programs receive its transpose, which takes eye-space reflections back to the world. Leaves
// slot 0 current.
void set_env_matrix(const float view[9]);
// Sets the bone uniforms of the current program (slots 1 to 7 only): count, then count centres
// and translations (3 floats each) and rotations (9 floats each, column by column). A count above
// k_max_bones is limited to it.
void set_bone_uniforms(int count, const float* centres, const float* translations, const float* rotations);
// Deletes every program and returns to fixed function.
void programs_delete();
// Replaces the sources of a slot (tests; null keeps the built-in source).
void program_source_override(int slot, const char* vertex, const char* fragment);
// The built-in sources of a slot.
const char* program_vertex_source(int slot);
const char* program_fragment_source(int slot);
// Forgets the table without GL calls (tests).
void programs_reset();
