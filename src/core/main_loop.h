#pragma once
// The main loop: frames measured against the wall clock, fixed ticks of 1/128 s with input events
// applied to the tick their time stamp belongs to, key handling, view modes and the world tick.
#include <cstdint>

constexpr double k_tick_length = 1.0 / 128.0;
constexpr double k_max_frame_advance = 0.125; // offline, a stall drops time beyond this
constexpr int k_warp_ticks = 100;

enum ViewMode { RiderView = 0, EditorView = 2, OrbitView = 3, TrackCameraView = 4, NoTrackView = 5 };

enum ControlInput { Steer, Throttle, FrontBrake, RearBrake, Shift, Clutch, SitDab, BackUp, Lean, ControlCount };

// Function keys the loop acts on directly.
enum FunctionKey { KeyPause, KeyStep, KeyRewind, KeySkip, KeyPrevBike, KeyNextBike, KeyChat, KeyScreenshot, FunctionKeyCount };

// A camera given by position, yaw and pitch: the free camera and every track camera.
struct AngleCamera {
    double position[3];
    double yaw, pitch;         // radians: yaw within -pi..pi, pitch within -pi/2..pi/2
    double yaw_rate, pitch_rate; // radians per second
    double fov;                // degrees
    double auto_fov_size;      // 0 = no automatic field of view
};

struct LoopState {
    double previous_wall;
    double target_time; // sum of all frame advances
    double done_time;   // simulated time done, one tick length per tick
    double global_clock;
    double smallest_advance, largest_advance;
    int64_t histogram[8];
    bool paused;
    bool quit;
    ViewMode view;
    bool track_just_loaded;
    // orbit camera
    double orbit_yaw, orbit_distance, orbit_height;
    // free camera and track cameras
    AngleCamera free_camera;
    double free_speed;
    bool camera_follow;
    int track_camera; // -1 = free camera
    int track_camera_count; // cameras of the loaded track
    bool track_camera_switched;
    float previous_sit_dab;
    // menus
    int current_menu; // -1 = none
    int selected_item;
    bool menu_changed;
    bool pointer_button;
    // the nine control inputs of the current tick
    float inputs[ControlCount];
    // key codes of the function keys, -1 when unbound
    int function_keys[FunctionKeyCount];
    bool online;     // connected to a server
    bool server_in_use;
    int64_t ticks_run; // world ticks run since start (statistics)
};

extern LoopState g_loop;

// The wall clock and sleep the loop uses; tests inject their own.
struct LoopClock {
    double (*now)();
    void (*sleep)(double seconds);
};
extern LoopClock g_loop_clock;

// Resets the loop state to its start values.
void loop_state_reset();

struct FrameAdvanceOptions {
    double lock_fps; // 0 = off
    bool warp;
    bool online;
};
// Steps 8 to 11 of a frame: measures the frame's advance, sleeping when the frame was faster than
// a tick, records the statistics and adds the advance to the target time and the global clock.
double frame_advance(const FrameAdvanceOptions& options);

// Scales an advance online to keep in step with the server's race clock.
double online_rate_scale(double advance, int32_t server_tick, int32_t race_clock, int32_t gate_drop_tick);

// Runs whole ticks until the simulated time catches up with the target; returns the ticks run
// (world ticks and skipped ones alike).
int run_ticks(double now);

// Handles one input event in a tick.
void handle_key(int code, bool pressed);

// Works out the view mode at the start of a frame.
void update_view_mode();

// Advances the world by exactly one tick.
void world_tick();

// One whole frame: view, draw, present, audio, advance and ticks. False when the loop must end.
bool main_loop_frame();
// Runs frames until the quit flag is set or the window is gone.
void main_loop_run();

// Steers a track camera (or the free camera) for one tick.
void steer_track_camera(AngleCamera& camera, const float inputs[ControlCount], bool follow, bool switched,
                        const double rider_position[3], const double rider_velocity[3]);
double wrap_angle(double a);
