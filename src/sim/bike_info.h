#pragma once
// The compiled-in bike catalogue: one read-only parameter record per model, in menu order. Lengths in
// feet, masses in slugs, forces in pound-force, angles in radians, y up, the bike pointing towards -z.

constexpr int k_bike_count = 55;
constexpr int k_torque_points = 50; // torque curve entries at 0, 500, ... 24500 rpm
constexpr int k_gear_slots = 6;     // gears a model lacks hold -1
constexpr int k_rider_point_count = 9;
constexpr int k_rider_length_count = 4;
constexpr double k_rpm_per_rad_s = 9.549296585513721;

struct BikeInfo {
    const char* name;
    const char* bike_class; // "450f", "250f", "250", "125" or "50"
    float front_axle[3];
    float front_tyre_ring_radius, front_tyre_tube_radius, front_tyre_mass;
    float front_hub_radius, front_hub_mass;
    float rear_axle[3];
    float rear_tyre_ring_radius, rear_tyre_tube_radius, rear_tyre_mass;
    float rear_hub_radius, rear_hub_mass;
    float frame_position[3];
    float frame_mass; // without the rider's share
    float frame_size[3];
    float steering_head[3]; // centre of the fork upper and the steering anchor
    float swingarm_position[3];
    float swingarm_pivot[3];
    float fork_lower_position[3];
    float fork_width;
    float fork_length;
    float fork_mass; // one fork body, both tubes
    float fork_spring_soft, fork_spring_stiff;
    float fork_preload_min, fork_preload_max;
    float fork_air_gap_min_oil, fork_air_gap_max_oil;
    float fork_hs_compression, fork_ls_compression, fork_hs_rebound, fork_ls_rebound;
    float fork_travel;
    float swingarm_half_mass;
    float shock_spring_soft, shock_spring_stiff;
    float shock_preload_min, shock_preload_max;
    float shock_hs_compression, shock_ls_compression, shock_hs_rebound, shock_ls_rebound;
    float linkage_knot_stroke;
    float linkage_full_stroke;
    float swingarm_travel;
    float linkage_knot;
    float linkage_slope_start, linkage_slope_knot, linkage_slope_end;
    float primary_ratio;
    float front_sprocket;
    float rear_sprocket;
    float gear_ratios[k_gear_slots];
    float engine_inertia;
    float driveline_stiffness;
    float driveline_damping;
    float closed_throttle_torque[k_torque_points];
    float open_throttle_torque[k_torque_points];
    float auto_downshift_rpm;
    float auto_upshift_rpm;
    float rider_position[3];
    float rider_mass;
    const char* frame_model;
    const char* frame_shape;
    const char* bike_texture;
    const char* fork_upper_model;
    const char* fork_upper_shape;
    const char* fork_lower_model;
    const char* fork_lower_shape;
    const char* swingarm_model;
    const char* swingarm_shape;
    const char* front_wheel_model;
    const char* front_wheel_shape;
    const char* rear_wheel_model;
    const char* rear_wheel_shape;
    const char* wheel_texture;
    const char* head_model;
    const char* head_texture;
    const char* body_model;
    const char* body_model_first_person;
    const char* rider_shape;
    const char* body_texture;
    const char* side_plates_model;
    const char* front_plate_model;
    const char* rider_plate_model;
    float rider_points[k_rider_point_count][3];
    float rider_lengths[k_rider_length_count];
};

// The catalogue entry at an index (0 .. k_bike_count - 1); the first is the default model.
const BikeInfo& bike_info_at(int index);

// Exact lookup by name; null when the catalogue has no such model.
const BikeInfo* bike_info_by_name(const char* name);

// Lookup that always yields a model. An unknown name falls back to the first model whose name
// contains "125" when the name does, otherwise to the first whose name contains "250f", otherwise
// to the first model, and says so in a message line.
const BikeInfo& bike_info_find(const char* name);

// The highest usable gear index (the last whose ratio is positive).
int bike_top_gear(const BikeInfo& info);

// Texts for the setup menu, from the menu value v (0 to 100) or the sprocket adjustment. Each writes
// into out (size bytes) and returns out.
char* bike_display_fork_spring(const BikeInfo& info, double v, char* out, int size);  // "%.3f kg/mm" per leg
char* bike_display_shock_spring(const BikeInfo& info, double v, char* out, int size); // "%.2f kg/mm"
char* bike_display_fork_preload(const BikeInfo& info, double v, char* out, int size); // "%.2f mm"
char* bike_display_fork_oil_level(const BikeInfo& info, double v, char* out, int size); // air gap, "%.2f mm"
char* bike_display_shock_preload(const BikeInfo& info, double v, char* out, int size);  // "%.2f mm"
char* bike_display_front_sprocket(const BikeInfo& info, double adjust, char* out, int size); // "%.2f teeth"
char* bike_display_rear_sprocket(const BikeInfo& info, double adjust, char* out, int size);
