#pragma once
// What the benchmarks share: the build folder they run from and its data set.
#include <string>

// The build folder: the benchmark program lives in its bench/ folder, the data set at its top.
std::string bench_build_folder();
// Points the search roots at the build folder's data set, with a throw-away home folder (removed at
// exit) so a run never reads or writes the user's own. Once per process; later calls do nothing.
void bench_use_build_data();
