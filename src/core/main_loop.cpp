#include "core/main_loop.h"

#include "core/command_line.h"
#include "core/messages.h"
#include "core/settings.h"
#include "core/startup.h"
#include "platform/audio.h"
#include "platform/clock.h"
#include "platform/input.h"
#include "platform/window.h"
#include "race/race.h"
#include "render/gl_caps.h"
#include "render/title_screen.h"
#include "sim/contact.h"
#include "sim/control.h"
#include "sim/physics_world.h"
#include "sim/rider.h"
#include "track/terrain.h"

#include <cmath>
#include <cstring>

LoopState g_loop{};

namespace {
double real_now() { return clock_seconds(); }
void real_sleep(double seconds) {
    if (seconds <= 0) return;
    int64_t whole = static_cast<int64_t>(seconds);
    int64_t micro = static_cast<int64_t>((seconds - static_cast<double>(whole)) * 1e6);
    sleep_until_later(whole, micro);
}

constexpr double k_pi = 3.14159265358979323846;

bool has_track() { return g_race.track_loaded; }
Rider* viewed_rider() {
    if (g_viewed_slot < 0 || g_viewed_slot >= k_max_riders) return nullptr;
    return g_slots[static_cast<size_t>(g_viewed_slot)].rider;
}
bool viewed_is_local() { return viewed_rider() && g_slots[static_cast<size_t>(g_viewed_slot)].kind == Local; }
bool is_function_key(FunctionKey key, int code) { return g_loop.function_keys[key] == code; }

} // namespace

LoopClock g_loop_clock{real_now, real_sleep};

void loop_state_reset() {
    g_loop = LoopState{};
    g_loop.smallest_advance = 1e30;
    g_loop.largest_advance = 0;
    g_loop.view = RiderView;
    g_loop.orbit_distance = 10;
    g_loop.orbit_height = 5;
    g_loop.current_menu = -1;
    g_loop.track_camera = -1;
    g_loop.free_camera.fov = 110;
    for (int& key : g_loop.function_keys) key = -1;
    g_loop.previous_wall = g_loop_clock.now();
}

double frame_advance(const FrameAdvanceOptions& options) {
    double now = g_loop_clock.now();
    double w = now - g_loop.previous_wall;
    // The histogram takes the raw frame time once per frame.
    int bucket = 0;
    while (bucket < 7 && w >= k_tick_length * std::ldexp(1.0, bucket)) ++bucket;
    ++g_loop.histogram[bucket];

    double advance = 0;
    for (;;) {
        if (!options.online && options.lock_fps > 0) {
            double frame = 1.0 / options.lock_fps;
            if (w < frame) g_loop_clock.sleep(frame - w);
            now = g_loop_clock.now();
            advance = frame;
            break;
        }
        if (!options.online && options.warp) {
            advance = k_warp_ticks * k_tick_length;
            break;
        }
        if (w >= k_tick_length) {
            advance = w < k_max_frame_advance ? w : k_max_frame_advance;
            break;
        }
        g_loop_clock.sleep(k_tick_length - w);
        now = g_loop_clock.now();
        w = now - g_loop.previous_wall;
    }
    if (advance < g_loop.smallest_advance) g_loop.smallest_advance = advance;
    if (advance > g_loop.largest_advance) g_loop.largest_advance = advance;
    g_loop.target_time += advance;
    g_loop.global_clock += advance;
    g_loop.previous_wall = now;
    return advance;
}

double online_rate_scale(double v, int32_t server_tick, int32_t race_clock, int32_t gate_drop_tick) {
    auto clamp01 = [](double x) { return x < 0 ? 0 : x > 1 ? 1 : x; };
    double t = (static_cast<double>(server_tick) - race_clock - 1) * k_tick_length;
    if (t < 0) return v * (0.5 + 0.5 * clamp01(t + 1));
    if (race_clock < gate_drop_tick) return v * (1 + 3 * clamp01(t));
    return v * (1 + 0.125 * clamp01(8 * t));
}

double wrap_angle(double a) {
    while (a > k_pi) a -= 2 * k_pi;
    while (a < -k_pi) a += 2 * k_pi;
    return a;
}

void steer_track_camera(AngleCamera& cam, const float in[ControlCount], bool follow, bool switched,
                        const double rider_pos[3], const double rider_vel[3]) {
    const double dt = k_tick_length;
    double ref_yaw = cam.yaw, ref_pitch = cam.pitch;
    double want_yaw_rate = 0, want_pitch_rate = 0;
    double distance = 0;
    if (!follow) {
        want_yaw_rate = in[Steer] * 3 * k_pi / 8;
        want_pitch_rate = in[Shift] * k_pi / 4;
    } else {
        double d[3] = {rider_pos[0] - cam.position[0], rider_pos[1] - cam.position[1], rider_pos[2] - cam.position[2]};
        double n[3] = {d[0] + rider_vel[0] * dt, d[1] + rider_vel[1] * dt, d[2] + rider_vel[2] * dt};
        distance = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
        double bearing = std::atan2(d[0], d[2]);
        double elevation = std::atan2(d[1], std::hypot(d[0], d[2]));
        auto clamp2pi = [](double x) { return x < -2 * k_pi ? -2 * k_pi : x > 2 * k_pi ? 2 * k_pi : x; };
        double bearing_rate = clamp2pi(wrap_angle(std::atan2(n[0], n[2]) - bearing) / dt);
        double elevation_rate = clamp2pi((std::atan2(n[1], std::hypot(n[0], n[2])) - elevation) / dt);
        if (switched) {
            ref_yaw = bearing;
            ref_pitch = elevation;
        }
        double e = wrap_angle(bearing - ref_yaw);
        if (e > k_pi / 2) e = k_pi / 2;
        if (e < -k_pi / 2) e = -k_pi / 2;
        want_yaw_rate = e + ((bearing_rate > 0) == (e > 0) && bearing_rate != 0 && e != 0 ? bearing_rate : 0);
        double pe = elevation - ref_pitch;
        want_pitch_rate = ((elevation_rate > 0) == (pe > 0) && elevation_rate != 0 && pe != 0 ? elevation_rate : 0) +
                          pe * k_pi / 4;
    }
    if (switched) {
        cam.yaw_rate = want_yaw_rate;
        cam.pitch_rate = want_pitch_rate;
    } else {
        auto approach = [dt](double current, double want) {
            double step = k_pi * dt;
            if (want > current + step) return current + step;
            if (want < current - step) return current - step;
            return want;
        };
        cam.yaw_rate = approach(cam.yaw_rate, want_yaw_rate);
        cam.pitch_rate = approach(cam.pitch_rate, want_pitch_rate);
    }
    cam.yaw = wrap_angle(ref_yaw + dt * cam.yaw_rate);
    double pitch = ref_pitch + dt * cam.pitch_rate;
    cam.pitch = pitch < -k_pi / 2 ? -k_pi / 2 : pitch > k_pi / 2 ? k_pi / 2 : pitch;
    if (follow && cam.auto_fov_size > 0) {
        double target = 114.59155902616465 * std::atan2(cam.auto_fov_size, distance);
        if (switched) {
            cam.fov = target;
        } else {
            double diff = target - cam.fov;
            double limit = dt * (2 * std::fabs(diff) + 1);
            cam.fov += diff > limit ? limit : diff < -limit ? -limit : diff;
        }
    }
}

void update_view_mode() {
    if (g_loop.track_just_loaded && g_loop.view == NoTrackView) g_loop.view = RiderView;
    g_loop.track_just_loaded = false;
    if (viewed_is_local()) {
        if (g_loop.view != RiderView && g_loop.view != OrbitView && g_loop.view != EditorView) g_loop.view = RiderView;
    } else if (!viewed_rider()) {
        g_loop.view = TrackCameraView;
    }
    if (!has_track()) g_loop.view = NoTrackView;
}

void handle_key(int code, bool pressed) {
    // Step 1 (riding controls bound to keys) belongs to the controls layer: seam.
    if (code == k_input_char_esc && pressed) {
        g_loop.current_menu = g_loop.current_menu < 0 ? 0 : -1;
        g_loop.selected_item = 0;
        g_loop.menu_changed = true;
        return;
    }
    if (g_loop.current_menu >= 0) {
        // Seam: the key goes to the menu once the menus exist.
        if (!has_track()) g_loop.view = NoTrackView;
        return;
    }
    if (!pressed) return;
    if (is_function_key(KeyChat, code) && g_loop.view != EditorView) {
        // Seam: the chat line opens with the console.
        g_loop.selected_item = 0;
        return;
    }
    if (g_loop.view == NoTrackView) return;
    // Seam: in EditorView the editor gets the key first.
    if (is_function_key(KeyPause, code) && !g_loop.server_in_use) {
        g_loop.paused = !g_loop.paused;
        return;
    }
    if (is_function_key(KeyStep, code) && g_loop.paused) {
        world_tick();
        return;
    }
    if (code == k_input_char_tab) {
        switch (g_loop.view) {
        case RiderView: g_loop.view = g_launch.editor ? EditorView : OrbitView; break;
        case OrbitView: g_loop.view = TrackCameraView; break;
        case TrackCameraView: g_loop.view = RiderView; break;
        case EditorView:
            // Seam: leaving the editor re-settles every rider on the changed terrain.
            g_loop.view = OrbitView;
            break;
        case NoTrackView: break;
        }
        return;
    }
    // Seams: rewind and skip move playback (demo playback); previous and next bike change the
    // viewed rider in race order; the screenshot key takes a screenshot.
    if (code >= '0' && code <= '9') {
        // '0' selects the free camera; digits beyond the track's cameras select the last one.
        int digit = code - '0';
        g_loop.track_camera = (digit < g_loop.track_camera_count ? digit : g_loop.track_camera_count) - 1;
        g_loop.track_camera_switched = true;
    }
}

namespace {

// Camera steering from the control inputs when the viewed rider is not the local one.
void steer_cameras() {
    const float* in = g_loop.inputs;
    if (g_loop.view == OrbitView) {
        g_loop.orbit_yaw = wrap_angle(g_loop.orbit_yaw + in[Steer] * k_pi / 512);
        if (in[Throttle] > 0.5f && g_loop.orbit_distance - 1.0 / 64 >= 0.25) g_loop.orbit_distance -= 1.0 / 64;
        if (in[FrontBrake] > 0.5f) g_loop.orbit_distance += 1.0 / 64;
        g_loop.orbit_height += k_tick_length * in[Shift];
    } else if (g_loop.view == TrackCameraView) {
        if (in[SitDab] > 0.5f && g_loop.previous_sit_dab <= 0.5f) g_loop.camera_follow = !g_loop.camera_follow;
        double zero[3] = {0, 0, 0};
        // Seam: the viewed rider's position and velocity come from its body; the track cameras
        // from the track's camera list. The free camera is steered here.
        AngleCamera& cam = g_loop.free_camera;
        steer_track_camera(cam, in, g_loop.camera_follow, g_loop.track_camera_switched, zero, zero);
        if (g_loop.track_camera < 0) {
            double dt = k_tick_length;
            if (in[Throttle] > 0.5f) g_loop.free_speed = std::fmin(g_loop.free_speed + 80 * dt, 100);
            if (in[FrontBrake] > 0.5f) g_loop.free_speed = std::fmax(g_loop.free_speed - 80 * dt, -100);
            double decay = 60 * dt;
            if (g_loop.free_speed > decay) g_loop.free_speed -= decay;
            else if (g_loop.free_speed < -decay) g_loop.free_speed += decay;
            else g_loop.free_speed = 0;
            if (std::fabs(g_loop.free_speed) > 0.0001) {
                double step = g_loop.free_speed * dt;
                cam.position[0] += -std::sin(cam.yaw) * std::cos(cam.pitch) * step;
                cam.position[1] += std::sin(cam.pitch) * step;
                cam.position[2] += -std::cos(cam.yaw) * std::cos(cam.pitch) * step;
                if (!g_terrain.heights.empty()) {
                    double ground = terrain_height_at(g_terrain, static_cast<float>(cam.position[0]),
                                                      static_cast<float>(cam.position[2]));
                    if (cam.position[1] < ground + 2) cam.position[1] = ground + 2;
                }
            }
            cam.fov = g_settings.fov;
        }
        g_loop.track_camera_switched = false;
    }
    g_loop.previous_sit_dab = in[SitDab];
}

} // namespace

int run_ticks(double now) {
    int ticks = 0;
    while (g_loop.done_time < g_loop.target_time) {
        g_loop.done_time += k_tick_length;
        ++ticks;
        double tick_wall = now - (g_loop.target_time - g_loop.done_time);
        for (float& input : g_loop.inputs) input = 0;
        InputEvent event{};
        while (input_take_event(tick_wall, !(tick_wall < now), event)) {
            if (event.code == k_input_close) {
                g_loop.quit = true;
                continue;
            }
            handle_key(event.code, event.pressed);
        }
        // Seam: the binding capture and the sampling of axis controls belong to the controls layer.
        if (g_loop.current_menu >= 0 && viewed_is_local() && !g_loop.server_in_use) continue;
        if (g_loop.view == EditorView) {
            // Seam: the editor's tick.
            if (!g_loop.server_in_use) continue;
            g_loop.paused = false;
        } else if (g_loop.current_menu < 0 && has_track()) {
            if (viewed_is_local()) {
                rider_apply_inputs(*viewed_rider(), g_loop.inputs);
            } else {
                steer_cameras();
            }
            if (g_loop.server_in_use) g_loop.paused = false;
        }
        // Seam: the network client runs here.
        if (g_loop.paused || g_loop.view == NoTrackView) continue;
        world_tick();
        audio_record_tick();
    }
    return ticks;
}

void world_tick() {
    // Seams: replayed riders take their recorded state; time-trial lap counts.
    // Contacts: offline, every simulated rider against the ground and every other rider.
    // Seam: the track objects near each rider are passed to world_contacts once track objects load;
    // online, the local rider is tested against the eligible network riders instead.
    // Riders live in the physics world: without it there is nothing to move.
    if (g_physics.world) {
        if (!g_loop.online) world_contacts(nullptr, 0);
        // Seam: roost emission.
        world_step();
        if (g_launch.erosion > 0)
            for (const RiderSlot& slot : g_slots)
                if (slot.rider && slot.kind != Replayed) {
                    rut_record(g_terrain, *slot.rider);
                    rut_apply(g_terrain, *slot.rider, g_launch.erosion);
                }
        // Seams: the robot and the timing marks around each rider's step.
        for (const RiderSlot& slot : g_slots)
            if (slot.rider) rider_step(*slot.rider);
    }
    // Seams: particles; the start gate; then the state history and demo recording.
    ++g_race.clock;
    ++g_loop.ticks_run;
}

bool main_loop_frame() {
    update_view_mode();
    int width = 0, height = 0;
    bool drawn = g_window && frame_begin(g_window, width, height);
    if (drawn) {
        if (g_settings.video_mode == 1) {
            g_settings.xres = width;
            g_settings.yres = height;
        }
        // Seam: the scene and the HUD draw here by view mode; until the scene exists every view
        // shows the title colour.
        gl_clear_to_title_colour();
        if (g_loop.view == NoTrackView) draw_title_background(width, height, "");
        if (g_launch.record_video && !g_loop.paused && g_loop.view != NoTrackView)
            gl_write_frame_ppm(stdout, width, height);
        // Seam: the current menu draws here.
        if (g_launch.glfinish) glFinish();
        if (!frame_end(g_window)) return false;
    }
    // Seam: engine sounds are synthesised into the mixer here.
    audio_frame();
    FrameAdvanceOptions options{g_launch.lock_fps, g_launch.warp, g_loop.online};
    frame_advance(options);
    g_loop.menu_changed = false;
    if (g_window) pump_messages(g_window);
    run_ticks(g_loop.previous_wall);
    if (g_loop.view != NoTrackView) messages_expire(g_loop.global_clock);
    return !g_loop.quit;
}

void main_loop_run() {
    while (!g_loop.quit && main_loop_frame()) {
    }
}
