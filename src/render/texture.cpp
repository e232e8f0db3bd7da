#include "render/texture.h"

#include "render/gl_caps.h"

#include <GL/gl.h>
#include <GL/glext.h>

#include <algorithm>
#include <cstring>

int64_t g_texture_memory = 0;

namespace {

// Byte offset of `level` in a chain of a w x h image, and that level's size.
size_t level_offset(int width, int height, int channels, int level, int& level_width, int& level_height) {
    size_t offset = 0;
    int w = width, h = height;
    for (int k = 0; k < level; ++k) {
        offset += size_t(w) * h * channels;
        w = std::max(1, w / 2);
        h = std::max(1, h / 2);
    }
    level_width = w;
    level_height = h;
    return offset;
}

// Keeps the chain from `level` on: level becomes level 0.
void drop_levels(Image& image, int level) {
    if (level <= 0) return;
    int w = 0, h = 0;
    size_t offset = level_offset(image.width, image.height, image.channels, level, w, h);
    size_t kept = mip_chain_bytes(w, h, image.channels);
    std::vector<uint8_t> pixels(kept, 0);
    size_t available = image.pixels.size() > offset ? image.pixels.size() - offset : 0;
    memcpy(pixels.data(), image.pixels.data() + offset, std::min(kept, available));
    image.pixels = std::move(pixels);
    image.width = w;
    image.height = h;
}

GLenum pixel_format(int channels) { return channels == 4 ? GL_RGBA : GL_RGB; }

// Whether the image holds the whole chain it claims to.
bool chain_complete(const Image& image) {
    if (image.width <= 0 || image.height <= 0 || (image.channels != 3 && image.channels != 4)) return false;
    size_t need = image.mipmapped ? mip_chain_bytes(image.width, image.height, image.channels) - image.channels
                                  : size_t(image.width) * image.height * image.channels;
    return image.pixels.size() >= need;
}

} // namespace

bool is_power_of_two(int n) { return n > 0 && (n & (n - 1)) == 0; }

int floor_power_of_two(int n) {
    int p = 1;
    while (p <= n / 2) p *= 2;
    return p;
}

void texture_file_size(int width, int height, int& out_width, int& out_height) {
    out_width = width;
    out_height = height;
    if (is_power_of_two(width) && is_power_of_two(height)) return;
    out_width = width >= 3 ? floor_power_of_two(width) : 1;
    out_height = height >= 3 ? floor_power_of_two(height) : 1;
}

void texture_frame_size(int width, int height, int& out_width, int& out_height) {
    out_width = is_power_of_two(width) ? width : floor_power_of_two(width);
    out_height = is_power_of_two(height) ? height : floor_power_of_two(height);
}

bool image_resample(Image& image, int new_width, int new_height, bool max_alpha) {
    if (new_width < 1 || new_height < 1 || image.width < 1 || image.height < 1 || image.channels < 1) return false;
    size_t c = size_t(image.channels);
    if (image.pixels.size() < size_t(image.width) * image.height * c) return false;
    if (new_width == image.width && new_height == image.height) return true;
    std::vector<uint8_t> chain(mip_chain_bytes(new_width, new_height, image.channels), 0);
    for (int y = 0; y < new_height; ++y) {
        size_t sy = size_t(int64_t(y) * image.height / new_height);
        for (int x = 0; x < new_width; ++x) {
            size_t sx = size_t(int64_t(x) * image.width / new_width);
            memcpy(&chain[(size_t(y) * new_width + x) * c], &image.pixels[(sy * image.width + sx) * c], c);
        }
    }
    build_mip_chain(chain.data(), new_width, new_height, image.channels, max_alpha);
    image.pixels = std::move(chain);
    image.width = new_width;
    image.height = new_height;
    image.mipmapped = true;
    return true;
}

int image_drop_levels_for_detail(Image& image, int levels) {
    if (!image.mipmapped) return 0;
    int w = image.width, h = image.height, dropped = 0;
    while (dropped < levels && w > k_texture_detail_min_side && h > k_texture_detail_min_side) {
        w = std::max(1, w / 2);
        h = std::max(1, h / 2);
        ++dropped;
    }
    drop_levels(image, dropped);
    return dropped;
}

int image_drop_levels_to_limit(Image& image, int levels, int64_t limit) {
    if (!image.mipmapped) return 0;
    int w = image.width, h = image.height, dropped = 0;
    while ((dropped < levels || int64_t(w) * h > limit) && int64_t(w) * h > k_texture_keep_texels) {
        w = std::max(1, w / 2);
        h = std::max(1, h / 2);
        ++dropped;
    }
    drop_levels(image, dropped);
    return dropped;
}

void texture_border_colour(const Image& image, float colour[4]) {
    colour[0] = colour[1] = colour[2] = colour[3] = 0;
    if (image.width < 1 || image.height < 1 || image.channels < 3) return;
    int cells[512] = {};
    size_t c = size_t(image.channels);
    auto count = [&](int x, int y) {
        const uint8_t* p = &image.pixels[(size_t(y) * image.width + x) * c];
        ++cells[(p[0] * 7 / 255) * 64 + (p[1] * 7 / 255) * 8 + p[2] * 7 / 255];
    };
    for (int x = 0; x < image.width; ++x) {
        count(x, 0);
        count(x, image.height - 1);
    }
    for (int y = 0; y < image.height; ++y) {
        count(0, y);
        count(image.width - 1, y);
    }
    int best = 0;
    for (int i = 1; i < 512; ++i)
        if (cells[i] > cells[best]) best = i;
    colour[0] = float(best / 64) / 7;
    colour[1] = float(best / 8 % 8) / 7;
    colour[2] = float(best % 8) / 7;
}

unsigned create_texture(const Image& image, int flags) {
    if (!chain_complete(image)) return 0;
    bool single = (flags & TextureSingleLevel) || !image.mipmapped;
    bool compress = (flags & TextureCompress) && g_gl_caps.gl_major >= 2;
    GLenum format = pixel_format(image.channels);
    GLint internal = image.channels == 4 ? (compress ? GL_COMPRESSED_RGBA : GL_RGBA)
                                         : (compress ? GL_COMPRESSED_RGB : GL_RGB);
    GLuint name = 0;
    glGenTextures(1, &name);
    if (!name) return 0;
    glBindTexture(GL_TEXTURE_2D, name);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    bool clamp_s = !(flags & TextureRepeatH), clamp_t = !(flags & TextureRepeatV);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, clamp_s ? GL_CLAMP : GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, clamp_t ? GL_CLAMP : GL_REPEAT);
    while (glGetError() != GL_NO_ERROR) {
    }
    // Clamping to the edge keeps the border colour out of the filtered texels; a driver without it
    // keeps plain clamping and samples nearest texels so the border shows as little as possible.
    if (clamp_s) glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    if (clamp_t) glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    bool edge = glGetError() == GL_NO_ERROR;
    GLint min_filter = edge ? (single ? GL_LINEAR : GL_LINEAR_MIPMAP_NEAREST)
                            : (single ? GL_NEAREST : GL_NEAREST_MIPMAP_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, min_filter);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    float border[4] = {0, 0, 0, 0};
    if (image.channels == 3) texture_border_colour(image, border);
    glTexParameterfv(GL_TEXTURE_2D, GL_TEXTURE_BORDER_COLOR, border);

    int levels = single ? 1 : mip_level_count(image.width, image.height);
    if (single) glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
    for (int level = 0; level < levels; ++level) {
        int w = 0, h = 0;
        size_t offset = level_offset(image.width, image.height, image.channels, level, w, h);
        glTexImage2D(GL_TEXTURE_2D, level, internal, w, h, 0, format, GL_UNSIGNED_BYTE, image.pixels.data() + offset);
        int64_t bytes = int64_t(w) * h * image.channels;
        if (compress) {
            GLint compressed = GL_FALSE, size = 0;
            glGetTexLevelParameteriv(GL_TEXTURE_2D, level, GL_TEXTURE_COMPRESSED, &compressed);
            if (compressed) glGetTexLevelParameteriv(GL_TEXTURE_2D, level, GL_TEXTURE_COMPRESSED_IMAGE_SIZE, &size);
            if (compressed && size > 0) bytes = size;
        }
        g_texture_memory += bytes;
    }
    glBindTexture(GL_TEXTURE_2D, 0);
    return name;
}

void texture_replace_levels(unsigned texture, const Image& image) {
    if (!texture || !chain_complete(image)) return;
    GLenum format = pixel_format(image.channels);
    glBindTexture(GL_TEXTURE_2D, texture);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    int levels = image.mipmapped ? mip_level_count(image.width, image.height) : 1;
    for (int level = 0; level < levels; ++level) {
        int w = 0, h = 0;
        size_t offset = level_offset(image.width, image.height, image.channels, level, w, h);
        glTexSubImage2D(GL_TEXTURE_2D, level, 0, 0, w, h, format, GL_UNSIGNED_BYTE, image.pixels.data() + offset);
    }
    glBindTexture(GL_TEXTURE_2D, 0);
}
