#pragma once
// Writing ".saf" archives: a text header of "size name\n" lines ended by a "-" line, then the
// entries' bytes back to back in header order.
#include "output.h"

#include <string>
#include <vector>

struct ArchiveEntry {
    std::string name; // data-relative, "/" separated, no "\n"
    Bytes data;
};

// The archive bytes. Entries keep the given order, so equal input gives equal bytes.
Bytes archive_build(const std::vector<ArchiveEntry>& entries);
