#pragma once
// The fixed files: the stock collision shapes every rider is built with. A client whose shapes
// differ from the server's would collide differently, so connecting needs the fingerprint of
// these files to be one of the accepted digests compiled into the program.

constexpr int k_fixed_file_count = 7;
// The files in the order they are fingerprinted (data-relative names).
extern const char* const k_fixed_files[k_fixed_file_count];

// Set by start-up from fixed_files_check; connecting to a server is refused without it.
extern bool g_fixed_files_ok;

// SHA-1 over the contents of the fixed files one after another, read through the data layer in
// 1024-byte blocks; a missing file is skipped. Writes 40 lower-case hexadecimal digits.
void fixed_files_digest(char text[41]);
// True when the fixed files' digest equals one of the accepted digests.
bool fixed_files_check();
