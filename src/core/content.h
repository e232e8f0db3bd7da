#pragma once
// Tracks and demos discovered from the data index at start-up.
#include <string>
#include <vector>

struct TrackEntry {
    std::string folder; // data-relative folder holding terrain.hf
    std::string name;   // display name: the first line of the folder's desc
};
struct DemoEntry {
    std::string path;
    std::string name;
};

extern std::vector<TrackEntry> g_tracks;
extern std::vector<DemoEntry> g_demos;
extern int g_track_menu_choice;

// Finds every track and demo in the data index (logging them with debug level 1 or more).
void discover_content(int debug_level);
// Orders tracks by display name, ignoring letter case (an exchange sort, as players expect).
void sort_tracks(std::vector<TrackEntry>& tracks);
// Index of the track whose folder equals the name ("tracks/<name>" or the name itself), or -1.
int find_track(const std::string& name);
// True when the stock archive in some search root carries the compiled-in digest.
bool game_data_present();
