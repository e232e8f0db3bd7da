#pragma once
// Falls, crashes and recovery: when a crash starts, the crash counter that times the episode, the
// ropes that hold the tumbling rider to the bars and later pull it back onto the seat, the rider's
// feet (drawn by the rider model, and settling on the ground while crashed), and the realign aid
// that stands a fallen-over bike up and turns it towards the course.
#include <ode/ode.h>

struct Rider;

constexpr int k_knockout_entries = 16;
constexpr int k_crash_counter_start = 512; // plus the knockout ticks of the crash

// The knockout table: extra resting ticks before the remount pull, by crash number (the 16th entry
// serves every later crash). All 0 until the server replaces them.
extern int g_knockout[k_knockout_entries];
// Replaces the table; values are clamped so that a crash counter always starts above zero.
void knockout_set(const int values[k_knockout_entries]);
void knockout_reset();

// A soft rope between a point on body a and a point on body b (body coordinates, either body may be
// null for the world) of the given length: while the points are farther apart, one contact joint
// pulls them together for the next world step.
void rope(dBodyID a, const double point_a[3], dBodyID b, const double point_b[3], double length);

// Detaches the rider hinge, starts both feet at the foot points with the rider body's velocity
// there, and sets the crash counter. Does nothing while crashed or while recovery_timer < 0.
void crash_start(Rider& rider);
// Crash detection while riding: separation speed and felt acceleration against the tolerance.
void crash_check(Rider& rider);
// One tick of a crash in progress (counter > 0): ropes, resting countdown, remount pull, re-attach.
void crash_update(Rider& rider);
// Pose blend decay and the feet: on the pegs or dabbing while riding, particles while crashed.
void feet_update(Rider& rider);

// The two foot points in world space and their ground weights (0 on the peg, 1 on the ground).
struct FootPose {
    double foot[2][3];
    double weight[2];
};
FootPose foot_pose(const Rider& rider);

// The realign-after-fall aid, called from the dab balance below walking speed. Returns true when it
// acted (the dab balance then ends its step).
bool realign_after_fall(Rider& rider);
