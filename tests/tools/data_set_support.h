#pragma once
// Readers for the built data set, kept deliberately independent of the game's own readers so
// that the builder's output is checked against the file formats themselves.
#include <cstdint>
#include <map>
#include <string>
#include <vector>

// The entries of a ".saf" archive in header order; false when the header is malformed or the
// sizes do not add up to the file.
bool saf_entries(const std::string& bytes, std::vector<std::pair<std::string, std::string>>& entries);

struct RgbaImage {
    int width = 0, height = 0;
    std::vector<uint8_t> pixels; // RGBA, rows top first
};
// Decodes PNG bytes into RGBA (grey, RGB and palette expanded, alpha 255 where absent).
bool png_decode(const std::string& bytes, RgbaImage& image);
