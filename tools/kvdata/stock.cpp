#include "stock.h"

#include "data/sha1.h"
#include "shapes.h"

std::vector<ArchiveEntry> stock_entries() {
    std::vector<ArchiveEntry> entries;
    for (const StockShape& shape : shapes_stock()) entries.push_back(ArchiveEntry{shape.file, bytes_of(shape_text(shape))});
    return entries;
}

void stock_shape_digest(char text[41]) {
    Sha1 sha;
    sha1_begin(sha);
    for (const StockShape& shape : shapes_stock()) {
        std::string bytes = shape_text(shape);
        sha1_feed(sha, bytes.data(), bytes.size());
    }
    uint8_t digest[20];
    sha1_end(sha, digest);
    sha1_hex(digest, text);
}
