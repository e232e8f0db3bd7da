#include "tools/data_set_support.h"

#include <csetjmp>
#include <cstring>
#include <png.h>

bool saf_entries(const std::string& bytes, std::vector<std::pair<std::string, std::string>>& entries) {
    entries.clear();
    size_t pos = 0;
    std::vector<std::pair<std::string, size_t>> header;
    for (;;) {
        size_t end = bytes.find('\n', pos);
        if (end == std::string::npos) return false;
        std::string line = bytes.substr(pos, end - pos);
        pos = end + 1;
        if (line == "-") break;
        size_t space = line.find(' ');
        if (space == std::string::npos || space == 0) return false;
        header.push_back({line.substr(space + 1), size_t(std::stoul(line.substr(0, space)))});
    }
    for (const auto& [name, size] : header) {
        if (pos + size > bytes.size()) return false;
        entries.push_back({name, bytes.substr(pos, size)});
        pos += size;
    }
    return pos == bytes.size();
}

namespace {

struct PngSource {
    const std::string* bytes;
    size_t pos;
};

void png_source_read(png_structp png, png_bytep out, png_size_t size) {
    PngSource* source = static_cast<PngSource*>(png_get_io_ptr(png));
    if (source->pos + size > source->bytes->size()) png_error(png, "short");
    memcpy(out, source->bytes->data() + source->pos, size);
    source->pos += size;
}

} // namespace

bool png_decode(const std::string& bytes, RgbaImage& image) {
    if (bytes.size() < 8 || png_sig_cmp(reinterpret_cast<png_const_bytep>(bytes.data()), 0, 8) != 0)
        return false;
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    PngSource source{&bytes, 0};
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        return false;
    }
    png_set_read_fn(png, &source, png_source_read);
    png_read_info(png, info);
    png_set_expand(png);
    png_set_strip_16(png);
    png_set_gray_to_rgb(png);
    png_set_add_alpha(png, 0xff, PNG_FILLER_AFTER);
    png_read_update_info(png, info);
    image.width = int(png_get_image_width(png, info));
    image.height = int(png_get_image_height(png, info));
    image.pixels.assign(size_t(image.width) * size_t(image.height) * 4, 0);
    std::vector<png_bytep> rows(size_t(image.height));
    for (int y = 0; y < image.height; ++y)
        rows[size_t(y)] = &image.pixels[size_t(y) * size_t(image.width) * 4];
    png_read_image(png, rows.data());
    png_destroy_read_struct(&png, &info, nullptr);
    return true;
}
