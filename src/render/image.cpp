#include "render/image.h"

#include "core/messages.h"
#include "data/stream.h"
#include "platform/log.h"

#include <png.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <cmath>
#include <csetjmp>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

char g_error[256] = "";

// The most libpng may claim in one allocation while reading. Pixel rows are ours; libpng's own
// buffers are a row, a palette or a chunk's data. A damaged chunk length must not make it claim (and
// clear) gigabytes before it finds that the file ends.
constexpr size_t k_png_alloc_max = size_t(16) << 20;

bool fail(const char* format, ...) __attribute__((format(printf, 1, 2)));
bool fail(const char* format, ...) {
    va_list args;
    va_start(args, format);
    vsnprintf(g_error, sizeof g_error, format, args);
    va_end(args);
    return false;
}

bool is_space(int c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

// Skips white space and any number of '#' comment lines before a header number.
void skip_blanks_and_comments(DataStream* s) {
    for (;;) {
        int c = stream_getc(s);
        while (c >= 0 && is_space(c))
            c = stream_getc(s);
        if (c != '#') {
            stream_ungetc(s, c);
            return;
        }
        while (c >= 0 && c != '\n')
            c = stream_getc(s);
        if (c < 0) return;
    }
}

// Refuses sizes that are zero, negative or too large before anything is allocated for them.
bool check_size(int width, int height) {
    if (width <= 0 || height <= 0) return fail("bad size %dx%d", width, height);
    if (width > k_image_max_side || height > k_image_max_side || int64_t(width) * height > k_image_max_pixels)
        return fail("size %dx%d is too large", width, height);
    return true;
}

// One reduced pixel from n source pixels (2 or 4).
void combine(const uint8_t* const* p, int n, uint8_t* out, int channels, bool max_alpha) {
    if (channels == 4) {
        int t = 0, top = 0;
        for (int k = 0; k < n; ++k) {
            t += p[k][3];
            top = std::max(top, int(p[k][3]));
        }
        bool plain = t == 0 || t == 255 * n;
        for (int c = 0; c < 3; ++c) {
            int sum = 0;
            for (int k = 0; k < n; ++k)
                sum += plain ? p[k][c] : p[k][c] * p[k][3];
            out[c] = static_cast<uint8_t>(plain ? sum / n : sum / t);
        }
        out[3] = static_cast<uint8_t>(max_alpha ? top : t / n);
        return;
    }
    for (int c = 0; c < channels; ++c) {
        int sum = 0;
        for (int k = 0; k < n; ++k)
            sum += p[k][c];
        out[c] = static_cast<uint8_t>(sum / n);
    }
}

// Makes the next level from a source level; a last odd row or column is dropped.
void reduce_level(const uint8_t* src, int sw, int sh, uint8_t* dst, int channels, bool max_alpha) {
    int dw = std::max(1, sw / 2), dh = std::max(1, sh / 2);
    const uint8_t* p[4];
    for (int y = 0; y < dh; ++y) {
        for (int x = 0; x < dw; ++x) {
            uint8_t* out = dst + (size_t(y) * dw + x) * channels;
            if (sw > 1 && sh > 1) {
                p[0] = src + (size_t(2 * y) * sw + 2 * x) * channels;
                p[1] = p[0] + channels;
                p[2] = p[0] + size_t(sw) * channels;
                p[3] = p[2] + channels;
                combine(p, 4, out, channels, max_alpha);
            } else if (sw > 1) {
                p[0] = src + size_t(2 * x) * channels;
                p[1] = p[0] + channels;
                combine(p, 2, out, channels, max_alpha);
            } else {
                p[0] = src + size_t(2 * y) * channels;
                p[1] = p[0] + channels;
                combine(p, 2, out, channels, max_alpha);
            }
        }
    }
}

// Fills the levels after `level` (which is set) down to 1 x 1.
void build_levels_from(uint8_t* chain, int width, int height, int channels, bool max_alpha, int level) {
    int w = width, h = height;
    uint8_t* at = chain;
    for (int k = 0; k < level; ++k) {
        at += size_t(w) * h * channels;
        w = std::max(1, w / 2);
        h = std::max(1, h / 2);
    }
    while (int64_t(w) * h > 1) {
        uint8_t* next = at + size_t(w) * h * channels;
        reduce_level(at, w, h, next, channels, max_alpha);
        at = next;
        w = std::max(1, w / 2);
        h = std::max(1, h / 2);
    }
}

// Turns level 0 in out.pixels into a whole chain.
void make_chain(Image& out, bool max_alpha) {
    out.pixels.resize(mip_chain_bytes(out.width, out.height, out.channels));
    build_mip_chain(out.pixels.data(), out.width, out.height, out.channels, max_alpha);
    out.mipmapped = true;
}

// Reads exactly size bytes; false when the stream ends first.
bool read_exact(DataStream* s, uint8_t* into, size_t size) {
    size_t done = 0;
    while (done < size) {
        size_t got = stream_read(s, into + done, size - done);
        if (got == 0) return false;
        done += got;
    }
    return true;
}

// PPM and PGM bodies after the magic word. Raw data with a maximum above 255 holds two bytes per
// sample, high byte first; every value is scaled to 0 ... 255 and values above the maximum are held
// at 255 rather than wrapping.
bool read_netpbm(DataStream* s, bool plain, int channels, Image& out) {
    int width = -1, height = -1, maximum = -1;
    skip_blanks_and_comments(s);
    header_read_int(s, width);
    skip_blanks_and_comments(s);
    header_read_int(s, height);
    skip_blanks_and_comments(s);
    if (!header_read_int(s, maximum)) return fail("no maximum value");
    if (width < 0 || height < 0) return fail("bad size %dx%d", width, height);
    if (maximum <= 0 || maximum > 65535) return fail("bad maximum value %d", maximum);
    if (!check_size(width, height)) return false;
    out = Image{};
    out.width = width;
    out.height = height;
    out.channels = channels;
    size_t row_values = size_t(width) * channels;
    // Rows are appended as they arrive, so a short file with a large header fails without having
    // claimed the whole image.
    out.pixels.reserve(std::min<size_t>(row_values * height, size_t(1) << 20));
    if (plain) {
        for (int y = 0; y < height; ++y) {
            size_t at = out.pixels.size();
            out.pixels.resize(at + row_values);
            for (size_t i = 0; i < row_values; ++i) {
                int v = 0;
                skip_blanks_and_comments(s);
                if (!header_read_int(s, v)) return fail("pixel data ends early");
                v = std::clamp(v, 0, maximum);
                out.pixels[at + i] = static_cast<uint8_t>(v * 255 / maximum);
            }
        }
        return true;
    }
    stream_getc(s); // the one separator after the maximum
    int bytes = maximum > 255 ? 2 : 1;
    std::vector<uint8_t> row(row_values * bytes);
    for (int y = 0; y < height; ++y) {
        if (!read_exact(s, row.data(), row.size())) return fail("pixel data ends early");
        size_t at = out.pixels.size();
        out.pixels.resize(at + row_values);
        for (size_t i = 0; i < row_values; ++i) {
            int v = bytes == 2 ? row[2 * i] << 8 | row[2 * i + 1] : row[i];
            if (maximum != 255) v = std::min(v, maximum) * 255 / maximum;
            out.pixels[at + i] = static_cast<uint8_t>(v);
        }
    }
    return true;
}

bool read_pgm_body(DataStream* s, const char* magic, Image& out) {
    bool plain = strcmp(magic, "P2") == 0;
    if (!plain && strcmp(magic, "P5") != 0) return fail("not a PGM file");
    return read_netpbm(s, plain, 1, out);
}

// ---- PNG through libpng; errors come back through a long jump into the function that set it up.

bool little_endian_host() {
    const uint16_t probe = 1;
    uint8_t first = 0;
    memcpy(&first, &probe, 1);
    return first == 1;
}

void png_on_error(png_structp png, png_const_charp message) {
    fail("PNG error: %s", message);
    png_longjmp(png, 1);
}

void png_on_warning(png_structp, png_const_charp) {}

png_voidp png_limited_malloc(png_structp, png_alloc_size_t size) {
    return size > k_png_alloc_max ? nullptr : malloc(size);
}

void png_plain_free(png_structp, png_voidp block) {
    free(block);
}

void png_read_from_stream(png_structp png, png_bytep data, size_t length) {
    DataStream* s = static_cast<DataStream*>(png_get_io_ptr(png));
    if (!read_exact(s, data, length)) png_error(png, "file ends early");
}

void png_write_to_stream(png_structp png, png_bytep data, size_t length) {
    DataStream* s = static_cast<DataStream*>(png_get_io_ptr(png));
    if (stream_write(s, data, length) != length) png_error(png, "write failed");
}

void png_flush_stream(png_structp png) {
    DataStream* s = static_cast<DataStream*>(png_get_io_ptr(png));
    if (stream_flush(s) != 0) png_error(png, "write failed");
}

enum class PngWant { Colour, Grey16 };

// Everything the decoder changes lives here, behind a reference, so nothing it holds is lost to the
// long jump.
struct PngJob {
    DataStream* stream = nullptr;
    PngWant want = PngWant::Colour;
    int width = 0, height = 0, channels = 0, bit_depth = 0;
    size_t row_bytes = 0;
    std::vector<uint8_t> data;
    std::vector<png_bytep> rows;
    std::string text;
};

void append_text(png_structp png, png_infop info, std::string& text) {
    png_textp chunks = nullptr;
    int count = 0;
    png_get_text(png, info, &chunks, &count);
    for (int i = 0; i < count; ++i)
        if (chunks[i].text) text += chunks[i].text;
}

bool png_decode(PngJob& job) {
    uint8_t signature[8];
    if (!read_exact(job.stream, signature, 8) || png_sig_cmp(signature, 0, 8) != 0)
        return fail("not a PNG file");
    png_structp png = png_create_read_struct_2(PNG_LIBPNG_VER_STRING, nullptr, png_on_error, png_on_warning,
                                               nullptr, png_limited_malloc, png_plain_free);
    if (!png) return fail("PNG reader unavailable");
    png_infop info = png_create_info_struct(png);
    png_infop end = png_create_info_struct(png);
    if (!info || !end) {
        png_destroy_read_struct(&png, &info, &end);
        return fail("PNG reader unavailable");
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, &end);
        return false;
    }
    png_set_read_fn(png, job.stream, png_read_from_stream);
    png_set_sig_bytes(png, 8);
    png_set_user_limits(png, k_image_max_side, k_image_max_side);
    png_read_info(png, info);
    png_uint_32 w = 0, h = 0;
    int depth = 0, colour = 0;
    png_get_IHDR(png, info, &w, &h, &depth, &colour, nullptr, nullptr, nullptr);
    if (w > png_uint_32(k_image_max_side) || h > png_uint_32(k_image_max_side) || !check_size(int(w), int(h)))
        png_longjmp(png, 1);
    if (colour == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(png);
    if (colour == PNG_COLOR_TYPE_GRAY && depth < 8) png_set_expand_gray_1_2_4_to_8(png);
    if (job.want == PngWant::Colour) {
        if (png_get_valid(png, info, PNG_INFO_tRNS)) png_set_tRNS_to_alpha(png);
        if (depth == 16) png_set_strip_16(png);
        if (colour == PNG_COLOR_TYPE_GRAY || colour == PNG_COLOR_TYPE_GRAY_ALPHA) png_set_gray_to_rgb(png);
    } else {
        if (depth == 16 && little_endian_host()) png_set_swap(png);
        png_set_strip_alpha(png);
        if (colour & PNG_COLOR_MASK_COLOR) png_set_rgb_to_gray(png, 1, -1, -1);
    }
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    job.width = int(w);
    job.height = int(h);
    job.channels = png_get_channels(png, info);
    job.bit_depth = png_get_bit_depth(png, info);
    job.row_bytes = png_get_rowbytes(png, info);
    bool shape_ok = job.want == PngWant::Colour
                        ? (job.channels == 3 || job.channels == 4) && job.bit_depth == 8
                        : job.channels == 1 && (job.bit_depth == 8 || job.bit_depth == 16);
    if (!shape_ok) png_error(png, "unexpected pixel layout");
    job.data.resize(job.row_bytes * job.height);
    job.rows.resize(job.height);
    for (int y = 0; y < job.height; ++y)
        job.rows[y] = job.data.data() + job.row_bytes * y;
    png_read_image(png, job.rows.data());
    png_read_end(png, end);
    append_text(png, info, job.text);
    append_text(png, end, job.text);
    png_destroy_read_struct(&png, &info, &end);
    return true;
}

// Copies the hand-made levels of a "[mip_custom]" image into a chain. Level 0 is the top two thirds;
// the smaller levels lie in the bottom third, found with a row cursor that moves down while the level
// fits above the image's bottom and a column cursor that moves right otherwise. Levels whose block
// does not lie inside the image are made by filtering instead.
void copy_custom_levels(const PngJob& job, Image& out, bool max_alpha) {
    int ch = job.channels;
    int w = job.width, h = job.height * 2 / 3;
    out.width = w;
    out.height = h;
    out.pixels.assign(mip_chain_bytes(w, h, ch), 0);
    uint8_t* at = out.pixels.data();
    int r = 0, c = 0, level = 0;
    for (;;) {
        if (c + w > job.width || r + h > job.height) {
            build_levels_from(out.pixels.data(), out.width, out.height, ch, max_alpha, level - 1);
            break;
        }
        for (int y = 0; y < h; ++y)
            memcpy(at + size_t(y) * w * ch, job.data.data() + job.row_bytes * (r + y) + size_t(c) * ch,
                   size_t(w) * ch);
        if (r + h < job.height)
            r += h;
        else
            c += w;
        if (int64_t(w) * h <= 1) break;
        at += size_t(w) * h * ch;
        w = std::max(1, w / 2);
        h = std::max(1, h / 2);
        ++level;
    }
    out.mipmapped = true;
}

// Reads a whole file (up to a sane size for a description) into text, appending.
void append_file(const std::string& path, std::string& text) {
    constexpr size_t k_description_max = size_t(1) << 20;
    DataStream* s = stream_open(path.c_str(), "rb");
    if (!s) return;
    char block[1024];
    size_t got = 0;
    while (text.size() < k_description_max && (got = stream_read(s, block, sizeof block)) > 0)
        text.append(block, got);
    stream_close(s);
}

bool write_png(DataStream* s, const uint8_t* data, int width, int height, int depth, int colour,
               size_t row_bytes, bool flip) {
    if (!s) return fail("can't write");
    if (!check_size(width, height)) return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, png_on_error, png_on_warning);
    if (!png) return fail("PNG writer unavailable");
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        return fail("PNG writer unavailable");
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_set_write_fn(png, s, png_write_to_stream, png_flush_stream);
    png_set_IHDR(png, info, png_uint_32(width), png_uint_32(height), depth, colour, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    if (depth == 16 && little_endian_host()) png_set_swap(png);
    for (int y = 0; y < height; ++y)
        png_write_row(png, data + row_bytes * (flip ? height - 1 - y : y));
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return true;
}

} // namespace

const char* image_error() {
    return g_error;
}

int mip_level_count(int width, int height) {
    if (width <= 0 || height <= 0) return 0;
    int levels = 1;
    while (int64_t(width) * height > 1) {
        width = std::max(1, width / 2);
        height = std::max(1, height / 2);
        ++levels;
    }
    return levels;
}

size_t mip_chain_bytes(int width, int height, int channels) {
    if (width <= 0 || height <= 0 || channels <= 0) return 0;
    size_t pixels = size_t(width) * height;
    while (int64_t(width) * height > 1) {
        width = std::max(1, width / 2);
        height = std::max(1, height / 2);
        pixels += size_t(width) * height;
    }
    return (pixels + 1) * channels;
}

void build_mip_chain(uint8_t* chain, int width, int height, int channels, bool max_alpha) {
    if (width <= 0 || height <= 0) return;
    build_levels_from(chain, width, height, channels, max_alpha, 0);
}

bool read_image_magic(DataStream* s, char magic[16]) {
    magic[0] = 0;
    int c = stream_getc(s);
    while (c >= 0 && is_space(c))
        c = stream_getc(s);
    int n = 0;
    while (c >= 0 && !is_space(c) && n < 15) {
        magic[n++] = static_cast<char>(c);
        c = n < 15 ? stream_getc(s) : -1;
    }
    if (n < 15) stream_ungetc(s, c);
    magic[n] = 0;
    return n > 0;
}

bool header_read_int(DataStream* s, int& value) {
    int c = stream_getc(s);
    while (c >= 0 && is_space(c))
        c = stream_getc(s);
    bool negative = false;
    if (c == '-' || c == '+') {
        negative = c == '-';
        c = stream_getc(s);
    }
    if (c < '0' || c > '9') {
        stream_ungetc(s, c);
        return false;
    }
    int64_t v = 0;
    while (c >= '0' && c <= '9') {
        v = std::min<int64_t>(v * 10 + (c - '0'), int64_t(INT_MAX) + 1);
        c = stream_getc(s);
    }
    stream_ungetc(s, c);
    if (negative) v = -v;
    value = static_cast<int>(std::clamp<int64_t>(v, INT_MIN, INT_MAX));
    return true;
}

bool header_read_float(DataStream* s, float& value) {
    int c = stream_getc(s);
    while (c >= 0 && is_space(c))
        c = stream_getc(s);
    char text[64];
    int n = 0;
    if (c == '-' || c == '+') {
        text[n++] = static_cast<char>(c);
        c = stream_getc(s);
    }
    if (c >= 0 && isalpha(c)) {
        // "inf", "infinity" or "nan"
        while (c >= 0 && isalpha(c) && n < 12) {
            text[n++] = static_cast<char>(tolower(c));
            c = stream_getc(s);
        }
        stream_ungetc(s, c);
        text[n] = 0;
        const char* word = text + (text[0] == '-' || text[0] == '+');
        if (strcmp(word, "inf") && strcmp(word, "infinity") && strcmp(word, "nan")) return false;
        value = strtof(text, nullptr);
        return true;
    }
    bool digits = false, point = false, exponent = false;
    while (c >= 0 && n < 62) {
        if (c >= '0' && c <= '9') {
            digits = true;
        } else if (c == '.' && !point && !exponent) {
            point = true;
        } else if ((c == 'e' || c == 'E') && digits && !exponent) {
            exponent = true;
            text[n++] = static_cast<char>(c);
            c = stream_getc(s);
            if (c != '-' && c != '+') continue;
        } else {
            break;
        }
        text[n++] = static_cast<char>(c);
        c = stream_getc(s);
    }
    stream_ungetc(s, c);
    text[n] = 0;
    if (!digits) return false;
    value = strtof(text, nullptr);
    return true;
}

bool read_ppm(DataStream* s, const char* magic, Image& out, bool mips) {
    bool plain = strcmp(magic, "P3") == 0;
    if (!plain && strcmp(magic, "P6") != 0) return fail("not a PPM file");
    if (!read_netpbm(s, plain, 3, out)) return false;
    if (mips) make_chain(out, false);
    return true;
}

bool read_pgm(DataStream* s, Image& out) {
    char magic[16];
    if (!read_image_magic(s, magic)) return fail("empty file");
    return read_pgm_body(s, magic, out);
}

bool read_compact_image(const char* magic, DataStream* s, int channels, Image& out) {
    int stored = strcmp(magic, "J6") == 0 ? 3 : strcmp(magic, "J7") == 0 ? 4 : 0;
    if (!stored) return fail("not a J6 or J7 file");
    if (channels != 3 && channels != 4) return fail("can't deliver %d channels", channels);
    int width = -1, height = -1;
    skip_blanks_and_comments(s);
    header_read_int(s, width);
    skip_blanks_and_comments(s);
    header_read_int(s, height);
    if (!check_size(width, height)) return false;
    stream_getc(s); // the one separator after the height
    out = Image{};
    out.width = width;
    out.height = height;
    out.channels = channels;
    size_t row_size = size_t(width) * stored;
    std::vector<uint8_t> prev(row_size), cur(row_size), diff(row_size);
    out.pixels.reserve(std::min<size_t>(size_t(width) * height * channels, size_t(1) << 20));
    int kept = std::min(stored, channels);
    for (int y = 0; y < height; ++y) {
        if (!read_exact(s, diff.data(), row_size)) return fail("pixel data ends early");
        for (int x = 0; x < width; ++x) {
            for (int c = 0; c < stored; ++c) {
                size_t i = size_t(x) * stored + c;
                int guess = 0;
                if (y == 0)
                    guess = x == 0 ? 0 : cur[i - stored];
                else if (x == 0)
                    guess = prev[i];
                else
                    guess = std::clamp(cur[i - stored] + prev[i] - prev[i - stored], 0, 255);
                cur[i] = static_cast<uint8_t>(guess + diff[i]);
            }
        }
        size_t at = out.pixels.size();
        out.pixels.resize(at + size_t(width) * channels, 0);
        for (int x = 0; x < width; ++x)
            memcpy(&out.pixels[at + size_t(x) * channels], &cur[size_t(x) * stored], size_t(kept));
        std::swap(prev, cur);
    }
    make_chain(out, false);
    return true;
}

bool read_png_image(const char* path, Image& out) {
    DataStream* s = stream_open(path, "rb");
    if (!s) return fail("can't open '%.200s'", path);
    PngJob job;
    job.stream = s;
    bool ok = png_decode(job);
    stream_close(s);
    if (!ok) return false;
    out = Image{};
    out.channels = job.channels;
    out.description = job.text;
    append_file(std::string(path) + ".info", out.description);
    bool max_alpha = out.description.find("[mip_max_alpha]") != std::string::npos;
    if (out.description.find("[mip_custom]") != std::string::npos) {
        if (job.height % 3 == 0) {
            copy_custom_levels(job, out, max_alpha);
            return true;
        }
        add_messagef("Warning: Invalid height for custom MIP map in '%.950s'", path);
    }
    out.width = job.width;
    out.height = job.height;
    out.pixels = std::move(job.data);
    make_chain(out, max_alpha);
    return true;
}

bool read_rgba_image(const char* path, Image& out) {
    DataStream* s = stream_open(path, "rb");
    if (!s) return fail("can't open '%.200s'", path);
    char magic[16];
    bool compact = read_image_magic(s, magic) && (!strcmp(magic, "J6") || !strcmp(magic, "J7"));
    bool ok = compact && read_compact_image(magic, s, 4, out);
    stream_close(s);
    if (compact) {
        // A J6 file has no alpha of its own: it is drawn fully opaque rather than invisible.
        if (ok && !strcmp(magic, "J6"))
            for (size_t i = 3; i < out.pixels.size(); i += 4)
                out.pixels[i] = 255;
        return ok;
    }
    if (!read_png_image(path, out)) return false;
    if (out.channels == 3) {
        size_t count = size_t(out.width) * out.height;
        std::vector<uint8_t> rgba(mip_chain_bytes(out.width, out.height, 4));
        for (size_t i = 0; i < count; ++i) {
            memcpy(&rgba[i * 4], &out.pixels[i * 3], 3);
            rgba[i * 4 + 3] = 255;
        }
        out.pixels = std::move(rgba);
        out.channels = 4;
        build_mip_chain(out.pixels.data(), out.width, out.height, 4, false);
    }
    return true;
}

bool read_png_grey16(const char* path, std::vector<uint16_t>& samples, int& width, int& height) {
    DataStream* s = stream_open(path, "rb");
    if (!s) return fail("can't open '%.200s'", path);
    PngJob job;
    job.stream = s;
    job.want = PngWant::Grey16;
    bool ok = png_decode(job);
    stream_close(s);
    if (!ok) return false;
    width = job.width;
    height = job.height;
    size_t count = size_t(width) * height;
    samples.resize(count);
    for (int y = 0; y < height; ++y) {
        const uint8_t* row = job.data.data() + job.row_bytes * y;
        uint16_t* into = samples.data() + size_t(y) * width;
        if (job.bit_depth == 16)
            memcpy(into, row, size_t(width) * 2);
        else
            for (int x = 0; x < width; ++x)
                into[x] = static_cast<uint16_t>(row[x] * 257);
    }
    return true;
}

bool read_image_file(const char* path, Image& out) {
    DataStream* s = stream_open(path, "rb");
    if (!s) return fail("can't open '%.200s'", path);
    char magic[16];
    read_image_magic(s, magic);
    bool ok = false;
    bool png = false;
    if (!strcmp(magic, "P6") || !strcmp(magic, "P3"))
        ok = read_ppm(s, magic, out);
    else if (!strcmp(magic, "P5") || !strcmp(magic, "P2"))
        ok = read_pgm_body(s, magic, out);
    else if (!strcmp(magic, "J6") || !strcmp(magic, "J7"))
        ok = read_compact_image(magic, s, magic[1] == '6' ? 3 : 4, out);
    else if (!strcmp(magic, "ANIM1") || !strcmp(magic, "LINK"))
        ok = fail("%s files are read by the texture manager", magic);
    else
        png = true;
    stream_close(s);
    if (png) ok = read_png_image(path, out);
    if (!ok) log_printf("Can't read image '%.950s': %s\n", path, g_error);
    return ok;
}

bool write_png_grey16(DataStream* s, const uint16_t* samples, int width, int height) {
    return write_png(s, reinterpret_cast<const uint8_t*>(samples), width, height, 16, PNG_COLOR_TYPE_GRAY,
                     size_t(width) * 2, false);
}

bool write_png_rgb(const char* path, const uint8_t* pixels, int width, int height) {
    DataStream* s = stream_open(path, "wb");
    if (!s) return fail("can't open '%.200s'", path);
    bool ok = write_png(s, pixels, width, height, 8, PNG_COLOR_TYPE_RGB, size_t(width) * 3, true);
    ok = stream_flush(s) == 0 && ok;
    stream_close(s);
    return ok;
}
