#include "sim_script.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <sstream>

namespace {

const char* const k_control_names[ControlCount] = {"steer",  "throttle", "front_brake", "rear_brake", "shift",
                                                   "clutch", "sit_dab",  "back_up",     "lean"};

bool parse_number(const std::string& text, double& out) {
    if (text.empty()) return false;
    char* end = nullptr;
    out = strtod(text.c_str(), &end);
    return end && *end == 0 && std::isfinite(out);
}

} // namespace

int sim_control_by_name(const char* name) {
    for (int i = 0; i < ControlCount; ++i)
        if (strcmp(name, k_control_names[i]) == 0) return i;
    return -1;
}

bool sim_script_parse(const std::string& text, SimScript& script, std::string& error) {
    script.steps.clear();
    std::istringstream in(text);
    std::string line;
    int number = 0;
    double last_time = -1;
    while (std::getline(in, line)) {
        ++number;
        size_t hash = line.find('#');
        if (hash != std::string::npos) line.resize(hash);
        std::istringstream words(line);
        std::string word;
        if (!(words >> word)) continue;
        double time = 0;
        if (!parse_number(word, time) || time < 0) {
            error = "line " + std::to_string(number) + ": '" + word + "' is not a time in seconds";
            return false;
        }
        if (time < last_time) {
            error = "line " + std::to_string(number) + ": times must not go backwards";
            return false;
        }
        last_time = time;
        bool any = false;
        while (words >> word) {
            size_t eq = word.find('=');
            double value = 0;
            int control = eq == std::string::npos ? -1 : sim_control_by_name(word.substr(0, eq).c_str());
            if (control < 0) {
                error = "line " + std::to_string(number) + ": '" + word + "' is not control=value";
                return false;
            }
            if (!parse_number(word.substr(eq + 1), value)) {
                error = "line " + std::to_string(number) + ": bad value in '" + word + "'";
                return false;
            }
            script.steps.push_back(ScriptStep{time, control, static_cast<float>(value)});
            any = true;
        }
        if (!any) {
            error = "line " + std::to_string(number) + ": a time without any control=value";
            return false;
        }
    }
    return true;
}

void sim_script_inputs_at(const SimScript& script, double time, float inputs[ControlCount]) {
    std::fill(inputs, inputs + ControlCount, 0.0f);
    for (const ScriptStep& step : script.steps) {
        if (step.time > time) break;
        inputs[step.control] = step.value;
    }
}
