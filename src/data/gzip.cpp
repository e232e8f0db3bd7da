#include "data/gzip.h"

#include "core/alloc.h"

#include <climits>
#include <cstring>
#include <zlib.h>

// Header flag bits.
constexpr int k_gzip_flag_header_crc = 2;
constexpr int k_gzip_flag_extra = 4;
constexpr int k_gzip_flag_name = 8;
constexpr int k_gzip_flag_comment = 16;
constexpr int k_gzip_reserved_flags = 0xe0;

struct GzipReader {
    FILE* file;
    int64_t packed_left; // compressed bytes the file may still give
    z_stream zs;
    bool inflating; // inflateInit2 succeeded, so inflateEnd is due
    bool ended;     // the deflate data and its trailer have been consumed
    bool failed;
    uint32_t crc;    // CRC-32 of the bytes inflated so far
    uint32_t length; // their number, modulo 2^32, as the trailer keeps it
    unsigned char input[k_gzip_input_size];
};

namespace {

// Refills the empty input buffer from the file; false when no compressed byte is left.
bool refill(GzipReader* g) {
    if (g->packed_left <= 0) return false;
    size_t want = g->packed_left < static_cast<int64_t>(k_gzip_input_size)
                      ? static_cast<size_t>(g->packed_left)
                      : k_gzip_input_size;
    size_t got = fread(g->input, 1, want, g->file);
    g->packed_left -= static_cast<int64_t>(got);
    g->zs.next_in = g->input;
    g->zs.avail_in = static_cast<uInt>(got);
    return got > 0;
}

// The next compressed byte outside the deflate data (header or trailer), or -1 when none is left.
int next_byte(GzipReader* g) {
    if (g->zs.avail_in == 0 && !refill(g)) return -1;
    --g->zs.avail_in;
    return *g->zs.next_in++;
}

bool skip_bytes(GzipReader* g, int count) {
    for (int i = 0; i < count; ++i)
        if (next_byte(g) < 0) return false;
    return true;
}

// Skips a zero-terminated field (file name or comment).
bool skip_text(GzipReader* g) {
    for (int c = next_byte(g); c != 0; c = next_byte(g))
        if (c < 0) return false;
    return true;
}

bool parse_header(GzipReader* g) {
    int id1 = next_byte(g), id2 = next_byte(g), method = next_byte(g), flags = next_byte(g);
    if (id1 != 31 || id2 != 139 || method != 8 || flags < 0 || (flags & k_gzip_reserved_flags)) return false;
    if (!skip_bytes(g, 6)) return false; // time, extra flags, operating system
    if (flags & k_gzip_flag_extra) {
        int low = next_byte(g), high = next_byte(g);
        if (low < 0 || high < 0 || !skip_bytes(g, low | high << 8)) return false;
    }
    if ((flags & k_gzip_flag_name) && !skip_text(g)) return false;
    if ((flags & k_gzip_flag_comment) && !skip_text(g)) return false;
    if ((flags & k_gzip_flag_header_crc) && !skip_bytes(g, 2)) return false;
    return true;
}

uint32_t read_u32(GzipReader* g, bool& ok) {
    uint32_t value = 0;
    for (int i = 0; i < 4; ++i) {
        int c = next_byte(g);
        if (c < 0) ok = false;
        value |= static_cast<uint32_t>(c & 255) << (8 * i);
    }
    return value;
}

// After the deflate data: the trailer must hold the CRC-32 and length of what was inflated.
void check_trailer(GzipReader* g) {
    bool ok = true;
    uint32_t crc = read_u32(g, ok);
    uint32_t length = read_u32(g, ok);
    if (!ok || crc != g->crc || length != g->length) g->failed = true;
}

} // namespace

GzipReader* gzip_open(FILE* file, int64_t packed_size) {
    GzipReader* g = static_cast<GzipReader*>(kv_calloc(1, sizeof(GzipReader)));
    if (!g) return nullptr;
    g->file = file;
    g->packed_left = packed_size;
    g->crc = static_cast<uint32_t>(crc32(0, Z_NULL, 0));
    if (!parse_header(g) || inflateInit2(&g->zs, -15) != Z_OK) {
        kv_free(g);
        return nullptr;
    }
    g->inflating = true;
    return g;
}

size_t gzip_read(GzipReader* g, unsigned char* out, size_t size) {
    if (g->ended || g->failed || size == 0) return 0;
    uInt room = size > UINT_MAX ? UINT_MAX : static_cast<uInt>(size);
    g->zs.next_out = out;
    g->zs.avail_out = room;
    // Inflate until some output appears: every pass either consumes input, makes output or ends.
    while (g->zs.avail_out == room) {
        if (g->zs.avail_in == 0 && !refill(g)) {
            g->failed = true; // the compressed data stops inside the deflate stream
            break;
        }
        int result = inflate(&g->zs, Z_NO_FLUSH);
        if (result == Z_STREAM_END) {
            g->ended = true;
            break;
        }
        if (result != Z_OK && !(result == Z_BUF_ERROR && g->zs.avail_in == 0)) {
            g->failed = true; // corrupt data, a preset dictionary, or no memory
            break;
        }
    }
    size_t made = room - g->zs.avail_out;
    g->crc = static_cast<uint32_t>(crc32(g->crc, out, static_cast<uInt>(made)));
    g->length += static_cast<uint32_t>(made);
    if (g->ended) check_trailer(g);
    return made;
}

bool gzip_failed(const GzipReader* g) {
    return g->failed;
}

void gzip_close(GzipReader* g) {
    if (!g) return;
    if (g->inflating) inflateEnd(&g->zs);
    kv_free(g);
}
