#include "data/sha1.h"

#include <cstdio>
#include <cstring>

namespace {

uint32_t rotl(uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }

void sha1_block(Sha1& sha, const uint8_t* p) {
    uint32_t w[80];
    for (int i = 0; i < 16; ++i)
        w[i] = uint32_t(p[4 * i]) << 24 | uint32_t(p[4 * i + 1]) << 16 | uint32_t(p[4 * i + 2]) << 8 | p[4 * i + 3];
    for (int i = 16; i < 80; ++i) w[i] = rotl(w[i - 3] ^ w[i - 8] ^ w[i - 14] ^ w[i - 16], 1);
    uint32_t a = sha.state[0], b = sha.state[1], c = sha.state[2], d = sha.state[3], e = sha.state[4];
    for (int i = 0; i < 80; ++i) {
        uint32_t f, k;
        if (i < 20) {
            f = (b & c) | (~b & d);
            k = 0x5A827999;
        } else if (i < 40) {
            f = b ^ c ^ d;
            k = 0x6ED9EBA1;
        } else if (i < 60) {
            f = (b & c) | (b & d) | (c & d);
            k = 0x8F1BBCDC;
        } else {
            f = b ^ c ^ d;
            k = 0xCA62C1D6;
        }
        uint32_t t = rotl(a, 5) + f + e + k + w[i];
        e = d;
        d = c;
        c = rotl(b, 30);
        b = a;
        a = t;
    }
    sha.state[0] += a;
    sha.state[1] += b;
    sha.state[2] += c;
    sha.state[3] += d;
    sha.state[4] += e;
}

} // namespace

void sha1_begin(Sha1& sha) {
    sha.state[0] = 0x67452301;
    sha.state[1] = 0xEFCDAB89;
    sha.state[2] = 0x98BADCFE;
    sha.state[3] = 0x10325476;
    sha.state[4] = 0xC3D2E1F0;
    sha.length = 0;
    sha.used = 0;
}

void sha1_feed(Sha1& sha, const void* data, size_t size) {
    const uint8_t* p = static_cast<const uint8_t*>(data);
    sha.length += size;
    while (size > 0) {
        size_t take = 64 - static_cast<size_t>(sha.used);
        if (take > size) take = size;
        memcpy(sha.block + sha.used, p, take);
        sha.used += static_cast<int>(take);
        p += take;
        size -= take;
        if (sha.used == 64) {
            sha1_block(sha, sha.block);
            sha.used = 0;
        }
    }
}

void sha1_end(Sha1& sha, uint8_t digest[20]) {
    uint64_t bits = sha.length * 8;
    uint8_t pad = 0x80;
    sha1_feed(sha, &pad, 1);
    uint8_t zero = 0;
    while (sha.used != 56) sha1_feed(sha, &zero, 1);
    uint8_t length[8];
    for (int i = 0; i < 8; ++i) length[i] = static_cast<uint8_t>(bits >> (56 - 8 * i));
    sha1_feed(sha, length, 8);
    for (int i = 0; i < 5; ++i)
        for (int j = 0; j < 4; ++j) digest[4 * i + j] = static_cast<uint8_t>(sha.state[i] >> (24 - 8 * j));
}

void sha1_hex(const uint8_t digest[20], char text[41]) {
    static const char hex[] = "0123456789abcdef";
    for (int i = 0; i < 20; ++i) {
        text[2 * i] = hex[digest[i] >> 4];
        text[2 * i + 1] = hex[digest[i] & 15];
    }
    text[40] = 0;
}

void sha1_of(const void* data, size_t size, char text[41]) {
    Sha1 sha;
    sha1_begin(sha);
    sha1_feed(sha, data, size);
    uint8_t digest[20];
    sha1_end(sha, digest);
    sha1_hex(digest, text);
}

bool sha1_of_file(const char* path, size_t limit, char text[41]) {
    FILE* f = fopen(path, "rb");
    if (!f) return false;
    Sha1 sha;
    sha1_begin(sha);
    uint8_t block[256];
    size_t fed = 0;
    size_t n = 0;
    while (fed < limit && (n = fread(block, 1, sizeof block, f)) > 0) {
        if (n > limit - fed) n = limit - fed;
        sha1_feed(sha, block, n);
        fed += n;
    }
    fclose(f);
    uint8_t digest[20];
    sha1_end(sha, digest);
    sha1_hex(digest, text);
    return true;
}
