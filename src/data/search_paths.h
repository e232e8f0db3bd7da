#pragma once
// Where data lives. Data-relative names ("@name") resolve against the search roots: the home folder
// (receives every write) and then the data folder. One sorted index lists every file below the roots
// and inside their ".saf" archives; it is built once per run.
#include <cstdint>
#include <string>
#include <vector>

constexpr int k_max_search_roots = 2;

struct DataIndexEntry {
    std::string path; // file-system path of the loose file or of the archive holding the entry
    std::string name; // data-relative name, "/" separated, no leading "/"
    int64_t offset;   // byte offset of the data inside path
    int64_t size;     // stored size in bytes
    int source;       // rank, lower wins: root number for loose files, roots + k for the k-th archive
};

// Joins two texts, turning every "\\" into "/" and collapsing runs of "/". Empty when either is null.
std::string path_join(const char* a, const char* b);
// The i-th root, ending in "/", or null when out of range.
const char* search_root(int i);
int search_root_count();
// Creates every folder along a path (not the last component). Paths of 1024 characters or more are
// left alone.
void make_folders_for(const char* path);

// Builds the index once; false only when the name list could not be made.
bool data_index_build();
// Position of the best entry for a name (case ignored; lowest source), or -1.
int data_index_find(const char* name);
const DataIndexEntry* data_index_entry(int i);
int data_index_count();
// The distinct names of the index in index order (case-insensitive duplicates once).
const std::vector<std::string>& data_file_names();
// "name -> path" of entry i cut to the buffer; false when i is out of range.
bool data_index_entry_text(int i, char* buffer, int size);
// Opens the home folder in the desktop's file browser, creating it first. Does nothing without one.
void open_home_folder();

// Reads the entries of one ".saf" archive. Appends them with the given source and returns true, or
// returns false (appending nothing) when the archive cannot be read or is malformed.
bool saf_read_entries(const std::string& archive_path, int source, std::vector<DataIndexEntry>& out);

// Forgets roots and index so the next call builds them again from the environment (tests only).
void search_paths_reset();
