#pragma once
// Bike setup files: the bike-setup keys of the settings registry, read and written as key=value
// lines under "@setups/" in the home folder, in the same form as the configuration file.
#include <string>
#include <vector>

struct DataStream;
struct SetupMenu;

// The longest setup name, in bytes.
constexpr int k_setup_name_max = 200;

// The bike-setup reader: sets one setup key and returns true, or returns false for any other key.
// "bike" takes the old names of four models, and a matched bike resets the bike graphics to its
// first entry; "stability" also applies the stability level.
bool setup_read_line(const char* key, const char* value);
// Writes the bike-setup keys in order. False when a write failed.
bool setup_write(DataStream* stream);

// The data-relative name "setups/<name>" of a setup, with trailing white space removed from the
// name. A name that is empty, begins with ".", holds "/", "\\" or a control character, or is longer
// than k_setup_name_max is refused with the message line "Bad setup name '<name>'"; false then.
bool setup_file_name(const char* name, std::string& relative);
// Reads a setup file with the setup reader only, then hands the setup to the simulation's setup
// record. False when the name is refused or the file cannot be opened (nothing is changed then).
bool setup_file_read(const char* name);
// Writes the setup file through a temporary file renamed over the old one. False (with a message
// line) when the name is refused or the file cannot be written; the old file is kept then.
bool setup_file_write(const char* name);
// The names of the setups found under "setups/" in the search roots and the data index, sorted and
// without duplicates; names the readers would refuse are left out.
std::vector<std::string> setup_files_list();

// Makes the collected texture variant lists (render/texture_manager.h) the options of the four
// riding-gear choices, keeping the texts already chosen where the lists hold them.
void setup_texture_options_from_choices();
// After the bike changes: the bike graphics list is rebuilt for the bike's texture prefix and its
// first entry chosen.
void setup_bike_chosen();

// Copies the bike-setup settings into the simulation's setup record.
void setup_menu_from_settings(SetupMenu& menu);
