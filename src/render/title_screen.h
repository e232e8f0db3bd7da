#pragma once
// The title screen: the title image over a black view, shown while no track is loaded and as the
// loading screen behind the progress texts.

struct Window;

// The title image's name; loaded before the first track, so it is permanent.
constexpr const char* k_title_image = "!@title.png";

// Half-extents of the view at depth 1 for a window and a horizontal field of view (degrees) of a 4:3
// view: wider windows widen the view at the same height.
void title_view_extents(int width, int height, double fov_degrees, double& half_width, double& half_height);

// Draws the title background into the current frame of a width x height window: a black view, then
// the title image as a 2:1 quad covering it. Leaves depth test, blending and texturing off and the
// projection set for the view.
void draw_title_background(int width, int height, const char* message);

// Makes show_progress paint the loading screen into this window (null removes the painter). The
// painter opens a frame of its own, so progress is never shown from inside a frame.
void title_screen_install(Window* window);
