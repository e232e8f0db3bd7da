#include "render/title_screen.h"

#include "core/messages.h"
#include "core/settings.h"
#include "platform/input.h"
#include "platform/window.h"
#include "render/shaders.h"
#include "render/texture_manager.h"

#include <GL/gl.h>

#include <cmath>

namespace {

// Near and far planes of the view before a track's lighting gives its own.
constexpr double k_near = 0.25;
constexpr double k_far = 5000;

Window* g_painter_window = nullptr;
unsigned g_title_texture = 0;
bool g_title_tried = false;

// The title texture, loaded once; a purge of every texture (at exit) makes it load again on request.
unsigned title_texture() {
    if (g_title_texture && texture_name_of(g_title_texture)) return g_title_texture;
    if (g_title_texture) g_title_tried = false;
    g_title_texture = 0;
    if (g_title_tried) return 0;
    g_title_tried = true;
    g_title_texture = load_texture(k_title_image);
    if (!g_title_texture) add_messagef("Can't load the title image \"%s\"", k_title_image);
    return g_title_texture;
}

void quad(double x0, double y0, double x1, double y1, bool textured) {
    // Counter-clockwise as seen by the viewer; the image's first row is at the top.
    glBegin(GL_QUADS);
    if (textured) glTexCoord2f(0, 1);
    glVertex3d(x0, y0, -1);
    if (textured) glTexCoord2f(1, 1);
    glVertex3d(x1, y0, -1);
    if (textured) glTexCoord2f(1, 0);
    glVertex3d(x1, y1, -1);
    if (textured) glTexCoord2f(0, 0);
    glVertex3d(x0, y1, -1);
    glEnd();
}

void paint_loading_screen(const char* text) {
    Window* window = g_painter_window;
    if (!window) return;
    // Nothing pressed while loading may act afterwards.
    pump_messages(window);
    input_clear_events();
    // Seam: the riding controls' current values are cleared here once the bindings exist.
    int width = 0, height = 0;
    if (!window_ready(window) || !frame_begin(window, width, height)) return;
    draw_title_background(width, height, text);
    frame_end(window);
}

} // namespace

void title_view_extents(int width, int height, double fov_degrees, double& half_width, double& half_height) {
    double t = std::tan(fov_degrees * 3.14159265358979323846 / 360);
    if (width <= 0 || height <= 0) {
        half_width = t;
        half_height = 0.75 * t;
        return;
    }
    double aspect = double(width) / height;
    if (aspect > 4.0 / 3.0) {
        half_height = 0.75 * t;
        half_width = aspect * half_height;
    } else {
        half_width = t;
        half_height = t * height / width;
    }
}

void draw_title_background(int width, int height, const char* message) {
    if (width <= 0 || height <= 0) return;
    double w = 0, h = 0;
    // Seam: the scene's set_projection sets this view once the scene exists.
    title_view_extents(width, height, g_settings.fov, w, h);
    glViewport(0, 0, width, height);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glFrustum(-w * k_near, w * k_near, -h * k_near, h * k_near, k_near, k_far);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    use_program(0);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_ALPHA_TEST);
    glDisable(GL_BLEND);
    glDisable(GL_LIGHTING);
    glDisable(GL_FOG);
    glDisable(GL_TEXTURE_2D);
    glColor4f(0, 0, 0, 1);
    quad(-w, -h, w, h, false);
    if (unsigned texture = title_texture()) {
        // A 2:1 image that covers the whole view, cut at the sides or at the top and bottom.
        double qw = w > 2 * h ? w : 2 * h;
        double qh = qw / 2;
        glEnable(GL_TEXTURE_2D);
        glBindTexture(GL_TEXTURE_2D, texture);
        glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
        glColor4f(1, 1, 1, 1);
        quad(-qw, -qh, qw, qh, true);
        glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
        glBindTexture(GL_TEXTURE_2D, 0);
        glDisable(GL_TEXTURE_2D);
    }
    // Seam: with the font, a non-empty message is drawn in white on the 25-row text grid, then the
    // build identification right-aligned at (w, -h), scaled to h / 16, grey 0.75 with a shadow.
    (void)message;
}

void title_screen_install(Window* window) {
    g_painter_window = window;
    set_progress_painter(window ? paint_loading_screen : nullptr);
    if (!window) {
        g_title_texture = 0;
        g_title_tried = false;
    }
}
