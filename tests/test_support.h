#pragma once
// Helpers shared by the tests: temporary folders, environment overrides, files and running the
// real program.
#include <string>
#include <vector>

// A fresh folder under the system's temporary folder, removed with everything in it at the end.
struct TempFolder {
    std::string path;
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    // path + "/" + name
    std::string operator/(const std::string& name) const;
};

// Sets (or, with a null value, unsets) an environment variable for the scope.
struct ScopedEnv {
    std::string name;
    bool had;
    std::string old;
    ScopedEnv(const char* name, const char* value);
    ~ScopedEnv();
};

// A test home: HOME, XDG_DATA_HOME and KV_HOME in temporary folders, with the search paths, the
// data index and the log reset before and after.
struct TestHome {
    TempFolder home;
    TempFolder data;
    ScopedEnv env_home, env_xdg, env_kv;
    TestHome();
    ~TestHome();
    std::string home_root() const; // the Korvane folder under XDG_DATA_HOME, ending in "/"
    std::string data_root() const; // KV_HOME, ending in "/"
};

void write_file(const std::string& path, const std::string& bytes);
std::string read_file(const std::string& path);
bool file_exists(const std::string& path);

// The build folder (program, data set).
std::string build_dir();

struct RunResult {
    int status;           // exit status, or -1 when killed by a signal
    std::string out, err; // standard output and error
};
// Runs the real program with arguments and extra environment ("NAME=value"); after timeout_seconds
// it is sent SIGTERM (a normal shutdown), and 10 s later SIGKILL.
RunResult run_korvane(const std::vector<std::string>& args, const std::vector<std::string>& env,
                      double timeout_seconds = 60);
// The same, ending the run with `stop_signal` (SIGINT, say) at the time limit.
RunResult run_korvane_until(const std::vector<std::string>& args, const std::vector<std::string>& env,
                            double timeout_seconds, int stop_signal);
