#pragma once
// Running the simulation harness as a program and reading its JSON lines.
#include <sys/wait.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "test_support.h"

struct SimRun {
    int status;                     // exit status, -1 when it did not exit normally
    std::vector<std::string> lines; // standard output, one entry per line without its line feed
    std::string err;                // standard error
};

// Runs build/korvane-sim with the shipped data and the given arguments.
inline SimRun run_sim(const std::string& args) {
    TempFolder tmp;
    std::string err_path = tmp / "err.txt";
    std::string command =
        "KV_HOME='" + build_dir() + "' '" + build_dir() + "/korvane-sim' " + args + " 2>'" + err_path + "'";
    SimRun run{-1, {}, {}};
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return run;
    char buffer[4096];
    while (fgets(buffer, sizeof buffer, pipe)) {
        std::string line(buffer);
        if (!line.empty() && line.back() == '\n') line.pop_back();
        run.lines.push_back(line);
    }
    int status = pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.err = read_file(err_path);
    return run;
}

// The number after "key": in a JSON line (index picks an array element), NaN when absent.
inline double sim_field(const std::string& line, const std::string& key, int index = 0) {
    size_t at = line.find("\"" + key + "\":");
    if (at == std::string::npos) return NAN;
    at += key.size() + 3;
    if (line[at] == '[') ++at;
    for (int i = 0; i < index; ++i) at = line.find(',', at) + 1;
    return strtod(line.c_str() + at, nullptr);
}
