#include "bench_support.h"

#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <filesystem>

#include "data/search_paths.h"

std::string bench_build_folder() {
    char path[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0) return ".";
    path[n] = 0;
    std::string exe(path);
    std::string folder = exe.substr(0, exe.find_last_of('/'));
    return folder.substr(0, folder.find_last_of('/'));
}

void bench_use_build_data() {
    static bool done = false;
    if (done) return;
    done = true;
    static char home[] = "/tmp/kvbench-XXXXXX";
    if (mkdtemp(home)) {
        setenv("HOME", home, 1);
        setenv("XDG_DATA_HOME", home, 1);
        atexit([] {
            std::error_code ec;
            std::filesystem::remove_all(home, ec);
        });
    }
    setenv("KV_HOME", bench_build_folder().c_str(), 1);
    search_paths_reset();
}
