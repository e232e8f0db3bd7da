#include "data_fixtures.h"

#include "data/stream.h"

#include <zlib.h>

std::string deflate_raw(const std::string& text) {
    z_stream z{};
    deflateInit2(&z, 9, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&z, text.size()), '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
    z.avail_in = static_cast<uInt>(text.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

namespace {
void put_u32(std::string& out, unsigned long v) {
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<char>((v >> (8 * i)) & 255));
}
} // namespace

std::string gzip_bytes(const std::string& text, const GzipHeader& h) {
    std::string out = {'\x1f', '\x8b', 8, static_cast<char>(h.flags), 0, 0, 0, 0, 0, 3};
    if (h.flags & 4) {
        out.push_back(static_cast<char>(h.extra.size() & 255));
        out.push_back(static_cast<char>(h.extra.size() >> 8));
        out += h.extra;
    }
    if (h.flags & 8) out += h.name + '\0';
    if (h.flags & 16) out += h.comment + '\0';
    if (h.flags & 2) out += "\x12\x34";
    out += deflate_raw(text);
    put_u32(out, crc32(0, reinterpret_cast<const Bytef*>(text.data()), static_cast<uInt>(text.size())));
    put_u32(out, text.size());
    return out;
}

std::string saf_bytes(const std::vector<std::pair<std::string, std::string>>& entries) {
    std::string header, data;
    for (const auto& [name, bytes] : entries) {
        header += std::to_string(bytes.size()) + " " + name + "\n";
        data += bytes;
    }
    return header + "-\n" + data;
}

std::string read_stream(const std::string& name) {
    DataStream* s = stream_open(name.c_str(), "rb");
    if (!s) return "<none>";
    std::string text;
    for (int c = stream_getc(s); c >= 0; c = stream_getc(s))
        text.push_back(static_cast<char>(c));
    stream_close(s);
    return text;
}
