#include "sim/physics_world.h"

#include <cstdio>

#include "core/main_loop.h"
#include "platform/log.h"

PhysicsWorld g_physics{};

namespace {

bool g_ode_started = false;

void log_ode_line(const char* kind, int number, const char* format, va_list args) {
    char text[512];
    vsnprintf(text, sizeof text, format, args);
    log_printf("ODE %s %d: %s\n", kind, number, text);
}

void on_ode_message(int number, const char* format, va_list args) {
    log_ode_line("message", number, format, args);
}
void on_ode_debug(int number, const char* format, va_list args) {
    log_ode_line("debug", number, format, args);
}
void on_ode_error(int number, const char* format, va_list args) {
    log_ode_line("error", number, format, args);
}

} // namespace

bool world_create() {
    if (g_physics.world) return true;
    dSetMessageHandler(on_ode_message);
    dSetDebugHandler(on_ode_debug);
    dSetErrorHandler(on_ode_error);
    if (!g_ode_started) {
        if (!dInitODE2(0)) {
            log_printf("The physics library could not start\n");
            return false;
        }
        g_ode_started = true;
    }
    g_physics.world = dWorldCreate();
    dWorldSetGravity(g_physics.world, 0, -32, 0);
    g_physics.contact_group = dJointGroupCreate(0);
    g_physics.steps = 0;
    return true;
}

void world_step() {
    if (!g_physics.world) return;
    dWorldStep(g_physics.world, k_tick_length);
    dJointGroupEmpty(g_physics.contact_group);
    ++g_physics.steps;
}

void world_destroy() {
    if (!g_physics.world) return;
    dJointGroupDestroy(g_physics.contact_group);
    dWorldDestroy(g_physics.world);
    g_physics = PhysicsWorld{};
}
