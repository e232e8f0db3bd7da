#include "test_support.h"

#include "data/search_paths.h"
#include "platform/log.h"
#include "platform/options.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <sstream>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

extern char** environ;

TempFolder::TempFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "kvtest-XXXXXX").string();
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back(0);
    const char* made = mkdtemp(buffer.data());
    path = made ? made : "";
}

TempFolder::~TempFolder() {
    std::error_code ec;
    if (!path.empty()) std::filesystem::remove_all(path, ec);
}

std::string TempFolder::operator/(const std::string& name) const { return path + "/" + name; }

ScopedEnv::ScopedEnv(const char* n, const char* value) : name(n) {
    const char* current = getenv(n);
    had = current != nullptr;
    if (had) old = current;
    if (value)
        setenv(n, value, 1);
    else
        unsetenv(n);
}

ScopedEnv::~ScopedEnv() {
    if (had)
        setenv(name.c_str(), old.c_str(), 1);
    else
        unsetenv(name.c_str());
}

TestHome::TestHome()
    : env_home("HOME", home.path.c_str()), env_xdg("XDG_DATA_HOME", (home.path + "/share").c_str()),
      env_kv("KV_HOME", data.path.c_str()) {
    search_paths_reset();
    log_reset();
    options_reset();
}

TestHome::~TestHome() {
    search_paths_reset();
    log_reset();
    options_reset();
}

std::string TestHome::home_root() const { return home.path + "/share/Korvane/"; }
std::string TestHome::data_root() const { return data.path + "/"; }

void write_file(const std::string& path, const std::string& bytes) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream out(path, std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

bool file_exists(const std::string& path) { return std::filesystem::exists(path); }

std::string build_dir() { return KV_BUILD_DIR; }

namespace {
double now_seconds() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<double>(ts.tv_sec) + ts.tv_nsec * 1e-9;
}
} // namespace

RunResult run_korvane(const std::vector<std::string>& args, const std::vector<std::string>& env, double timeout) {
    return run_korvane_until(args, env, timeout, SIGTERM);
}

RunResult run_korvane_until(const std::vector<std::string>& args, const std::vector<std::string>& env, double timeout,
                            int stop_signal) {
    int out_pipe[2], err_pipe[2];
    RunResult result{-1, "", ""};
    if (pipe(out_pipe) != 0 || pipe(err_pipe) != 0) return result;
    std::string program = build_dir() + "/korvane";
    pid_t child = fork();
    if (child == 0) {
        dup2(out_pipe[1], 1);
        dup2(err_pipe[1], 2);
        close(out_pipe[0]);
        close(err_pipe[0]);
        int null_in = open("/dev/null", O_RDONLY);
        if (null_in >= 0) dup2(null_in, 0);
        // Headless drivers unless the test names others: a run from a shell without a display must
        // not add the system's complaints to the program's own standard error.
        setenv("SDL_VIDEODRIVER", "offscreen", 0);
        setenv("SDL_AUDIODRIVER", "dummy", 0);
        for (const std::string& e : env) putenv(strdup(e.c_str()));
        std::vector<char*> argv;
        argv.push_back(const_cast<char*>(program.c_str()));
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    close(out_pipe[1]);
    close(err_pipe[1]);
    double deadline = now_seconds() + timeout;
    bool out_open = true, err_open = true;
    bool terminated = false;
    while (out_open || err_open) {
        pollfd fds[2] = {{out_open ? out_pipe[0] : -1, POLLIN, 0}, {err_open ? err_pipe[0] : -1, POLLIN, 0}};
        int wait_ms = static_cast<int>((deadline - now_seconds()) * 1000);
        if (wait_ms <= 0) {
            // Ask politely first: the program shuts down normally on SIGTERM.
            if (!terminated) {
                kill(child, stop_signal);
                terminated = true;
                deadline = now_seconds() + 10;
                continue;
            }
            kill(child, SIGKILL);
            break;
        }
        if (poll(fds, 2, wait_ms) <= 0) continue;
        char buffer[4096];
        for (int i = 0; i < 2; ++i) {
            if (!(fds[i].revents & (POLLIN | POLLHUP))) continue;
            ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
            if (n <= 0) {
                (i == 0 ? out_open : err_open) = false;
            } else {
                (i == 0 ? result.out : result.err).append(buffer, static_cast<size_t>(n));
            }
        }
    }
    close(out_pipe[0]);
    close(err_pipe[0]);
    int status = 0;
    waitpid(child, &status, 0);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}
