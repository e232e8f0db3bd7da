#include "hud_images.h"

#include "canvas.h"
#include "font_render.h"
#include "noise.h"

#include <algorithm>
#include <cmath>
#include <string>

namespace {

constexpr double k_pi = 3.14159265358979323846;

double smoothstep(double t) {
    t = std::clamp(t, 0.0, 1.0);
    return t * t * (3 - 2 * t);
}

// Text centred on (cx, baseline).
void text_centred(Canvas& canvas, FontFace* face, const std::string& text, double cx, double baseline,
                  Colour colour, Colour outline = Colour{0, 0, 0, 1}, int outline_width = 0) {
    if (!face) return;
    double w = font_text_width(face, text.c_str());
    font_draw_outlined(canvas, face, text.c_str(), cx - w / 2, baseline, colour, outline, outline_width);
}

} // namespace

Bytes hud_tach() {
    const int size = 256;
    const double c = size / 2.0;
    Canvas canvas = canvas_make(size, size, Colour{1, 1, 1, 0});
    canvas_disc(canvas, c, c, 126, Colour{0.55, 0.57, 0.6, 1});     // bezel
    canvas_disc(canvas, c, c, 118, Colour{0.07, 0.07, 0.08, 0.92}); // face
    canvas_ring(canvas, c, c, 116, 118, Colour{0.85, 0.85, 0.85, 1});
    auto angle_of = [](double rpm) { return (rpm * 0.000046875 - 0.375) * 2 * k_pi; };
    canvas_arc(canvas, c, c, 96, 112, angle_of(12000), angle_of(16000), Colour{0.85, 0.1, 0.08, 1});
    FontFace* face = font_open("DejaVuSans-Bold.ttf", 17);
    for (int rpm = 0; rpm <= 16000; rpm += 500) {
        double a = angle_of(rpm);
        bool major = rpm % 1000 == 0;
        double r0 = major ? 94 : 102, r1 = 112;
        Colour colour = rpm >= 12000 ? Colour{1, 0.85, 0.8, 1} : Colour{0.95, 0.95, 0.95, 1};
        canvas_line(canvas, c + r0 * std::sin(a), c - r0 * std::cos(a), c + r1 * std::sin(a),
                    c - r1 * std::cos(a), major ? 3.5 : 2, colour);
        if (major && rpm % 2000 == 0 && face) {
            double r = 78;
            text_centred(canvas, face, std::to_string(rpm / 1000), c + r * std::sin(a),
                         c - r * std::cos(a) + 6, colour);
        }
    }
    font_close(face);
    FontFace* small = font_open("DejaVuSans.ttf", 11);
    text_centred(canvas, small, "x1000 rpm", c, c + 78, Colour{0.7, 0.7, 0.7, 1});
    font_close(small);
    canvas_disc(canvas, c, c, 9, Colour{0.3, 0.3, 0.32, 1}); // needle hub
    return canvas_png(canvas, true);
}

Bytes hud_shifter() {
    const int size = 256;
    Canvas canvas = canvas_make(size, size, Colour{1, 1, 1, 0});
    FontFace* face = font_open("DejaVuSans-Bold.ttf", 60);
    const char* labels[9] = {"N", "1", "2", "3", "4", "5", "6", "", ""};
    for (int g = 0; g < 9; ++g) {
        double cx = (g % 3 + 0.5) * size / 3.0, cy = (g / 3 + 0.5) * size / 3.0;
        Colour colour = g == 0 ? Colour{0.3, 1, 0.35, 1} : Colour{1, 0.92, 0.3, 1};
        text_centred(canvas, face, labels[g], cx, cy + 22, colour, Colour{0, 0, 0, 1}, 3);
    }
    font_close(face);
    return canvas_png(canvas, true);
}

Bytes hud_pitboard() {
    const int size = 256;
    Canvas canvas = canvas_make(size, size, Colour{1, 1, 1, 0});
    // The board: a dark frame, a coloured tab on the left with the crew's emblem, a light face.
    canvas_rect(canvas, 2, 50, 254, 222, 10, Colour{0.12, 0.12, 0.14, 1});
    canvas_rect(canvas, 8, 56, 248, 216, 6, Colour{0.95, 0.93, 0.82, 1});
    canvas_rect(canvas, 8, 56, 88, 216, 6, Colour{0.85, 0.32, 0.08, 1});
    FontFace* face = font_open("DejaVuSans-Bold.ttf", 64);
    text_centred(canvas, face, "K", 48, 160, Colour{1, 1, 1, 1}, Colour{0.2, 0.05, 0, 1}, 2);
    font_close(face);
    // Chalk-board grain on the face.
    for (int y = 56; y < 216; ++y)
        for (int x = 90; x < 248; ++x)
            canvas_blend(canvas, x, y, Colour{0.6, 0.55, 0.45, 1},
                         0.06 * (noise_fbm(3, x / 6.0, y / 6.0, 3) + 1));
    return canvas_png(canvas, true);
}

Bytes hud_title() {
    const int width = 1024, height = 512;
    Canvas canvas = canvas_make(width, height, Colour{0, 0, 0, 1});
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            double t = double(y) / height;
            // Sky: deep blue overhead to a warm haze at the horizon.
            Colour sky = {0.18 + 0.7 * t, 0.38 + 0.45 * t, 0.75 + 0.1 * t, 1};
            double hills = 0.52 + 0.08 * noise_fbm(17, x / 180.0, 0.5, 4);
            double near = 0.66 + 0.06 * noise_fbm(19, x / 120.0, 3.5, 3);
            // The dirt track with a jump face against the sky on the right.
            double jump = 0.62 - 0.16 * smoothstep((x - 640) / 160.0) * (1 - smoothstep((x - 860) / 60.0));
            Colour colour = sky;
            if (t > hills) colour = Colour{0.32, 0.45, 0.38, 1};
            if (t > near) colour = Colour{0.3, 0.5, 0.2, 1};
            if (t > std::min(jump, 0.74)) {
                double grain = noise_fbm(23, x / 10.0, y / 10.0, 3);
                colour = Colour{0.5 + 0.06 * grain, 0.36 + 0.05 * grain, 0.24 + 0.04 * grain, 1};
            }
            canvas_blend(canvas, x, y, colour, 1);
        }
    FontFace* big = font_open("DejaVuSans-Bold.ttf", 150, 1.05);
    if (big) {
        double w = font_text_width(big, "KORVANE");
        font_draw(canvas, big, "KORVANE", width / 2.0 - w / 2 + 8, 236, Colour{0, 0, 0, 0.45}); // shadow
        font_draw_outlined(canvas, big, "KORVANE", width / 2.0 - w / 2, 228, Colour{1, 0.55, 0.1, 1},
                           Colour{0.1, 0.05, 0.02, 1}, 5);
    }
    font_close(big);
    FontFace* small = font_open("DejaVuSans-Bold.ttf", 34);
    text_centred(canvas, small, "MOTOCROSS SIMULATOR", width / 2.0, 300, Colour{1, 1, 1, 1},
                 Colour{0, 0, 0, 1}, 2);
    font_close(small);
    return canvas_png(canvas, false);
}
