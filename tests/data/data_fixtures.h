#pragma once
// Small builders for data-layer fixtures: gzip files with any header fields, and ".saf" archives.
#include <string>
#include <utility>
#include <vector>

struct GzipHeader {
    int flags =
        0; // the header's flag byte as written (bits 1 text, 2 header check, 4 extra, 8 name, 16 comment)
    std::string extra, name, comment;
};

// Raw deflate data of the text (no wrapper).
std::string deflate_raw(const std::string& text);
// A complete gzip file of the text: header with the given fields, deflate data, CRC-32 and length.
std::string gzip_bytes(const std::string& text, const GzipHeader& header = {});
// A ".saf" archive of (name, data) pairs: "size name\n" lines, "-\n", then the data.
std::string saf_bytes(const std::vector<std::pair<std::string, std::string>>& entries);
// Reads a whole stream byte by byte ("@name" or a path); "<none>" when it does not open.
std::string read_stream(const std::string& name);
