#pragma once
// The configuration file "@config": key=value lines read once at start-up and written once at exit,
// in the registry's order (core/settings.h). Also the renderer parameters derived from the graphics
// settings, and the helpers the setup files share: the line reader and the safe file writer.
#include <string>

struct DataStream;
struct LaunchOptions;
struct Setting;
struct Settings;

// The longest line the readers take; the rest of a longer line is skipped, never read as a line of
// its own.
constexpr int k_config_line_size = 1024;

// Splits a line in place: the key is the text before the first "=", the value the text after it
// with every trailing carriage return and line feed removed. False for a line without "=".
bool config_split_line(char* line, const char** key, const char** value);

// Reads every line of a stream. With setup_only only the bike-setup keys are taken (setup files);
// otherwise each line goes to the setup reader first and then to the configuration keys. Unknown keys
// and lines without "=" are ignored.
void config_read_stream(DataStream* stream, bool setup_only);
// One configuration line; true when the key is known (setup or configuration).
bool config_read_line(const char* key, const char* value);

// Reads "@config". A missing or unreadable file leaves every setting as it is; false then.
bool config_read();
// Writes one key=value line; an unbound binding writes nothing, and a text value ends at a line
// break, so no value can add lines of its own. False when the write failed.
bool config_write_setting(DataStream* stream, const Setting& setting);
// Writes every written key in order (the setup block in its place, bindings at the end; an
// unbound control writes nothing). False when a write failed.
bool config_write_stream(DataStream* stream);
// Writes "@config" in the home folder through a temporary file renamed over the old one, so a
// failed or interrupted write leaves the previous file whole. A failure is reported as a message
// line (which is also logged). True when written.
bool config_write();

// Writes the home folder's file `relative` ("config", "setups/name") through a temporary file beside
// it: the writer fills the stream, the data is flushed to the disk, and the temporary file is renamed
// over the old one. On failure the temporary file is removed, the old file is kept, and
// "Can't write <what> '<path>': <reason>" becomes a message line. True when written.
bool home_file_write(const char* relative, bool (*writer)(DataStream*), const char* what);

// The renderer parameters derived from the graphics settings.
struct DerivedRenderParams {
    float ground_detail_scale = 0; // 0.125 / ground detail (at least 1, so detail 0 is the coarsest)
    int ground_texture_skip = 0;   // 10 - ground texture levels, 0..10
    int ground_texture_size = 128; // 32 << resolution index
    float lod_scale = 1;           // model level-of-detail scale
    float lod_bias = 0;            // model level-of-detail bias
    int texture_skip = 0;          // 10 - model texture detail, 0..10
    int texture_compression = 0;   // the "Compress Textures" index
    int roost_frequency = 0;       // integer part of the roost density
    int reflections = 0;           // the "Enable Reflections" index
};
extern DerivedRenderParams g_render_params;

DerivedRenderParams render_params_derive(const Settings& settings);
// Copies the parameters the command line can override into the launch options.
void render_params_apply(const DerivedRenderParams& params, LaunchOptions& launch);

// Start-up: the stability level for Stability 100 and the Compatibility graphics preset, before the
// configuration is read.
void config_startup_defaults();
// Start-up: reads the configuration, hands the bike setup to the simulation's setup record and the
// message line count to the message ring, and derives the renderer parameters into the launch
// options (the command line, parsed next, overrides them).
void config_load_at_startup(LaunchOptions& launch);
