#pragma once
// Falls, crashes and recovery: when a crash starts, the crash counter that times the episode, the
// ropes that hold the tumbling rider to the bars and later pull it back onto the seat, the rider's
// feet (drawn by the rider model, and settling on the ground while crashed), and the realign aid
// that stands a fallen-over bike up and turns it towards the course.
#include <ode/ode.h>

#include <cstdint>

struct Rider;

constexpr int k_knockout_entries = 16;
constexpr int k_crash_counter_start = 512; // plus the knockout ticks of the crash

// A knockout entry is clamped to this range: the crash counter then starts between 1 and one hour
// of resting ticks, so every crashed rider is re-attached in the end.
constexpr int k_knockout_min = 1 - k_crash_counter_start;
constexpr int k_knockout_max = 128 * 3600;

// The knockout table: extra resting ticks before the remount pull, by crash number (the 16th entry
// serves every later crash). All 0 until the server replaces them.
extern int g_knockout[k_knockout_entries];
// Replaces the table (null: all 0); values are clamped so that a crash counter always starts above
// zero.
void knockout_set(const int values[k_knockout_entries]);
void knockout_reset();
// The crash counter a rider's next crash starts with, from its crash count (clamped like the table,
// so a table written directly cannot break the guarantee either).
int crash_counter_for(int crash_count);

// A soft rope between a point on body a and a point on body b (body coordinates, either body may be
// null for the world) of the given length: while the points are farther apart, one contact joint
// pulls them together for the next world step.
void rope(dBodyID a, const double point_a[3], dBodyID b, const double point_b[3], double length);

// The feet placed at foot_pose with the rider body's velocity at those points (a crash starts here).
void feet_start(Rider& rider);
// Detaches the rider hinge, starts both feet at the foot points with the rider body's velocity
// there, and sets the crash counter. Does nothing while crashed or while recovery_timer < 0.
void crash_start(Rider& rider);
// The crash thresholds' tolerance at a tick: 1.5, a third lower right after landing a long jump.
double crash_tolerance(const Rider& rider, int32_t tick);
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

// The target the realign aid turns a fallen bike towards, in world space. Returns false when there is
// none: the race is not running, the rider has passed no timing mark or has finished, or no path,
// line or gate gives a point. Replaceable for tests; realign_target_reset restores the course's.
using RealignTarget = bool (*)(const Rider& rider, double target[3]);
void realign_target_set(RealignTarget target);
void realign_target_reset();
bool realign_target_from_course(const Rider& rider, double target[3]);

// The realign-after-fall aid, called from the dab balance below walking speed. Returns true when it
// acted (the dab balance then ends its step).
bool realign_after_fall(Rider& rider);
