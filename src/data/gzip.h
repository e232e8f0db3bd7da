#pragma once
// Reading gzip data (one member: header, raw deflate data, CRC-32 and length trailer) from a stdio
// file, never taking more than a given number of compressed bytes from it. The header is parsed
// here; zlib only inflates the raw deflate data.
#include <cstddef>
#include <cstdint>
#include <cstdio>

struct GzipReader;

// Compressed bytes read from the file at a time.
constexpr size_t k_gzip_input_size = 16384;

// Starts reading gzip data at the file's current position, taking at most packed_size bytes from
// the file. Returns null (nothing allocated) when the header is not a gzip header this reader
// understands (bad magic, method other than deflate, reserved flags set, a header that runs past the
// data) or memory is short. The file stays owned by the caller.
GzipReader* gzip_open(FILE* file, int64_t packed_size);
// Inflates up to size bytes into out and returns how many were made; 0 at the end of the data or
// after a fault. Bytes inflated before a fault are delivered; the fault then ends the data.
size_t gzip_read(GzipReader* reader, unsigned char* out, size_t size);
// The data ended on a fault rather than cleanly: corrupt deflate data, compressed data that stops
// early, a read error, or a trailer whose CRC-32 or length disagrees with the inflated bytes.
bool gzip_failed(const GzipReader* reader);
// Frees the reader; the file is left open.
void gzip_close(GzipReader* reader);
