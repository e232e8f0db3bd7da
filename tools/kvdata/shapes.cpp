#include "shapes.h"

#include <cmath>

namespace {

// Build-pose body centres shared by every bike (feet).
constexpr double k_frame[3] = {0, 1.98, 3.6};
constexpr double k_steering_head[3] = {0, 2.9, 2.16};
constexpr double k_fork_lower[3] = {0, 1.77, 1.59};
constexpr double k_swingarm[3] = {0, 1.34, 4.99};
constexpr double k_rider[3] = {0, 4.5, 4.12};

// Metal and plastic parts slide; the rider's gear grips a little more and is softer.
constexpr double k_hard_friction = 0.5, k_hard_stiffness = 25000, k_hard_damping = 2500;
constexpr double k_soft_friction = 0.7, k_soft_stiffness = 12000, k_soft_damping = 1200;

// A sphere given by its build-pose position, stored relative to the body centre.
ShapeSphere hard(const double body[3], double x, double y, double z, double radius) {
    return ShapeSphere{x - body[0],     y - body[1],      z - body[2],   radius,
                       k_hard_friction, k_hard_stiffness, k_hard_damping};
}
ShapeSphere soft(const double body[3], double x, double y, double z, double radius) {
    return ShapeSphere{x - body[0],     y - body[1],      z - body[2],   radius,
                       k_soft_friction, k_soft_stiffness, k_soft_damping};
}

// A tyre as a ring of spheres of the tube radius around the axle, in the wheel's y–z plane.
std::vector<ShapeSphere> tyre(double ring, double tube) {
    std::vector<ShapeSphere> spheres;
    for (int i = 0; i < 12; ++i) {
        double a = i * 3.14159265358979323846 / 6;
        spheres.push_back(ShapeSphere{0, ring * std::cos(a), ring * std::sin(a), tube, 1.0, 25000, 2500});
    }
    return spheres;
}

} // namespace

std::vector<StockShape> shapes_stock() {
    std::vector<StockShape> shapes;
    // Frame: engine cases (the lowest point, about 13 in of ground clearance), tank and radiator
    // shrouds, seat, rear fender and the footpegs.
    shapes.push_back(
        StockShape{"generic_frame.shp",
                   {hard(k_frame, 0, 1.55, 3.35, 0.45), hard(k_frame, 0, 1.75, 3.95, 0.4),
                    hard(k_frame, 0, 2.75, 2.85, 0.45), hard(k_frame, -0.42, 2.35, 2.65, 0.3),
                    hard(k_frame, 0.42, 2.35, 2.65, 0.3), hard(k_frame, 0, 3.0, 3.9, 0.35),
                    hard(k_frame, 0, 3.05, 4.7, 0.3), hard(k_frame, 0, 3.1, 5.5, 0.28),
                    hard(k_frame, -0.6, 1.45, 4.15, 0.15), hard(k_frame, 0.6, 1.45, 4.15, 0.15)}});
    // Fork upper (bars, clamps and number plate): the triple clamp, the bar's middle and both
    // grips, which lie at (∓1.097, 1.145, 0.753) from the steering head.
    shapes.push_back(StockShape{
        "generic_fork_upper.shp",
        {hard(k_steering_head, 0, 3.05, 2.1, 0.3), hard(k_steering_head, 0, 3.85, 2.75, 0.22),
         hard(k_steering_head, -0.6, 3.95, 2.83, 0.18), hard(k_steering_head, 0.6, 3.95, 2.83, 0.18),
         hard(k_steering_head, -1.097, 4.045, 2.913, 0.16), hard(k_steering_head, 1.097, 4.045, 2.913, 0.16),
         hard(k_steering_head, 0, 3.1, 1.75, 0.3)}});
    // Fork lower: both sliders from the axle up, and the front fender above the tyre.
    {
        StockShape fork{"generic_fork_lower.shp", {}};
        const double half = 0.833333 / 2;
        for (double side : {-half, half}) {
            fork.spheres.push_back(hard(k_fork_lower, side, 1.09, 1.11, 0.14));
            fork.spheres.push_back(hard(k_fork_lower, side, 1.5, 1.38, 0.14));
            fork.spheres.push_back(hard(k_fork_lower, side, 1.9, 1.64, 0.14));
        }
        fork.spheres.push_back(hard(k_fork_lower, 0, 2.45, 1.05, 0.25));
        shapes.push_back(fork);
    }
    // Swingarm: both arms from the pivot to the axle, and the chain guide below.
    {
        StockShape arm{"generic_swingarm.shp", {}};
        for (double side : {-0.34, 0.34}) {
            arm.spheres.push_back(hard(k_swingarm, side, 1.58, 4.2, 0.16));
            arm.spheres.push_back(hard(k_swingarm, side, 1.34, 5.0, 0.16));
            arm.spheres.push_back(hard(k_swingarm, side, 1.1, 5.85, 0.16));
        }
        arm.spheres.push_back(hard(k_swingarm, 0.3, 1.12, 4.7, 0.16));
        shapes.push_back(arm);
    }
    shapes.push_back(StockShape{"front_wheel.shp", tyre(0.833333, 0.333333)});
    shapes.push_back(StockShape{"rear_wheel.shp", tyre(0.75, 0.333333)});
    // Rider, seated and leaning forward: helmet, chest, shoulders, belly, hips, thighs and knees
    // (gripping the tank) and elbows. The feet on the pegs belong to the bike's footpeg spheres.
    shapes.push_back(
        StockShape{"generic_rider.shp",
                   {soft(k_rider, 0, 5.75, 3.2, 0.45), soft(k_rider, 0, 5.05, 3.55, 0.5),
                    soft(k_rider, -0.556, 5.08, 3.465, 0.28), soft(k_rider, 0.556, 5.08, 3.465, 0.28),
                    soft(k_rider, 0, 4.45, 4.0, 0.5), soft(k_rider, 0, 3.7, 4.5, 0.5),
                    soft(k_rider, -0.5, 3.55, 3.8, 0.3), soft(k_rider, 0.5, 3.55, 3.8, 0.3),
                    soft(k_rider, -0.55, 3.3, 3.2, 0.25), soft(k_rider, 0.55, 3.3, 3.2, 0.25),
                    soft(k_rider, -0.9, 4.55, 3.2, 0.2), soft(k_rider, 0.9, 4.55, 3.2, 0.2)}});
    return shapes;
}

std::string shape_text(const StockShape& shape) {
    std::string text = format_text("%d\n", int(shape.spheres.size()));
    for (const ShapeSphere& s : shape.spheres)
        text += format_text("%.4f %.4f %.4f %.4f %.3f %.0f %.0f\n", s.x, s.y, s.z, s.radius, s.friction,
                            s.stiffness, s.damping);
    return text;
}
