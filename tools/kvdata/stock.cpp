#include "stock.h"

#include "data/sha1.h"
#include "font_render.h"
#include "hud_images.h"
#include "shapes.h"

namespace {

// The text font: the 94 printable characters in three bands of about 56 pixels filling a
// 1024 × 256 texture.
constexpr FontSheetSpec k_text_font = {
    "DejaVuSans.ttf",
    "!\"#$%&'()*+,-./0123456789:;<=>?@ABCDEFGHIJKLMNOPQRSTUVWXYZ[\\]^_`abcdefghijklmnopqrstuvwxyz{|}~",
    48,
    40,
    1.0,
    3,
    1024,
    256,
    0};
// Number-plate digits, white with a dark outline: 64-pixel glyphs in one band.
constexpr FontSheetSpec k_numbers = {"DejaVuSans-Bold.ttf", "0123456789", 64, 64, 1.0, 0, 0, 0, 3};
constexpr FontSheetSpec k_numbers_condensed = {
    "DejaVuSansCondensed-Bold.ttf", "0123456789", 64, 64, 0.8, 0, 0, 0, 3};

} // namespace

std::vector<ArchiveEntry> stock_entries() {
    std::vector<ArchiveEntry> entries;
    entries.push_back(ArchiveEntry{"font.png", font_sheet(k_text_font)});
    entries.push_back(ArchiveEntry{"numbers.png", font_sheet(k_numbers)});
    entries.push_back(ArchiveEntry{"numbers-condensed.png", font_sheet(k_numbers_condensed)});
    entries.push_back(ArchiveEntry{"tach.png", hud_tach()});
    entries.push_back(ArchiveEntry{"shifter.png", hud_shifter()});
    entries.push_back(ArchiveEntry{"pitboard.png", hud_pitboard()});
    entries.push_back(ArchiveEntry{"title.png", hud_title()});
    for (const StockShape& shape : shapes_stock())
        entries.push_back(ArchiveEntry{shape.file, bytes_of(shape_text(shape))});
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
