#pragma once
// The default track's course: a closed centre line built from straights and arcs, with the
// half-width of the riding surface and the features (jumps, whoops) laid along it. The terrain
// generator shapes the ground from it; timing gates, the start gate and trackside objects are
// placed along it too.
//
// Coordinates are the terrain's: x and z in feet on the ground, y up. A heading h points along
// (cos h, sin h) in (x, z); the rider's right is (-sin h, cos h). Turns are signed: positive is a
// left turn as the rider sees it.
#include <string>
#include <vector>

enum class FeatureKind { None, Tabletop, Double, StepUp, Whoops };

struct CourseFeature {
    FeatureKind kind;
    double start;  // distance along the centre line where the feature begins (feet)
    double length; // feet along the centre line
};

struct CoursePoint {
    double x, z;      // position
    double dx, dz;    // unit direction of travel
    double s;         // distance from the start of the lap
    double curvature; // signed, 1/feet, positive turning left
    double half_width;
};

struct Course {
    std::string name;
    std::vector<CoursePoint> points; // spaced `spacing` apart, closed: the last joins the first
    double spacing;
    double length; // one lap along the centre line
    std::vector<CourseFeature> features;
    double gate_s;     // the start gate's line across the track
    double gate_width; // room across the start pad
    int corner_count;  // corners of radius 120 ft or less turning at least 60 degrees
};

// Builds the tarnwick course (deterministic).
Course course_tarnwick();

// Point at distance s (wrapped into the lap), interpolated between the stored points.
CoursePoint course_at(const Course& course, double s);
// Height of the features above the track bed at distance s (0 outside any feature).
double course_feature_height(const Course& course, double s);
// Height of one feature's profile at u feet from its start.
double feature_profile(FeatureKind kind, double u);
// Length of a feature's profile in feet.
double feature_length(FeatureKind kind);
const char* feature_name(FeatureKind kind);

// Estimated lap time at race pace in seconds: a speed profile limited by cornering grip, the
// features, acceleration and braking.
double course_lap_time(const Course& course);
