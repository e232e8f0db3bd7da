#pragma once
// Operating-system services for the rest of the program: folders, files, the executable's location,
// the desktop's file browser, memory size and message boxes.
#include <cstdint>
#include <string>
#include <vector>

// The per-user data folder: $XDG_DATA_HOME, else $HOME/.local/share. Empty when neither is usable.
std::string os_user_data_folder();
// The folder holding the running executable, without a trailing "/". Empty when unknown.
std::string os_executable_folder();
// Creates one folder; an existing folder is no error. Returns true when the folder exists afterwards.
bool os_make_folder(const char* path);

struct FolderEntry {
    std::string name;
    bool is_folder;
    int64_t size;
};
// Lists a folder's entries (without "." and ".."), following symbolic links. Entries whose
// attributes cannot be read are skipped. Returns false when the folder cannot be opened.
bool os_list_folder(const std::string& path, std::vector<FolderEntry>& out);
// A stable identity for a folder (device and inode), so recursive listings can detect link loops.
bool os_folder_identity(const std::string& path, uint64_t& device, uint64_t& inode);
bool os_file_exists(const char* path);

// Asks the desktop to show a folder in its file browser (xdg-open, detached). Returns whether the
// request could be started.
bool os_open_in_file_browser(const char* path);
// Total physical memory in bytes, 0 when unknown.
uint64_t os_physical_memory();

// A modal message box with one OK button; with no display the text goes to standard error.
void message_box(const char* title, const char* format, ...) __attribute__((format(printf, 2, 3)));
