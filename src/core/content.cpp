#include "core/content.h"

#include "core/data_digests.h"
#include "data/search_paths.h"
#include "data/sha1.h"
#include "data/stream.h"
#include "platform/log.h"

#include <cstring>
#include <strings.h>

std::vector<TrackEntry> g_tracks;
std::vector<DemoEntry> g_demos;
int g_track_menu_choice = 0;

namespace {

bool ends_with(const std::string& s, const char* suffix) {
    size_t n = strlen(suffix);
    return s.size() >= n && s.compare(s.size() - n, n, suffix) == 0;
}

// The first line of "@folder/desc", or the folder when it cannot be read.
std::string track_display_name(const std::string& folder) {
    std::string desc = "@" + folder + "/desc";
    DataStream* s = stream_open(desc.c_str(), "rb");
    if (!s) return folder;
    std::string name;
    for (int c = stream_getc(s); c > 0 && c != '\r' && c != '\n'; c = stream_getc(s)) name.push_back(static_cast<char>(c));
    stream_close(s);
    return name;
}

} // namespace

void sort_tracks(std::vector<TrackEntry>& tracks) {
    for (size_t i = 0; i < tracks.size(); ++i)
        for (size_t j = i + 1; j < tracks.size(); ++j)
            if (strcasecmp(tracks[j].name.c_str(), tracks[i].name.c_str()) < 0) std::swap(tracks[i], tracks[j]);
}

void discover_content(int debug_level) {
    g_tracks.clear();
    g_demos.clear();
    for (const std::string& file : data_file_names()) {
        if (ends_with(file, "/terrain.hf") || ends_with(file, "/terrain.hf.gz")) {
            std::string folder = file.substr(0, file.rfind('/'));
            g_tracks.push_back(TrackEntry{folder, track_display_name(folder)});
        } else if (file.rfind("demos/", 0) == 0 && ends_with(file, ".kvdemo")) {
            size_t slash = file.rfind('/');
            std::string base = file.substr(slash + 1);
            size_t dot = base.rfind('.');
            g_demos.push_back(DemoEntry{file, dot == std::string::npos ? base : base.substr(0, dot)});
        }
    }
    sort_tracks(g_tracks);
    if (debug_level >= 1) {
        for (const TrackEntry& t : g_tracks) log_printf("%s -> %s\n", t.folder.c_str(), t.name.c_str());
        for (const DemoEntry& d : g_demos) log_printf("%s -> %s\n", d.path.c_str(), d.name.c_str());
    }
    // Seam: series files (".series") are parsed by the results layer.
}

int find_track(const std::string& name) {
    for (size_t i = 0; i < g_tracks.size(); ++i) {
        const std::string& folder = g_tracks[i].folder;
        if (folder == name || folder == "tracks/" + name) return static_cast<int>(i);
    }
    return -1;
}

bool game_data_present() {
    for (int r = 0; search_root(r); ++r) {
        std::string path = std::string(search_root(r)) + "zzzz.saf";
        char digest[41];
        if (sha1_of_file(path.c_str(), 1048576, digest) && strcmp(digest, k_game_data_digest) == 0) return true;
    }
    return false;
}
