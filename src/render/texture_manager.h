#pragma once
// The texture manager: every texture and in-memory image is requested by name and shared by all
// users of that name. Names select wrapping ("-repeat.", "-hrepeat.", "-vrepeat.") and full detail
// (a leading "!"); link files redirect a name to another, animation files play a sequence of images
// into one texture. Records carry the generation in which they were last requested; a purge after a
// race set-up frees those the new track did not ask for. Records of generation 0 (made before the
// first track) are permanent.
#include "render/image.h"

#include <cstdint>
#include <string>
#include <vector>

// How textures whose description asks for "[compress]" are compressed.
enum TextureCompression : int {
    CompressNo = 0,     // never
    CompressYes = 1,    // when the description asks for it
    CompressAlways = 2, // every PNG texture
};

// The compression setting. The detail level (levels dropped from file textures) is the launch
// options' texture skip. Seam: the configuration's derived "Compress Textures" index is copied here
// at start-up; until then compression follows the "[compress]" marker.
extern TextureCompression g_texture_compression;

// Most links followed for one request; a longer chain is refused like a cycle.
constexpr int k_texture_link_depth = 16;
// Texels an animation frame may keep (its larger levels are dropped).
constexpr int64_t k_animation_texel_limit = 65536;

// The OpenGL texture for a name, loading it on first use; 0 when the file cannot be read. A leading
// '!' keeps every mip level and is not part of the stored name. Needs a current OpenGL context.
unsigned load_texture(const char* name);
// The shared in-memory RGBA image (with mip chain) for a name, loading it on first use; null when
// the file cannot be read. The image lives until a purge frees its record.
const Image* load_image(const char* name);

// The stored file name of a texture (after link resolution), or null.
const char* texture_name_of(unsigned texture);
// Its description (PNG text and ".info"), or null when it has none.
const char* texture_description_of(unsigned texture);
// The stored file name of an in-memory image, by its pixels, or null.
const char* image_name_of(const uint8_t* pixels);

// Shows each animation's current frame for the race clock `now` (in ticks, the unit of the frame
// periods). Re-uploads a texture only when its image changes.
void update_animations(int64_t now);
// Unpauses the animation driving `texture` and makes `now` its start time.
void restart_animation(unsigned texture, int64_t now);
// Stops advancing the animation driving `texture`.
void pause_animation(unsigned texture);

// The current generation (0 until the first track).
int texture_generation();
// Starts a new generation; the race set-up calls it before it loads a new track.
void texture_generation_advance();
// Frees every record of a generation that is neither 0 nor the current one (and the animations
// whose texture went with them), or every record with `all` (at exit; the tables are emptied).
// Deleting textures needs the OpenGL context that made them.
void purge_textures(bool all);

// Normal-map and specular-map companions of a texture (each 0 when absent), tried from the texture
// name and then from the model name. Only looked up while shader programs are in use.
void find_companion_textures(const char* texture_name, const char* model_name, unsigned& normal_map,
                             unsigned& specular_map);

struct TextureVariant {
    std::string name;  // "@" + data file name; empty for "default"
    std::string label; // base name without the prefix and ".png"
};
// "default", then every ".png" data file (not "_norm.png" or "_spec.png") whose base name starts
// with `prefix`.
std::vector<TextureVariant> list_texture_variants(const char* prefix);
// The prefix of the variants of a texture file: its base name without the extension, then "-"
// ("@bike_cr.png" gives "bike_cr-").
std::string texture_variant_prefix(const char* texture);

// The riding-gear texture choices collected at start-up for the menus.
struct TextureChoices {
    std::vector<TextureVariant> rider_body, rider_head, bike, wheels;
};
extern TextureChoices g_texture_choices;
void collect_texture_choices(const char* bike_prefix);

// Counts for tests and statistics.
int texture_record_count();
int image_record_count();
int animation_count();
// The image index an animation currently shows, or -1 when no animation drives `texture`.
int animation_shown_image(unsigned texture);

// Forgets every record without deleting OpenGL textures, and resets the generation and settings
// (tests, after their context is gone).
void texture_manager_reset();
