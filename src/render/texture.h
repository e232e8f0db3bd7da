#pragma once
// Textures made from images in memory: power-of-two resizing, dropping the largest mip levels for
// lower detail, and the upload of a whole mip chain into an OpenGL texture object. The texture
// memory counter sums the bytes of every level uploaded.
#include "render/image.h"

#include <cstdint>

// Texture-creation flags (a bit set).
enum TextureFlag : int {
    TextureRepeatH = 1,     // wrap S repeats, else clamps
    TextureRepeatV = 2,     // wrap T repeats, else clamps
    TextureCompress = 4,    // compressed internal format (OpenGL 2 and later)
    TextureSingleLevel = 8, // level 0 only, no mip levels
};

// Bytes of texture memory in use: raised by every level uploaded (the compressed size for a
// compressed level) and set to 0 by the track loader; the texture manager adds a texture's bytes
// again when a new track requests it, so after a track load it counts what that track uses.
extern int64_t g_texture_memory;

// Texels of the largest level that is never dropped for detail (128 x 128).
constexpr int k_texture_keep_texels = 16384;
// Side above which file textures may lose levels for detail.
constexpr int k_texture_detail_min_side = 128;

bool is_power_of_two(int n);
// The largest power of two not above n (n >= 1); 1 for n <= 1.
int floor_power_of_two(int n);

// The power-of-two size of a texture read from a file: when either side is not a power of two,
// each side of at least 3 becomes the largest power of two not above it and a side of 1 or 2
// becomes 1. Sizes that are already powers of two on both sides are kept.
void texture_file_size(int width, int height, int& out_width, int& out_height);
// The power-of-two size of an animation frame or in-memory image: each side that is not a power
// of two becomes the largest power of two not above it.
void texture_frame_size(int width, int height, int& out_width, int& out_height);

// Resamples level 0 of an image to a new size (nearest texel: source (x * w / nw, y * h / nh)) and
// builds a new mip chain from it; max_alpha as for build_mip_chain. Nothing changes when the size
// is the same. False for a size below 1 or an image without pixels.
bool image_resample(Image& image, int new_width, int new_height, bool max_alpha);
// Drops up to `levels` of the largest levels, but only while both sides of the current level are
// above 128 (textures from files). Returns the number dropped.
int image_drop_levels_for_detail(Image& image, int levels);
// Drops levels while `levels` has not been used up or the level holds more texels than `limit`;
// a level of 16384 texels or fewer is never dropped (animation frames and in-memory images).
// Returns the number dropped.
int image_drop_levels_to_limit(Image& image, int levels, int64_t limit);

// The border colour of an RGB image: the most populated cell of an 8 x 8 x 8 histogram of its
// outermost pixels (corner pixels count twice), each channel quantised to c * 7 / 255. Channels are
// cell / 7; alpha is 0. On a tie the cell with the lowest index (r * 64 + g * 8 + b) wins.
void texture_border_colour(const Image& image, float colour[4]);

// Creates a 2-D texture from an image with a mip chain (or level 0 only with TextureSingleLevel or
// an image without a chain) and returns its OpenGL name; 0 when the image is unusable (no pixels,
// a channel count other than 3 or 4). Adds the uploaded bytes to g_texture_memory. Needs a current
// OpenGL context.
unsigned create_texture(const Image& image, int flags);
// Replaces every level of a texture made from an image of the same size and channel count with the
// levels of `image` (texture sub-image uploads); the texture's memory use does not change.
void texture_replace_levels(unsigned texture, const Image& image);
