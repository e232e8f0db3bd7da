#include "net/fixed_files.h"

#include "core/data_digests.h"
#include "data/sha1.h"
#include "data/stream.h"

#include <cstring>

const char* const k_fixed_files[k_fixed_file_count] = {
    "@generic_frame.shp", "@generic_fork_upper.shp", "@generic_fork_lower.shp", "@generic_swingarm.shp",
    "@front_wheel.shp",   "@rear_wheel.shp",         "@generic_rider.shp",
};

bool g_fixed_files_ok = false;

void fixed_files_digest(char text[41]) {
    Sha1 sha;
    sha1_begin(sha);
    unsigned char block[1024];
    for (const char* name : k_fixed_files) {
        DataStream* stream = stream_open(name, "rb");
        if (!stream) continue;
        size_t n;
        while ((n = stream_read(stream, block, sizeof block)) > 0)
            sha1_feed(sha, block, n);
        stream_close(stream);
    }
    uint8_t digest[20];
    sha1_end(sha, digest);
    sha1_hex(digest, text);
}

bool fixed_files_check() {
    char digest[41];
    fixed_files_digest(digest);
    for (const char* accepted : k_shape_digests)
        if (strcmp(digest, accepted) == 0) return true;
    return false;
}
