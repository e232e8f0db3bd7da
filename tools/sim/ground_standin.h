#pragma once
// The harness's ground: a terrain (generated flat or sloped, or a shipped track) and a stand-in for
// tyre contact until the full tyre-terrain contact exists. The stand-in touches each tyre's ring at
// its lowest point against the ground under it, with the tyre's progressive softness and a fixed
// friction of 1; no other part of the bike or the rider touches the ground.
#include "sim/rider.h"
#include "track/terrain.h"

// A square terrain of 2^size_log2 tiles per side (cells of 1.25 ft) whose height falls by
// tan(grade) per foot of z: grade > 0 rises towards -z, the way a bike faces when built.
void standin_make_terrain(Terrain& terrain, int size_log2, double grade);

// Ground height and unit up-normal under a point.
double standin_ground_height(const Terrain& terrain, double x, double z);
void standin_ground_normal(const Terrain& terrain, double x, double z, double n[3]);

// Creates this tick's contact joints for both tyres of a rider and fills their wheel records.
// Returns how many tyres touch.
int standin_tyre_contacts(const Terrain& terrain, Rider& rider);

// The load a tyre carried in the last step (lbf along the contact normal), 0 when not touching.
double standin_tyre_load(const WheelRecord& wheel);
