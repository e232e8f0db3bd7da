#pragma once
// Images in memory: the readers for PPM, PGM, the compact J6/J7 formats and PNG, mip chains, and the
// PNG writers. Nothing here touches OpenGL; textures are made from these buffers elsewhere.
//
// Pixel buffers hold rows top row first (the first row of the file is row 0), each row left to
// right, `channels` bytes per pixel in the order R, G, B, A. A mip chain is one buffer: level 0
// followed by every smaller level down to 1 x 1 (each side halved by integer division, at least 1),
// plus one spare pixel.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct DataStream;

// Images beyond these sizes are refused before anything is allocated for them.
constexpr int k_image_max_side = 32768;
constexpr int64_t k_image_max_pixels = int64_t(1) << 26;

struct Image {
    int width = 0;  // of level 0
    int height = 0; // of level 0
    int channels = 0;
    bool mipmapped = false; // pixels hold the whole chain, else level 0 only
    std::vector<uint8_t> pixels;
    std::string description; // PNG text chunks, then the ".info" companion file; empty when none
};

// Why the last failed read failed, as a short sentence ("" before any failure).
const char* image_error();

// Number of levels in the chain of a w x h image (1 for 1 x 1).
int mip_level_count(int width, int height);
// Bytes of a whole chain: channels * (sum of level sizes + 1).
size_t mip_chain_bytes(int width, int height, int channels);
// Fills levels 1 ... n of a chain whose level 0 is set. Four channels are reduced with alpha weights
// so that transparent pixels do not bleed colour; max_alpha keeps the largest alpha of a block.
void build_mip_chain(uint8_t* chain, int width, int height, int channels, bool max_alpha);

// Reads the first white-space-delimited word of a file (at most 15 characters); false at the end.
bool read_image_magic(DataStream* stream, char magic[16]);
// Numbers of the text headers: white space and '#' comment lines are skipped first. False (value
// unchanged) when no number starts there.
bool header_read_int(DataStream* stream, int& value);
// As header_read_int for a decimal number; "inf" and "nan" are read too, so callers can refuse them.
bool header_read_float(DataStream* stream, float& value);

// PPM ("P6" raw, "P3" plain) after its magic word: RGB pixels, with a mip chain unless mips is false.
bool read_ppm(DataStream* stream, const char* magic, Image& out, bool mips = true);
// PGM ("P5" raw, "P2" plain), reading the magic word itself: one grey channel, no mip chain.
bool read_pgm(DataStream* stream, Image& out);
// J6 (RGB) or J7 (RGBA) after its magic word, delivered with 3 or 4 channels and a mip chain. A J6
// image read with 4 channels has alpha 0.
bool read_compact_image(const char* magic, DataStream* stream, int channels, Image& out);
// A PNG opened through the data layer: 3 or 4 channels (4 with alpha or transparency), a mip chain
// shaped by the "[mip_max_alpha]" and "[mip_custom]" markers of its description.
bool read_png_image(const char* path, Image& out);
// The font entry point: RGBA with a mip chain. A PNG without alpha and a J6 file get alpha 255; J7
// files are accepted as they are.
bool read_rgba_image(const char* path, Image& out);
// A PNG as one channel of 16-bit samples (palette and colour converted to grey, alpha dropped, 8-bit
// values widened by repeating the byte). Used for height maps.
bool read_png_grey16(const char* path, std::vector<uint16_t>& samples, int& width, int& height);
// Reads any image file by name, choosing the reader by the file's first word: PPM, PGM, J6/J7, and
// PNG for anything else. "ANIM1" and "LINK" files belong to the texture manager and are refused here,
// as are sharing and resizing. Failures are logged with the name.
bool read_image_file(const char* path, Image& out);

// Writes a 16-bit grey PNG (not interlaced, default compression).
bool write_png_grey16(DataStream* stream, const uint16_t* samples, int width, int height);
// Writes an 8-bit RGB PNG whose first row is the last row of the buffer, so a frame read back from
// OpenGL (bottom row first) is stored upright.
bool write_png_rgb(const char* path, const uint8_t* pixels, int width, int height);
