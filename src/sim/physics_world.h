#pragma once
// The one physics world of the run: gravity 32 ft/s^2 down the y axis, the contact group whose joints
// (contacts and per-step motors) live for exactly one step, and the exact stepper at one tick.
#include <ode/ode.h>

struct PhysicsWorld {
    dWorldID world;
    dJointGroupID contact_group;
    long long steps; // world steps taken since creation
};

extern PhysicsWorld g_physics;

// Creates the world and the contact group and routes the physics library's messages to the log.
// Does nothing when the world already exists. Returns false only if the library cannot start.
bool world_create();
// One step of 1/128 s, then empties the contact group.
void world_step();
// Destroys the contact group and the world (and everything still in it).
void world_destroy();
