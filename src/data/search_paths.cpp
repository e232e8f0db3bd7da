#include "data/search_paths.h"

#include "platform/log.h"
#include "platform/os.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <set>
#include <strings.h>
#include <utility>

namespace {

struct SearchState {
    bool roots_built = false;
    std::vector<std::string> roots;
    bool index_built = false;
    std::vector<DataIndexEntry> index;
    std::vector<std::string> names;
};

SearchState g_search;

void build_roots() {
    g_search.roots_built = true;
    g_search.roots.clear();
    std::string user = os_user_data_folder();
    if (!user.empty()) {
        std::string home = path_join(user.c_str(), "/Korvane/");
        if (!home.empty()) g_search.roots.push_back(home);
    }
    // An empty KV_HOME names no folder: treating it as "" + "/" would make the file-system root a
    // data folder, so it counts as unset.
    const char* kv_home = getenv("KV_HOME");
    if (kv_home && kv_home[0]) {
        g_search.roots.push_back(path_join(kv_home, "/"));
    } else {
        std::string exe = os_executable_folder();
        if (!exe.empty()) g_search.roots.push_back(path_join(exe.c_str(), "/"));
    }
}

bool name_less(const DataIndexEntry& a, const DataIndexEntry& b) {
    int c = strcasecmp(a.name.c_str(), b.name.c_str());
    if (c != 0) return c < 0;
    if (a.source != b.source) return a.source < b.source;
    // Same name and source (names differing only in case inside one root): order by the exact
    // bytes so every run builds the same index.
    c = strcmp(a.name.c_str(), b.name.c_str());
    if (c != 0) return c < 0;
    if (a.path != b.path) return a.path < b.path;
    return a.offset < b.offset;
}

using FolderId = std::pair<uint64_t, uint64_t>;

// Lists a folder recursively. Each folder is entered once per listing, so symbolic-link loops end.
void list_files(const std::string& folder, size_t root_length, int source, std::set<FolderId>& seen) {
    FolderId id{};
    if (!os_folder_identity(folder, id.first, id.second) || !seen.insert(id).second) return;
    std::vector<FolderEntry> entries;
    if (!os_list_folder(folder, entries)) return;
    std::string base = folder;
    while (base.size() > 1 && base.back() == '/') base.pop_back();
    for (const FolderEntry& e : entries) {
        std::string full = base + "/" + e.name;
        if (e.is_folder) {
            list_files(full, root_length, source, seen);
        } else if (full.size() > root_length) {
            g_search.index.push_back(DataIndexEntry{full, full.substr(root_length), 0, e.size, source});
        }
    }
}

bool ends_with_case(const std::string& s, const char* suffix) {
    size_t n = strlen(suffix);
    return s.size() >= n && strcasecmp(s.c_str() + s.size() - n, suffix) == 0;
}

} // namespace

std::string path_join(const char* a, const char* b) {
    if (!a || !b) return std::string();
    std::string joined = std::string(a) + b;
    std::string out;
    out.reserve(joined.size());
    for (char c : joined) {
        if (c == '\\') c = '/';
        if (c == '/' && !out.empty() && out.back() == '/') continue;
        out.push_back(c);
    }
    return out;
}

const char* search_root(int i) {
    if (!g_search.roots_built) build_roots();
    if (i < 0 || i >= static_cast<int>(g_search.roots.size())) return nullptr;
    return g_search.roots[static_cast<size_t>(i)].c_str();
}

int search_root_count() {
    if (!g_search.roots_built) build_roots();
    return static_cast<int>(g_search.roots.size());
}

void make_folders_for(const char* path) {
    size_t length = strlen(path);
    if (length >= 1024) return;
    char buffer[1024];
    memcpy(buffer, path, length + 1);
    for (size_t i = 0; i < length; ++i) {
        if (buffer[i] != '/') continue;
        if (i > 0) {
            buffer[i] = 0;
            os_make_folder(buffer);
            buffer[i] = '/';
        }
        while (i + 1 < length && buffer[i + 1] == '/') ++i;
    }
}

bool data_index_build() {
    if (g_search.index_built) return true;
    g_search.index_built = true;
    g_search.index.clear();
    int roots = search_root_count();
    for (int r = 0; r < roots; ++r) {
        std::set<FolderId> seen;
        std::string root = search_root(r);
        list_files(root, root.size(), r, seen);
    }
    std::sort(g_search.index.begin(), g_search.index.end(), name_less);

    // Archives are read in index order; the k-th archive met ranks after every loose file.
    size_t loose = g_search.index.size();
    int archive = 0;
    for (size_t i = 0; i < loose; ++i) {
        const DataIndexEntry& e = g_search.index[i];
        if (e.name.size() < 5 || !ends_with_case(e.name, ".saf")) continue;
        std::string archive_path = e.path; // copy: the vector may grow while we append
        saf_read_entries(archive_path, roots + archive, g_search.index);
        ++archive;
    }
    std::sort(g_search.index.begin(), g_search.index.end(), name_less);

    g_search.names.clear();
    for (const DataIndexEntry& e : g_search.index) {
        if (!g_search.names.empty() && strcasecmp(g_search.names.back().c_str(), e.name.c_str()) == 0) continue;
        g_search.names.push_back(e.name);
    }
    return true;
}

int data_index_find(const char* name) {
    data_index_build();
    const auto& index = g_search.index;
    size_t lo = 0, hi = index.size();
    while (lo < hi) {
        size_t mid = (lo + hi) / 2;
        if (strcasecmp(index[mid].name.c_str(), name) < 0)
            lo = mid + 1;
        else
            hi = mid;
    }
    if (lo < index.size() && strcasecmp(index[lo].name.c_str(), name) == 0) return static_cast<int>(lo);
    return -1;
}

const DataIndexEntry* data_index_entry(int i) {
    if (i < 0 || i >= static_cast<int>(g_search.index.size())) return nullptr;
    return &g_search.index[static_cast<size_t>(i)];
}

int data_index_count() {
    data_index_build();
    return static_cast<int>(g_search.index.size());
}

const std::vector<std::string>& data_file_names() {
    data_index_build();
    return g_search.names;
}

bool data_index_entry_text(int i, char* buffer, int size) {
    const DataIndexEntry* e = data_index_entry(i);
    if (!e || size <= 0) return false;
    snprintf(buffer, static_cast<size_t>(size), "%s -> %s", e->name.c_str(), e->path.c_str());
    return true;
}

void open_home_folder() {
    const char* home = search_root(0);
    if (!home) return;
    make_folders_for(home);
    std::string folder = home;
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    if (!os_open_in_file_browser(folder.c_str())) log_printf("Can't open the file browser for %s\n", folder.c_str());
}

void search_paths_reset() { g_search = SearchState{}; }
