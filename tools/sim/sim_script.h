#pragma once
// Scripted control inputs for the simulation harness: a text of lines "<seconds> name=value ...",
// each setting controls from that time on (a control keeps its value until a later line changes it).
// Names: steer, throttle, front_brake, rear_brake, shift, clutch, sit_dab, back_up, lean. A "#"
// starts a comment; blank lines are skipped.
#include <string>
#include <vector>

#include "core/main_loop.h"

struct ScriptStep {
    double time;
    int control; // ControlInput
    float value;
};

struct SimScript {
    std::vector<ScriptStep> steps; // in time order
};

// Parses a script. On a bad line returns false with "line N: reason" in error.
bool sim_script_parse(const std::string& text, SimScript& script, std::string& error);
// The control values in effect at a time (all zero before the first line).
void sim_script_inputs_at(const SimScript& script, double time, float inputs[ControlCount]);
// The control index of a name, or -1.
int sim_control_by_name(const char* name);
