#pragma once
// Glyphs rendered with FreeType from the free DejaVu fonts, for the game's font images and for
// the text in the generated pictures.
//
// Font images follow the game's separator convention: the top-left pixel's colour is the
// separator; separator pixels in a band's top row mark where each glyph cell begins, separator
// pixels in the left column mark where each band begins; cells are laid out in the order of the
// character list, left to right, band after band, and the last cell of a band reaches the
// image's right edge. Glyphs are white with their coverage as alpha, on transparent white.
#include "canvas.h"

#include <string>

struct FontFace;

// Opens a font file of /usr/share/fonts/truetype/dejavu at a pixel size, optionally narrowed
// horizontally by x_scale. Null when FreeType or the file is unavailable.
FontFace* font_open(const char* file, int pixel_size, double x_scale = 1);
void font_close(FontFace* face);
double font_text_width(FontFace* face, const char* text);
// Draws text with its baseline at y, starting at x.
void font_draw(Canvas& canvas, FontFace* face, const char* text, double x, double baseline, Colour colour);
// The same with a dark outline `outline` pixels wide around every glyph.
void font_draw_outlined(Canvas& canvas, FontFace* face, const char* text, double x, double baseline,
                        Colour colour, Colour outline_colour, int outline);

struct FontSheetSpec {
    const char* file;
    const char* characters;
    int band;       // band height in pixels at pixel_size (bands scale with their own size)
    int pixel_size; // base glyph size
    double x_scale; // horizontal narrowing
    int bands;      // number of bands across `width`; 0 puts every glyph in one band exactly as
                    // wide as they need
    int width;      // image width (with bands)
    int height;     // image height; 0 for exactly the bands
    int outline;    // dark outline around each glyph in pixels (0 for none)
};

// The font image as PNG (RGBA), or empty bytes when the font cannot be opened or the glyphs
// do not fit.
Bytes font_sheet(const FontSheetSpec& spec);
