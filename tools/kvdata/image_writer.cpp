#include "image_writer.h"

#include <csetjmp>
#include <png.h>

namespace {

void png_append(png_structp png, png_bytep data, png_size_t size) {
    Bytes* out = static_cast<Bytes*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + size);
}

void png_no_flush(png_structp) {}

// Writes rows of `row_bytes` each; bit_depth 8 or 16 (16-bit rows already big-endian).
Bytes png_write_rows(const uint8_t* data, int width, int height, int colour_type, int bit_depth,
                     size_t row_bytes) {
    Bytes out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    if (!png) return out;
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        return out;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return Bytes();
    }
    png_set_write_fn(png, &out, png_append, png_no_flush);
    png_set_IHDR(png, info, png_uint_32(width), png_uint_32(height), bit_depth, colour_type,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < height; ++y)
        png_write_row(png, const_cast<png_bytep>(data + size_t(y) * row_bytes));
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return out;
}

Bytes netpbm_encode(const char* magic, const uint8_t* data, int width, int height, int channels) {
    Bytes out = bytes_of(format_text("%s\n%d %d\n255\n", magic, width, height));
    bytes_append(out, data, size_t(width) * size_t(height) * size_t(channels));
    return out;
}

} // namespace

Bytes png_encode(const uint8_t* pixels, int width, int height, int channels) {
    int type = channels == 1   ? PNG_COLOR_TYPE_GRAY
               : channels == 3 ? PNG_COLOR_TYPE_RGB
                               : PNG_COLOR_TYPE_RGB_ALPHA;
    return png_write_rows(pixels, width, height, type, 8, size_t(width) * size_t(channels));
}

Bytes png_encode_grey16(const uint16_t* samples, int width, int height) {
    std::vector<uint8_t> rows(size_t(width) * size_t(height) * 2);
    for (size_t i = 0; i < size_t(width) * size_t(height); ++i) {
        rows[2 * i] = uint8_t(samples[i] >> 8);
        rows[2 * i + 1] = uint8_t(samples[i] & 255);
    }
    return png_write_rows(rows.data(), width, height, PNG_COLOR_TYPE_GRAY, 16, size_t(width) * 2);
}

Bytes ppm_encode(const uint8_t* rgb, int width, int height) {
    return netpbm_encode("P6", rgb, width, height, 3);
}

Bytes pgm_encode(const uint8_t* grey, int width, int height) {
    return netpbm_encode("P5", grey, width, height, 1);
}
