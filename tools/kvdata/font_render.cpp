#include "font_render.h"

#include <algorithm>
#include <cmath>
#include <ft2build.h>
#include FT_FREETYPE_H
#include <vector>

struct FontFace {
    FT_Library library = nullptr;
    FT_Face face = nullptr;
};

namespace {

constexpr const char* k_font_folder = "/usr/share/fonts/truetype/dejavu/";

struct Glyph {
    int width = 0, rows = 0, left = 0, top = 0;
    double advance = 0;
    std::vector<uint8_t> coverage;
};

bool glyph_load(FontFace* face, unsigned char c, Glyph& glyph) {
    if (FT_Load_Char(face->face, c, FT_LOAD_RENDER) != 0) return false;
    FT_GlyphSlot slot = face->face->glyph;
    glyph.width = int(slot->bitmap.width);
    glyph.rows = int(slot->bitmap.rows);
    glyph.left = slot->bitmap_left;
    glyph.top = slot->bitmap_top;
    glyph.advance = slot->advance.x / 64.0;
    glyph.coverage.assign(size_t(glyph.width) * size_t(glyph.rows), 0);
    for (int y = 0; y < glyph.rows; ++y)
        for (int x = 0; x < glyph.width; ++x)
            glyph.coverage[size_t(y) * size_t(glyph.width) + size_t(x)] =
                slot->bitmap.buffer[y * slot->bitmap.pitch + x];
    return true;
}

// Draws a glyph's coverage (dilated by `grow` pixels when above 0) with its origin at (ox, baseline).
void glyph_draw(Canvas& canvas, const Glyph& glyph, int ox, int baseline, Colour colour, int grow) {
    for (int y = -grow; y < glyph.rows + grow; ++y)
        for (int x = -grow; x < glyph.width + grow; ++x) {
            double cover = 0;
            for (int dy = -grow; dy <= grow; ++dy)
                for (int dx = -grow; dx <= grow; ++dx) {
                    if (dx * dx + dy * dy > grow * grow + grow) continue;
                    int sx = x + dx, sy = y + dy;
                    if (sx < 0 || sy < 0 || sx >= glyph.width || sy >= glyph.rows) continue;
                    cover = std::max(cover,
                                     glyph.coverage[size_t(sy) * size_t(glyph.width) + size_t(sx)] / 255.0);
                }
            canvas_blend(canvas, ox + glyph.left + x, baseline - glyph.top + y, colour, cover);
        }
}

} // namespace

FontFace* font_open(const char* file, int pixel_size, double x_scale) {
    FontFace* face = new FontFace;
    std::string path = std::string(k_font_folder) + file;
    if (FT_Init_FreeType(&face->library) != 0 ||
        FT_New_Face(face->library, path.c_str(), 0, &face->face) != 0 ||
        FT_Set_Pixel_Sizes(face->face, 0, FT_UInt(pixel_size)) != 0) {
        font_close(face);
        return nullptr;
    }
    if (x_scale != 1) {
        FT_Matrix matrix = {FT_Fixed(std::lround(x_scale * 65536)), 0, 0, 0x10000};
        FT_Set_Transform(face->face, &matrix, nullptr);
    }
    return face;
}

void font_close(FontFace* face) {
    if (!face) return;
    if (face->face) FT_Done_Face(face->face);
    if (face->library) FT_Done_FreeType(face->library);
    delete face;
}

double font_text_width(FontFace* face, const char* text) {
    double width = 0;
    Glyph glyph;
    for (const char* p = text; *p; ++p)
        if (glyph_load(face, (unsigned char)*p, glyph)) width += glyph.advance;
    return width;
}

void font_draw(Canvas& canvas, FontFace* face, const char* text, double x, double baseline, Colour colour) {
    font_draw_outlined(canvas, face, text, x, baseline, colour, colour, 0);
}

void font_draw_outlined(Canvas& canvas, FontFace* face, const char* text, double x, double baseline,
                        Colour colour, Colour outline_colour, int outline) {
    Glyph glyph;
    int base = int(std::lround(baseline));
    if (outline > 0) {
        double pen = x;
        for (const char* p = text; *p; ++p) {
            if (!glyph_load(face, (unsigned char)*p, glyph)) continue;
            glyph_draw(canvas, glyph, int(std::lround(pen)), base, outline_colour, outline);
            pen += glyph.advance;
        }
    }
    double pen = x;
    for (const char* p = text; *p; ++p) {
        if (!glyph_load(face, (unsigned char)*p, glyph)) continue;
        glyph_draw(canvas, glyph, int(std::lround(pen)), base, colour, 0);
        pen += glyph.advance;
    }
}

namespace {

// One band of a font image: its glyphs rendered at the band's own pixel size.
struct Band {
    size_t first = 0, last = 0; // glyph indices [first, last)
    int height = 0;
    int top = 0, bottom = 0; // ink extent above and below the baseline
    std::vector<Glyph> glyphs;
    std::vector<int> cells; // cell widths in pixels
};

// Renders the band's characters at a pixel size; false when the font or a glyph is missing.
bool band_render(const FontSheetSpec& spec, Band& band, int pixel_size) {
    FontFace* face = font_open(spec.file, pixel_size, spec.x_scale);
    if (!face) return false;
    band.glyphs.assign(band.last - band.first, Glyph());
    band.cells.assign(band.last - band.first, 0);
    band.top = -1000, band.bottom = 1000;
    bool ok = true;
    for (size_t i = 0; i < band.glyphs.size() && ok; ++i) {
        Glyph& g = band.glyphs[i];
        ok = glyph_load(face, (unsigned char)spec.characters[band.first + i], g);
        band.top = std::max(band.top, g.top);
        band.bottom = std::min(band.bottom, g.top - g.rows);
        // The advance (or the ink, if wider) with a pixel of padding on both sides.
        double ink = std::max(g.advance, double(std::max(0, g.left) + g.width));
        band.cells[i] = int(std::ceil(ink)) + 2 + 2 * spec.outline;
    }
    font_close(face);
    return ok;
}

int band_width(const Band& band) {
    int sum = 0;
    for (int c : band.cells)
        sum += c;
    return sum;
}

} // namespace

Bytes font_sheet(const FontSheetSpec& spec) {
    const size_t count = std::string(spec.characters).size();
    // Measure everything at the base size, then split the characters into bands of about equal
    // width. Each band is rendered at the largest size that fills the image width, so the spare
    // pixels shared out among its cells stay below one pixel per glyph or so; glyph widths are
    // relative to their band's height and therefore come out the same in every band.
    Band all;
    all.last = count;
    if (!band_render(spec, all, spec.pixel_size)) return Bytes();
    int total = band_width(all);
    int band_count = spec.bands > 0 ? spec.bands : 1;
    int width = spec.bands > 0 ? spec.width : total;
    std::vector<Band> bands(static_cast<size_t>(band_count));
    size_t first = 0;
    int running = 0;
    for (int k = 0; k < band_count; ++k) {
        Band& band = bands[size_t(k)];
        band.first = first;
        double target = double(total) * (k + 1) / band_count;
        size_t i = first;
        while (i < count && (k == band_count - 1 || running + all.cells[i] / 2.0 <= target))
            running += all.cells[i++];
        band.last = i;
        first = i;
        if (band.last == band.first) return Bytes();
        int base_width = 0;
        for (size_t j = band.first; j < band.last; ++j)
            base_width += all.cells[j];
        int pixel = spec.bands > 0 ? int(spec.pixel_size * double(width) / base_width) : spec.pixel_size;
        for (;; --pixel) {
            if (pixel < 6 || !band_render(spec, band, pixel)) return Bytes();
            if (band_width(band) <= width) break;
        }
        int ink = band.top - band.bottom + 2 * spec.outline + 2;
        band.height = std::max(int(std::lround(double(spec.band) * pixel / spec.pixel_size)), ink);
        int spare = width - band_width(band);
        size_t n = band.cells.size();
        for (size_t j = 0; j < n; ++j)
            band.cells[j] += int((spare * (j + 1)) / n - (spare * j) / n);
    }
    int bands_height = 0;
    for (const Band& band : bands)
        bands_height += band.height;
    int height = spec.height == 0 ? bands_height : spec.height;
    if (height < bands_height) return Bytes();

    const Colour separator = {1, 0, 1, 1}, white = {1, 1, 1, 1}, dark = {0, 0, 0, 1};
    Canvas canvas = canvas_make(width, height, Colour{1, 1, 1, 0});
    auto set = [&](int x, int y, Colour c) {
        double* p = &canvas.rgba[(size_t(y) * size_t(width) + size_t(x)) * 4];
        p[0] = c.r, p[1] = c.g, p[2] = c.b, p[3] = c.a;
    };
    int y0 = 0;
    for (const Band& band : bands) {
        int baseline =
            y0 + (band.height - (band.top - band.bottom + 2 * spec.outline)) / 2 + spec.outline + band.top;
        int x0 = 0;
        for (size_t i = 0; i < band.glyphs.size(); ++i) {
            const Glyph& g = band.glyphs[i];
            int origin = x0 + 1 + spec.outline + std::max(0, -g.left);
            if (spec.outline > 0) glyph_draw(canvas, g, origin, baseline, dark, spec.outline);
            glyph_draw(canvas, g, origin, baseline, white, 0);
            x0 += band.cells[i];
        }
        // The band's top row holds only the cell markers; the first marker is also the band's
        // marker in the left column.
        for (int x = 0; x < width; ++x)
            set(x, y0, Colour{1, 1, 1, 0});
        x0 = 0;
        for (int cell : band.cells) {
            set(x0, y0, separator);
            x0 += cell;
        }
        y0 += band.height;
    }
    if (bands_height < height) set(0, bands_height, separator); // ends the last band above the unused rows
    return canvas_png(canvas, true);
}
