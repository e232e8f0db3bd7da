#pragma once
// SHA-1 (FIPS 180-1). Digests are written as 40 lower-case hexadecimal digits.
#include <cstddef>
#include <cstdint>

struct Sha1 {
    uint32_t state[5];
    uint64_t length; // bytes fed so far
    uint8_t block[64];
    int used; // bytes waiting in block
};

void sha1_begin(Sha1& sha);
void sha1_feed(Sha1& sha, const void* data, size_t size);
void sha1_end(Sha1& sha, uint8_t digest[20]);
// Writes 40 hexadecimal digits and a terminating zero into text (41 bytes).
void sha1_hex(const uint8_t digest[20], char text[41]);
// The digest of a buffer, as hexadecimal text.
void sha1_of(const void* data, size_t size, char text[41]);
// The digest of at most the first `limit` bytes of a file read in 256-byte blocks; false when the
// file cannot be opened.
bool sha1_of_file(const char* path, size_t limit, char text[41]);
