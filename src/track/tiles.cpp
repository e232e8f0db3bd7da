#include "track/tiles.h"

#include "core/main_loop.h"
#include "core/messages.h"
#include "data/stream.h"
#include "track/terrain.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr float k_min_point_speed = 1.0f / 1048576.0f; // 2^-20: keeps every given point above "unused"
constexpr int k_line_size = 4096;

RoostType roost_template() {
    RoostType r{};
    r.kind = RoostNone;
    r.texture = 0;
    r.count = 10;
    r.dig = 1;
    r.slip_threshold = 4;
    r.slow_angle = float(M_PI / 2);
    r.fast_angle = float(M_PI / 16);
    r.slow_speed = 0;
    r.fast_speed = 64;
    r.size = 0.25f;
    r.grow = 4;
    r.drag = 0.5f;
    r.vscale = 1;
    r.randomize = 15;
    for (int c = 0; c < 4; ++c)
        r.colour[c] = 255;
    r.fade[0] = r.fade[1] = r.fade[2] = 0;
    r.fade[3] = -2;
    return r;
}

const char* const k_roost_template_texture = "@roost.png";

// Reads one line without its line feed; characters beyond the buffer are dropped. False at the end of
// the file when nothing was read.
bool read_line(DataStream* s, char* buffer, int size) {
    int n = 0, c = 0;
    bool any = false;
    while ((c = stream_getc(s)) >= 0) {
        any = true;
        if (c == '\n') break;
        if (n < size - 1) buffer[n++] = static_cast<char>(c);
    }
    buffer[n] = 0;
    return any;
}

bool is_line_blank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// The type being described by "tileinfo" lines, with how many points and slots were given.
struct TileDraft {
    TileType type;
    int friction_given = 0;
    int roll_given = 0;
    int roost_given = 0;
};

void draft_reset(TileDraft& d) {
    d.type = tile_type_defaults();
    d.friction_given = d.roll_given = d.roost_given = 0;
}

// Sorts the given points (only those) by increasing speed.
void draft_finish(TileDraft& d) {
    std::stable_sort(d.type.friction, d.type.friction + d.friction_given,
                     [](const FrictionPoint& a, const FrictionPoint& b) { return a.speed < b.speed; });
    std::stable_sort(d.type.roll, d.type.roll + d.roll_given,
                     [](const RollPoint& a, const RollPoint& b) { return a.speed < b.speed; });
}

void read_friction(TileDraft& d, const char* arg) {
    float friction = 0, speed = 0;
    if (sscanf(arg, "%f %f", &friction, &speed) != 2 || !std::isfinite(friction) || !std::isfinite(speed)) {
        add_message("tileinfo warning: bad friction parameters\n");
        return;
    }
    if (d.friction_given >= k_tile_curve_points) {
        add_message("tileinfo warning: too many friction points\n");
        return;
    }
    d.type.friction[d.friction_given++] =
        FrictionPoint{std::max(friction, 0.0f), std::max(speed, k_min_point_speed)};
}

void read_roll_resist(TileDraft& d, const char* arg) {
    float a = 0, b = 0, speed = 0;
    if (sscanf(arg, "%f %f %f", &a, &b, &speed) != 3 || !std::isfinite(a) || !std::isfinite(b) ||
        !std::isfinite(speed)) {
        add_message("tileinfo warning: bad roll_resist parameters\n");
        return;
    }
    if (d.roll_given >= k_tile_curve_points) {
        add_message("tileinfo warning: too many roll_resist points\n");
        return;
    }
    d.type.roll[d.roll_given++] =
        RollPoint{std::max(a, 0.0f), std::max(b, 0.0f), std::max(speed, k_min_point_speed)};
}

struct RoostFloatKey {
    const char* name;
    float RoostType::*field;
};

const RoostFloatKey k_roost_floats[] = {
    {"count", &RoostType::count},
    {"dig", &RoostType::dig},
    {"slip_threshold", &RoostType::slip_threshold},
    {"slow_angle", &RoostType::slow_angle},
    {"fast_angle", &RoostType::fast_angle},
    {"slow_speed", &RoostType::slow_speed},
    {"fast_speed", &RoostType::fast_speed},
    {"size", &RoostType::size},
    {"grow", &RoostType::grow},
    {"drag", &RoostType::drag},
    {"vscale", &RoostType::vscale},
    {"randomize", &RoostType::randomize},
};

const char* const k_colour_keys[4] = {"r", "g", "b", "a"};
const char* const k_fade_keys[4] = {"fade_r", "fade_g", "fade_b", "fade_a"};

// The number at the start of a roost value. A value with no number (or not a finite one) warns with
// the key's name and counts as 0.
double roost_number(const char* key, const char* value) {
    char* end = nullptr;
    double v = strtod(value, &end);
    if (end == value || !std::isfinite(v)) {
        add_messagef("tileinfo warning: bad %s\n", key);
        return 0;
    }
    return v;
}

// A whole number held within [low, high]; out-of-range values warn instead of wrapping.
int roost_whole(const char* key, double v, int low, int high) {
    double whole = std::trunc(v);
    if (whole < low || whole > high) {
        int held = whole < low ? low : high;
        add_messagef("tileinfo warning: %s out of range, using %d\n", key, held);
        return held;
    }
    return int(whole);
}

void read_roost_token(TileType& type, int slot, const char* token) {
    RoostType& r = type.roost[slot];
    const char* equals = strchr(token, '=');
    if (equals) {
        std::string key(token, size_t(equals - token));
        const char* value = equals + 1;
        if (key == "texture") {
            type.roost_texture_name[slot] = value;
            return;
        }
        if (key == "splash") {
            if (roost_number("splash", value) != 0) r.kind = RoostSplash;
            return;
        }
        for (const RoostFloatKey& k : k_roost_floats)
            if (key == k.name) {
                r.*k.field = float(roost_number(k.name, value));
                return;
            }
        for (int c = 0; c < 4; ++c) {
            if (key == k_colour_keys[c]) {
                r.colour[c] =
                    uint8_t(roost_whole(k_colour_keys[c], roost_number(k_colour_keys[c], value), 0, 255));
                return;
            }
            if (key == k_fade_keys[c]) {
                // Given per second, kept per simulation tick.
                double per_tick = roost_number(k_fade_keys[c], value) * k_tick_length;
                r.fade[c] = int8_t(roost_whole(k_fade_keys[c], per_tick, -128, 127));
                return;
            }
        }
    }
    add_messagef("tileinfo warning: unknown roost parameter '%.40s'\n", token);
}

// Fills the next roost slot from blank-separated key=value tokens; double quotes group blanks into a
// token and are removed.
void read_roost(TileDraft& d, const char* arg) {
    if (d.roost_given >= k_roost_slots) {
        add_message("tileinfo warning: too many roost types\n");
        return;
    }
    int slot = d.roost_given++;
    d.type.roost[slot].kind = RoostDust;
    std::string token;
    bool quoted = false, any = false;
    for (const char* p = arg;; ++p) {
        char c = *p;
        bool blank = c == ' ' || c == '\f' || c == '\n' || c == '\r' || c == '\t' || c == '\b';
        if (c == 0 || (blank && !quoted)) {
            if (any) read_roost_token(d.type, slot, token.c_str());
            token.clear();
            any = false;
            if (c == 0) break;
        } else if (c == '"') {
            quoted = !quoted;
            any = true;
        } else {
            token += c;
            any = true;
        }
    }
}

struct ErosionKey {
    const char* name;
    float TileErosion::*field;
};

const ErosionKey k_erosion_keys[] = {
    {"erode_depth", &TileErosion::erode_depth},
    {"erode_lower", &TileErosion::erode_lower},
    {"erode_upper", &TileErosion::erode_upper},
    {"erode_displacement", &TileErosion::erode_displacement},
    {"erode_radius", &TileErosion::erode_radius},
    {"erode_max_slope", &TileErosion::erode_max_slope},
    {"erode_off_speed", &TileErosion::erode_off_speed},
    {"erode_on_speed", &TileErosion::erode_on_speed},
};

// The base name of a texture: after the last '/', without a leading '@'; its stem ends at the first '.'.
std::string texture_stem(const std::string& name) {
    size_t slash = name.find_last_of('/');
    std::string base = slash == std::string::npos ? name : name.substr(slash + 1);
    if (!base.empty() && base[0] == '@') base.erase(0, 1);
    return base.substr(0, base.find('.'));
}

int find_stem(const std::vector<std::string>& stems, const std::string& wanted) {
    if (wanted.empty()) return -1;
    for (size_t i = 0; i < stems.size(); ++i)
        if (stems[i] == wanted) return int(i);
    return -1;
}

} // namespace

TileType tile_type_defaults() {
    TileType t;
    for (int k = 0; k < k_tile_curve_points; ++k) {
        t.friction[k] = FrictionPoint{1.0f, k == 0 ? 1.0f : 0.0f};
        t.roll[k] = RollPoint{5.0f, 15.0f, k == 0 ? 1.0f : 0.0f};
    }
    RoostType r = roost_template();
    for (int k = 0; k < k_roost_slots; ++k) {
        t.roost[k] = r;
        t.roost_texture_name[k] = k_roost_template_texture;
    }
    t.erosion = TileErosion{1.0f, 50.0f, 150.0f, 2.0f, 4.0f, 0.25f, 10.0f, 15.0f};
    return t;
}

void read_tileinfo(Terrain& terrain, DataStream* s) {
    terrain.tiles.clear();
    terrain.tile_count = 0;
    TileDraft draft;
    draft_reset(draft);
    char line[k_line_size];
    while (int(terrain.tiles.size()) < k_max_tile_types && read_line(s, line, sizeof line)) {
        show_progress_with_spinner("Loading tileinfo");
        char* p = line;
        while (is_line_blank(*p))
            ++p;
        if (!*p) continue;
        char* keyword = p;
        while (*p && !is_line_blank(*p))
            ++p;
        if (*p) *p++ = 0;
        while (*p == ' ' || *p == '\t')
            ++p;
        char* arg = p;
        arg[strcspn(arg, "\r\n")] = 0;

        if (!strcmp(keyword, "addtile")) {
            draft_finish(draft);
            terrain.tiles.push_back(draft.type);
            draft_reset(draft);
        } else if (!strcmp(keyword, "texture")) {
            // Seam: the texture manager loads texture_name (load_image for the software method,
            // load_texture otherwise); until then the type stays untextured.
            draft.type.texture_name = arg;
        } else if (!strcmp(keyword, "friction")) {
            read_friction(draft, arg);
        } else if (!strcmp(keyword, "roll_resist")) {
            read_roll_resist(draft, arg);
        } else if (!strcmp(keyword, "roost")) {
            read_roost(draft, arg);
        } else {
            const ErosionKey* key = nullptr;
            for (const ErosionKey& k : k_erosion_keys)
                if (!strcmp(keyword, k.name)) key = &k;
            if (!key) {
                add_messagef("tileinfo warning: Unknown identifier '%.950s'\n", keyword);
                continue;
            }
            float v = 0;
            if (sscanf(arg, "%f", &v) != 1 || !std::isfinite(v))
                add_messagef("tileinfo warning: bad %s\n", key->name);
            else
                draft.type.erosion.*key->field = v;
        }
    }
    // A description not closed by "addtile" is discarded.
    terrain.tile_count = int(terrain.tiles.size());
    tile_relations_compute(terrain);
}

void read_texturelist(Terrain& terrain, DataStream* s) {
    terrain.tiles.clear();
    terrain.tile_count = 0;
    char line[k_line_size];
    while (int(terrain.tiles.size()) < k_max_tile_types && read_line(s, line, sizeof line)) {
        char* p = line;
        while (is_line_blank(*p))
            ++p;
        if (!*p) continue;
        float friction = 1.0f, a = 5.0f, b = 15.0f;
        int used = 0;
        char* name = p;
        if (sscanf(p, "%f %f %f %n", &friction, &a, &b, &used) == 3 && used > 0) {
            name = p + used;
        } else {
            friction = 1.0f;
            a = 5.0f;
            b = 15.0f;
        }
        // Values that are not numbers fall back to the defaults; negative ones are raised to 0.
        friction = std::isfinite(friction) ? std::max(friction, 0.0f) : 1.0f;
        a = std::isfinite(a) ? std::max(a, 0.0f) : 5.0f;
        b = std::isfinite(b) ? std::max(b, 0.0f) : 15.0f;
        name[strcspn(name, "\r\n")] = 0;
        TileType type = tile_type_defaults();
        for (int k = 0; k < k_tile_curve_points; ++k) {
            type.friction[k] = FrictionPoint{friction, k == 0 ? 1.0f : 0.0f};
            type.roll[k] = RollPoint{a, b, k == 0 ? 1.0f : 0.0f};
        }
        type.roost[0].kind = RoostDust;
        // Seam: the texture manager loads texture_name, as for "tileinfo".
        type.texture_name = std::string("@") + name;
        terrain.tiles.push_back(std::move(type));
    }
    terrain.tile_count = int(terrain.tiles.size());
    tile_relations_compute(terrain);
}

// Relations: "A-B-mask" (mask four characters of '0'/'1', first most significant) gives
// A * 65536 + B * 256 + mask, "A-B" without a valid mask A * 65536 + B * 256, "A-altN" A * 65536 +
// A * 256; every other name, including one whose second part names no type, the type itself.
void tile_relations_compute(Terrain& terrain) {
    std::vector<std::string> stems;
    stems.reserve(terrain.tiles.size());
    for (const TileType& type : terrain.tiles)
        stems.push_back(texture_stem(type.texture_name));
    for (size_t t = 0; t < terrain.tiles.size(); ++t) {
        int own = int(t);
        int relation = own * 65536 + own * 256;
        const std::string& stem = stems[t];
        size_t dash = stem.find('-');
        int a = dash == std::string::npos ? -1 : find_stem(stems, stem.substr(0, dash));
        if (a >= 0) {
            std::string rest = stem.substr(dash + 1);
            size_t dash2 = rest.find('-');
            std::string second = rest.substr(0, dash2);
            if (second.size() > 3 && second.compare(0, 3, "alt") == 0 && isdigit((unsigned char)second[3])) {
                relation = a * 65536 + a * 256;
            } else if (int b = find_stem(stems, second); b >= 0) {
                relation = a * 65536 + b * 256;
                if (dash2 != std::string::npos && rest.size() >= dash2 + 5) {
                    int mask = 0;
                    bool valid = true;
                    for (int k = 0; k < 4; ++k) {
                        char c = rest[dash2 + 1 + k];
                        valid = valid && (c == '0' || c == '1');
                        mask = mask * 2 + (c == '1');
                    }
                    if (valid) relation += mask;
                }
            }
        }
        terrain.tiles[t].relation = relation;
    }
}

float tile_friction(const Terrain& terrain, int type, float v) {
    if (unsigned(type) >= terrain.tiles.size()) return 1.0f;
    const FrictionPoint* p = terrain.tiles[type].friction;
    int i = 0;
    while (i < k_tile_curve_points && !(p[i].speed == 0 || v < p[i].speed))
        ++i;
    if (i == 0) return p[0].friction;
    if (i == k_tile_curve_points || p[i].speed == 0) return p[i - 1].friction;
    float s0 = p[i - 1].speed, s1 = p[i].speed;
    float t = std::clamp((v * v - s0 * s0) / (s1 * s1 - s0 * s0), 0.0f, 1.0f);
    return p[i - 1].friction + t * (p[i].friction - p[i - 1].friction);
}

void tile_roll_resist(const Terrain& terrain, int type, float v, float& a, float& b) {
    if (unsigned(type) >= terrain.tiles.size()) {
        a = 5.0f;
        b = 15.0f;
        return;
    }
    const RollPoint* p = terrain.tiles[type].roll;
    int i = 0;
    while (i < k_tile_curve_points && !(p[i].speed == 0 || v < p[i].speed))
        ++i;
    if (i == 0 || i == k_tile_curve_points || p[i].speed == 0) {
        const RollPoint& q = p[i == 0 ? 0 : i - 1];
        a = q.a;
        b = q.b;
        return;
    }
    float s0 = p[i - 1].speed, s1 = p[i].speed;
    float t = std::clamp((v - s0) / (s1 - s0), 0.0f, 1.0f);
    a = p[i - 1].a + t * (p[i].a - p[i - 1].a);
    b = p[i - 1].b + t * (p[i].b - p[i - 1].b);
}
