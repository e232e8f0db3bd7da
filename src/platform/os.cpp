#include "platform/os.h"

#include <SDL.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

std::string os_user_data_folder() {
    const char* xdg = getenv("XDG_DATA_HOME");
    if (xdg && xdg[0] == '/') return xdg;
    const char* home = getenv("HOME");
    if (home && home[0]) return std::string(home) + "/.local/share";
    return std::string();
}

std::string os_executable_folder() {
    char buffer[4096];
    ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer);
    if (n <= 0 || n >= static_cast<ssize_t>(sizeof buffer)) return std::string();
    std::string path(buffer, static_cast<size_t>(n));
    size_t slash = path.rfind('/');
    if (slash == std::string::npos) return std::string();
    return path.substr(0, slash);
}

bool os_make_folder(const char* path) {
    if (mkdir(path, 0755) == 0) return true;
    struct stat st {};
    return errno == EEXIST && stat(path, &st) == 0 && S_ISDIR(st.st_mode);
}

bool os_list_folder(const std::string& path, std::vector<FolderEntry>& out) {
    DIR* dir = opendir(path.c_str());
    if (!dir) return false;
    std::string base = path;
    while (base.size() > 1 && base.back() == '/') base.pop_back();
    while (dirent* entry = readdir(dir)) {
        const char* name = entry->d_name;
        if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0))) continue;
        std::string full = base + "/" + name;
        struct stat st {};
        if (stat(full.c_str(), &st) != 0) continue;
        out.push_back(FolderEntry{name, S_ISDIR(st.st_mode), static_cast<int64_t>(st.st_size)});
    }
    closedir(dir);
    return true;
}

bool os_folder_identity(const std::string& path, uint64_t& device, uint64_t& inode) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) return false;
    device = static_cast<uint64_t>(st.st_dev);
    inode = static_cast<uint64_t>(st.st_ino);
    return true;
}

bool os_file_exists(const char* path) {
    struct stat st {};
    return stat(path, &st) == 0;
}

bool os_open_in_file_browser(const char* path) {
    // Detached twice over so no zombie is left and the game does not wait for the browser.
    const char* argv[] = {"xdg-open", path, nullptr};
    pid_t child = fork();
    if (child < 0) return false;
    if (child == 0) {
        pid_t grandchild = 0;
        int rc = posix_spawnp(&grandchild, "xdg-open", nullptr, nullptr, const_cast<char**>(argv), environ);
        _exit(rc == 0 ? 0 : 127);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

uint64_t os_physical_memory() {
    long pages = sysconf(_SC_PHYS_PAGES);
    long page_size = sysconf(_SC_PAGE_SIZE);
    if (pages <= 0 || page_size <= 0) return 0;
    return static_cast<uint64_t>(pages) * static_cast<uint64_t>(page_size);
}

void message_box(const char* title, const char* format, ...) {
    char text[1024];
    va_list args;
    va_start(args, format);
    vsnprintf(text, sizeof text, format, args);
    va_end(args);
    // SDL needs a real display for a box; offscreen and dummy drivers have none.
    const char* driver = getenv("SDL_VIDEODRIVER");
    bool headless = (driver && (SDL_strcasecmp(driver, "offscreen") == 0 || SDL_strcasecmp(driver, "dummy") == 0)) ||
                    (!getenv("DISPLAY") && !getenv("WAYLAND_DISPLAY"));
    if (headless || SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, title, text, nullptr) != 0) {
        fprintf(stderr, "%s: %s", title, text);
        size_t len = strlen(text);
        if (len == 0 || text[len - 1] != '\n') fputc('\n', stderr);
        fflush(stderr);
    }
}
