#include "render/texture_manager.h"

#include "core/command_line.h"
#include "core/messages.h"
#include "data/search_paths.h"
#include "data/stream.h"
#include "platform/log.h"
#include "render/gl_caps.h"
#include "render/texture.h"

#include <GL/gl.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <strings.h>

TextureCompression g_texture_compression = CompressYes;
TextureChoices g_texture_choices;

namespace {

struct TextureRecord {
    unsigned texture = 0;
    int generation = 0;
    int64_t bytes = 0; // texture memory counted for it
    std::string description;
    bool has_description = false;
    std::string name; // as requested, after link resolution and without '!'
};

struct ImageRecord {
    Image image; // RGBA with mip chain
    int generation = 0;
    int64_t bytes = 0;
    std::string name;
};

struct LinkRecord {
    std::string name, target;
};

struct Animation {
    unsigned texture = 0;
    int frame_count = 0;
    int image_count = 0;
    int shown = 0;  // image index uploaded now
    int period = 1; // ticks per frame, above 0
    bool loop = false;
    int64_t start = 0;
    bool paused = false;
    std::vector<Image> images;
    std::vector<int> frames; // image index per frame, each below image_count
};

std::vector<TextureRecord> g_textures;
// Image records stay where they are while the table grows: callers keep pointers to the images.
std::vector<std::unique_ptr<ImageRecord>> g_images;
std::vector<LinkRecord> g_links;
std::vector<Animation> g_animations;
int g_generation = 0;
// Names of the link files being followed by the request in progress, outermost first.
std::vector<std::string> g_following;

template <typename T> void free_table(std::vector<T>& table) { std::vector<T>().swap(table); }

bool debug_on() { return g_launch.debug >= 1; }

bool has(const std::string& text, const char* part) { return text.find(part) != std::string::npos; }

bool ends_with(const std::string& text, const char* tail) {
    size_t n = strlen(tail);
    return text.size() >= n && text.compare(text.size() - n, n, tail) == 0;
}

std::string trimmed(const std::string& text) {
    size_t a = 0, b = text.size();
    while (a < b && isspace(static_cast<unsigned char>(text[a]))) ++a;
    while (b > a && isspace(static_cast<unsigned char>(text[b - 1]))) --b;
    return text.substr(a, b - a);
}

// Takes the '!' off a name; the levels to drop for it.
int detail_levels(const char*& name) {
    if (name[0] == '!') {
        ++name;
        return 0;
    }
    return std::clamp(g_launch.texture_skip, 0, 10);
}

const char* link_target(const std::string& name) {
    for (const LinkRecord& link : g_links)
        if (link.name == name) return link.target.c_str();
    return nullptr;
}

// Index of the record for a name: an exact match first, else one that differs only in letter case
// (after a warning). -1 when there is none.
template <typename Name> int find_by_name(int count, const std::string& wanted, Name name_at) {
    for (int i = 0; i < count; ++i)
        if (name_at(i) == wanted) return i;
    for (int i = 0; i < count; ++i) {
        if (strcasecmp(name_at(i).c_str(), wanted.c_str()) == 0) {
            add_messagef("Warning: case mismatch on '%.900s'", wanted.c_str());
            return i;
        }
    }
    return -1;
}

int find_texture_record(const std::string& name) {
    return find_by_name(static_cast<int>(g_textures.size()), name,
                        [](int i) -> const std::string& { return g_textures[size_t(i)].name; });
}

int find_image_record(const std::string& name) {
    return find_by_name(static_cast<int>(g_images.size()), name,
                        [](int i) -> const std::string& { return g_images[size_t(i)]->name; });
}

// Records of an old track that are requested again join the current generation.
bool stale(int generation) { return generation != 0 && generation != g_generation; }

int wrap_flags(const std::string& name) {
    int flags = 0;
    if (has(name, "-repeat.")) flags |= TextureRepeatH | TextureRepeatV;
    if (has(name, "-hrepeat.")) flags |= TextureRepeatH;
    if (has(name, "-vrepeat.")) flags |= TextureRepeatV;
    return flags;
}

bool is_magic(const char* magic, const char* a, const char* b = nullptr) {
    return strcmp(magic, a) == 0 || (b && strcmp(magic, b) == 0);
}

// Reads J7, J6, PPM from an open stream positioned after the magic word, else the file as PNG.
// The stream is closed. On failure `reason` says why, from the first reader that tried.
bool read_texture_image(DataStream* s, const char* magic, const std::string& name, Image& image,
                        std::string& reason) {
    bool ok = false;
    bool tried = false;
    if (is_magic(magic, "J7", "J6")) {
        tried = true;
        ok = read_compact_image(magic, s, magic[1] == '7' ? 4 : 3, image);
    } else if (is_magic(magic, "P6", "P3")) {
        tried = true;
        ok = read_ppm(s, magic, image);
    }
    stream_close(s);
    if (ok) return true;
    if (tried) reason = image_error();
    // A file that only looked like one of the formats above is given its chance as a PNG.
    if (read_png_image(name.c_str(), image)) return true;
    if (!tried) reason = image_error();
    return false;
}

unsigned record_texture(unsigned texture, const std::string& name, int64_t bytes, const std::string& description,
                        bool has_description) {
    if (g_textures.capacity() == 0) g_textures.reserve(16);
    TextureRecord record;
    record.texture = texture;
    record.generation = g_generation;
    record.bytes = bytes;
    record.description = description;
    record.has_description = has_description;
    record.name = name;
    g_textures.push_back(std::move(record));
    return texture;
}

// The rest of a link file names the target. A link is recorded only once its target has loaded,
// so a link whose target fails gives 0 on every request; a chain that comes back to a link being
// followed, or grows beyond k_texture_link_depth, is refused.
unsigned load_link(DataStream* s, const std::string& name) {
    char buffer[1024];
    size_t n = stream_read(s, buffer, sizeof buffer - 1);
    stream_close(s);
    buffer[n] = 0;
    std::string target = trimmed(buffer);
    if (target.empty()) {
        add_messagef("Empty link file '%.900s'", name.c_str());
        return 0;
    }
    if (g_following.size() >= size_t(k_texture_link_depth)) {
        add_messagef("Too many links to reach texture '%.900s'", name.c_str());
        return 0;
    }
    g_following.push_back(name);
    unsigned texture = load_texture(target.c_str());
    g_following.pop_back();
    if (!texture) return 0;
    const char* resolved = texture_name_of(texture);
    g_links.push_back(LinkRecord{name, resolved ? resolved : target});
    return texture;
}

// Reads the images of an animation file. Every fault is reported and gives false.
bool read_animation_images(DataStream* s, Animation& anim) {
    for (int g = 0; g < anim.image_count; ++g) {
        char word[16];
        if (!read_image_magic(s, word)) {
            add_message("EOF while reading .seq");
            return false;
        }
        Image image;
        if (strcmp(word, "J7") == 0) {
            if (!read_compact_image(word, s, 4, image)) {
                add_message("EOF while reading .seq");
                return false;
            }
        } else if (strcmp(word, "PNG") == 0) {
            char line[1024];
            if (!stream_gets(s, line, sizeof line)) {
                add_message("EOF while reading .seq");
                return false;
            }
            std::string file = trimmed(line);
            if (file.empty() || !read_png_image(file.c_str(), image)) {
                add_messagef("Can't read %.900s", file.c_str());
                return false;
            }
        } else {
            add_messagef("Error reading .seq frame %d", g);
            return false;
        }
        if (!anim.images.empty()) {
            const Image& first = anim.images.front();
            if (image.width != first.width || image.height != first.height) {
                add_message("Width/height mismatch reading .seq");
                return false;
            }
            if (image.channels != first.channels) {
                add_message("Depth mismatch reading .seq");
                return false;
            }
        }
        anim.images.push_back(std::move(image));
    }
    // Frames are brought to power-of-two sides and a bounded size once all have been checked.
    for (Image& image : anim.images) {
        int w = 0, h = 0;
        texture_frame_size(image.width, image.height, w, h);
        image_resample(image, w, h, has(image.description, "[mip_max_alpha]"));
        image_drop_levels_to_limit(image, 0, k_animation_texel_limit);
    }
    return true;
}

// An "ANIM1" file after its magic word: frame count, image count, frame period (ticks), loop flag,
// the frame table, then the images. The stream is closed.
unsigned load_animation(DataStream* s, const std::string& name, int flags) {
    Animation anim;
    int loop = 0;
    bool header = header_read_int(s, anim.frame_count) && header_read_int(s, anim.image_count) &&
                  header_read_int(s, anim.period) && header_read_int(s, loop);
    anim.loop = loop != 0;
    if (!header || anim.frame_count <= 0 || anim.image_count <= 0) {
        stream_close(s);
        return 0;
    }
    // A period below one tick would divide the clock by zero, and a frame that names a missing image
    // would show memory outside the animation: both are refused.
    if (anim.period <= 0) {
        stream_close(s);
        add_messagef("Bad frame period %d in '%.900s'", anim.period, name.c_str());
        return 0;
    }
    for (int f = 0; f < anim.frame_count; ++f) {
        int index = 0;
        if (!header_read_int(s, index)) {
            stream_close(s);
            return 0;
        }
        if (index < 0 || index >= anim.image_count) {
            stream_close(s);
            add_messagef("Frame %d of '%.900s' shows image %d of %d", f, name.c_str(), index, anim.image_count);
            return 0;
        }
        anim.frames.push_back(index);
    }
    bool ok = read_animation_images(s, anim);
    stream_close(s);
    if (!ok) return 0;
    anim.shown = anim.frames[0];
    anim.texture = create_texture(anim.images[size_t(anim.shown)], flags & (TextureRepeatH | TextureRepeatV));
    if (!anim.texture) return 0;
    g_animations.push_back(std::move(anim));
    return g_animations.back().texture;
}

// The texture of an image file: power-of-two sides, fewer levels for lower detail, then the upload.
unsigned make_file_texture(Image& image, const std::string& name, int flags, int detail) {
    bool power = is_power_of_two(image.width) && is_power_of_two(image.height);
    int w = 0, h = 0;
    texture_file_size(image.width, image.height, w, h);
    image_resample(image, w, h, has(image.description, "[mip_max_alpha]"));
    image_drop_levels_for_detail(image, detail);
    unsigned texture = create_texture(image, flags);
    if (texture && !power) add_messagef("Warning: Non power of 2 texture '%.950s'", name.c_str());
    return texture;
}

void delete_texture(unsigned texture) {
    GLuint name = texture;
    glDeleteTextures(1, &name);
}

} // namespace

unsigned load_texture(const char* request) {
    if (!request || !request[0]) return 0;
    int detail = detail_levels(request);
    std::string name = request;
    if (std::any_of(g_following.begin(), g_following.end(),
                    [&](const std::string& f) { return strcasecmp(f.c_str(), name.c_str()) == 0; })) {
        add_messagef("Link cycle through texture '%.900s'", name.c_str());
        return 0;
    }
    if (const char* target = link_target(name)) name = target;
    int found = find_texture_record(name);
    if (found >= 0) {
        TextureRecord& record = g_textures[size_t(found)];
        if (stale(record.generation)) {
            record.generation = g_generation;
            g_texture_memory += record.bytes;
        }
        return record.texture;
    }
    DataStream* s = stream_open(name.c_str(), "rb");
    if (!s) {
        if (debug_on()) add_messagef("Can't open texture \"%.900s\"", name.c_str());
        return 0;
    }
    int flags = wrap_flags(name);
    int64_t memory_before = g_texture_memory;
    char magic[16];
    read_image_magic(s, magic);
    unsigned texture = 0;
    std::string description;
    bool has_description = false;
    if (strcmp(magic, "LINK") == 0) return load_link(s, name);
    if (strcmp(magic, "ANIM1") == 0) {
        texture = load_animation(s, name, flags);
    } else {
        Image image;
        std::string reason;
        if (!read_texture_image(s, magic, name, image, reason)) {
            // The file is there but unusable (malformed, or a size that cannot be right): a data fault
            // worth a log line whatever the debug level.
            log_printf("Can't read texture '%.900s': %s\n", name.c_str(), reason.c_str());
            return 0;
        }
        description = image.description;
        has_description = !description.empty();
        bool marked = has(description, "[compress]");
        if (g_texture_compression == CompressAlways || (g_texture_compression == CompressYes && marked))
            flags |= TextureCompress;
        texture = make_file_texture(image, name, flags, detail);
    }
    if (!texture) return 0;
    return record_texture(texture, name, g_texture_memory - memory_before, description, has_description);
}

const Image* load_image(const char* request) {
    if (!request || !request[0]) return nullptr;
    int detail = detail_levels(request);
    std::string name = request;
    if (const char* target = link_target(name)) name = target;
    int found = find_image_record(name);
    if (found >= 0) {
        ImageRecord& record = *g_images[size_t(found)];
        if (stale(record.generation)) record.generation = g_generation;
        return &record.image;
    }
    DataStream* s = stream_open(name.c_str(), "rb");
    if (!s) {
        if (debug_on()) add_messagef("Can't open texture \"%.900s\"", name.c_str());
        return nullptr;
    }
    char magic[16];
    read_image_magic(s, magic);
    if (is_magic(magic, "LINK", "ANIM1")) {
        stream_close(s);
        log_printf("Can't read image '%.900s': %s files make textures only\n", name.c_str(), magic);
        return nullptr;
    }
    auto record = std::make_unique<ImageRecord>();
    Image& image = record->image;
    std::string reason;
    if (!read_texture_image(s, magic, name, image, reason)) {
        log_printf("Can't read image '%.900s': %s\n", name.c_str(), reason.c_str());
        return nullptr;
    }
    int w = 0, h = 0;
    texture_frame_size(image.width, image.height, w, h);
    image_resample(image, w, h, has(image.description, "[mip_max_alpha]"));
    image_drop_levels_to_limit(image, detail, INT64_MAX);
    if (image.channels == 3) {
        // The chain's layout does not depend on the channel count, so the whole buffer widens at once;
        // images without alpha of their own (J6, PPM, RGB PNG) are fully opaque.
        size_t count = image.pixels.size() / 3;
        std::vector<uint8_t> rgba(count * 4);
        for (size_t i = 0; i < count; ++i) {
            memcpy(&rgba[i * 4], &image.pixels[i * 3], 3);
            rgba[i * 4 + 3] = 255;
        }
        image.pixels = std::move(rgba);
        image.channels = 4;
    }
    record->generation = g_generation;
    record->bytes = int64_t(image.width) * image.height * 4;
    record->name = name;
    g_images.push_back(std::move(record));
    return &g_images.back()->image;
}

const char* texture_name_of(unsigned texture) {
    for (const TextureRecord& record : g_textures)
        if (record.texture == texture) return record.name.c_str();
    return nullptr;
}

const char* texture_description_of(unsigned texture) {
    for (const TextureRecord& record : g_textures)
        if (record.texture == texture) return record.has_description ? record.description.c_str() : nullptr;
    return nullptr;
}

const char* image_name_of(const uint8_t* pixels) {
    for (const auto& record : g_images)
        if (record->image.pixels.data() == pixels) return record->name.c_str();
    return nullptr;
}

void update_animations(int64_t now) {
    for (Animation& anim : g_animations) {
        if (anim.paused) continue;
        int64_t frame = std::max<int64_t>(0, now - anim.start) / anim.period;
        frame = anim.loop ? frame % anim.frame_count : std::min<int64_t>(frame, anim.frame_count - 1);
        int image = anim.frames[size_t(frame)];
        if (image == anim.shown) continue;
        texture_replace_levels(anim.texture, anim.images[size_t(image)]);
        anim.shown = image;
    }
}

void restart_animation(unsigned texture, int64_t now) {
    for (Animation& anim : g_animations) {
        if (anim.texture != texture) continue;
        anim.paused = false;
        anim.start = now;
    }
}

void pause_animation(unsigned texture) {
    for (Animation& anim : g_animations)
        if (anim.texture == texture) anim.paused = true;
}

int texture_generation() { return g_generation; }

void texture_generation_advance() { ++g_generation; }

void purge_textures(bool all) {
    for (size_t i = g_textures.size(); i-- > 0;) {
        const TextureRecord& record = g_textures[i];
        if (!all && !stale(record.generation)) continue;
        if (debug_on()) add_messagef("deleting tid %d (%.900s)", int(record.texture), record.name.c_str());
        delete_texture(record.texture);
        g_textures.erase(g_textures.begin() + std::ptrdiff_t(i));
    }
    for (size_t i = g_images.size(); i-- > 0;) {
        if (!all && !stale(g_images[i]->generation)) continue;
        if (debug_on()) add_messagef("deleting image %.900s", g_images[i]->name.c_str());
        g_images.erase(g_images.begin() + std::ptrdiff_t(i));
    }
    for (size_t i = g_animations.size(); i-- > 0;) {
        if (texture_name_of(g_animations[i].texture)) continue;
        if (debug_on()) add_messagef("deleting anim %d for tid %d", int(i), int(g_animations[i].texture));
        g_animations.erase(g_animations.begin() + std::ptrdiff_t(i));
    }
    if (all) {
        free_table(g_textures);
        free_table(g_images);
        free_table(g_animations);
        free_table(g_links);
    }
}

void find_companion_textures(const char* texture_name, const char* model_name, unsigned& normal_map,
                             unsigned& specular_map) {
    normal_map = specular_map = 0;
    if (!g_render_choices.shaders_active) return;
    static const char* const k_extensions[] = {".seq", ".png", ".ppm"};
    auto find = [&](const char* kind) -> unsigned {
        if (texture_name && texture_name[0]) {
            std::string name = texture_name;
            bool repeat =
                ends_with(name, "-repeat.png") || ends_with(name, "-repeat.ppm") || ends_with(name, "-repeat.seq");
            size_t cut = repeat ? name.rfind('-') : name.rfind('.');
            std::string base = name.substr(0, cut);
            for (const char* ext : k_extensions) {
                std::string candidate = base + kind + (repeat ? "-repeat" : "") + ext;
                if (unsigned t = load_texture(candidate.c_str())) return t;
            }
        }
        if (model_name && model_name[0]) {
            std::string name = model_name;
            std::string base = name.substr(0, name.rfind('.'));
            for (const char* ext : k_extensions)
                if (unsigned t = load_texture((base + kind + ext).c_str())) return t;
        }
        return 0;
    };
    normal_map = find("_norm");
    specular_map = find("_spec");
}

std::vector<TextureVariant> list_texture_variants(const char* prefix) {
    std::vector<TextureVariant> list;
    list.push_back(TextureVariant{"", "default"});
    size_t prefix_length = strlen(prefix);
    for (const std::string& file : data_file_names()) {
        if (!ends_with(file, ".png") || ends_with(file, "_norm.png") || ends_with(file, "_spec.png")) continue;
        size_t slash = file.rfind('/');
        std::string base = slash == std::string::npos ? file : file.substr(slash + 1);
        if (base.compare(0, prefix_length, prefix) != 0 || base.size() < prefix_length + 4) continue;
        list.push_back(TextureVariant{"@" + file, base.substr(prefix_length, base.size() - prefix_length - 4)});
    }
    return list;
}

std::string texture_variant_prefix(const char* texture) {
    std::string name = texture ? texture : "";
    if (!name.empty() && name[0] == '@') name.erase(0, 1);
    size_t slash = name.rfind('/');
    if (slash != std::string::npos) name.erase(0, slash + 1);
    size_t dot = name.rfind('.');
    if (dot != std::string::npos) name.erase(dot);
    return name + "-";
}

void collect_texture_choices(const char* bike_prefix) {
    g_texture_choices.rider_body = list_texture_variants("rider_body-");
    g_texture_choices.rider_head = list_texture_variants("rider_head-");
    g_texture_choices.bike = list_texture_variants(bike_prefix);
    g_texture_choices.wheels = list_texture_variants("wheels-");
}

int texture_record_count() { return static_cast<int>(g_textures.size()); }
int image_record_count() { return static_cast<int>(g_images.size()); }
int animation_count() { return static_cast<int>(g_animations.size()); }

int animation_shown_image(unsigned texture) {
    for (const Animation& anim : g_animations)
        if (anim.texture == texture) return anim.shown;
    return -1;
}

void texture_manager_reset() {
    free_table(g_textures);
    free_table(g_images);
    free_table(g_links);
    free_table(g_animations);
    g_following.clear();
    g_generation = 0;
    g_texture_compression = CompressYes;
    g_texture_choices = TextureChoices{};
}
