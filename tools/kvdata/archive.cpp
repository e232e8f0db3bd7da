#include "archive.h"

Bytes archive_build(const std::vector<ArchiveEntry>& entries) {
    std::string header;
    for (const ArchiveEntry& e : entries)
        header += std::to_string(e.data.size()) + " " + e.name + "\n";
    header += "-\n";
    Bytes out = bytes_of(header);
    for (const ArchiveEntry& e : entries)
        bytes_append(out, e.data.data(), e.data.size());
    return out;
}
