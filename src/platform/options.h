#pragma once
// Platform options from the environment variable VORL_OPTIONS: settings written as "[name:value]"
// anywhere in its text; the first occurrence of a name wins.

// "yes]" or "on]" give 1, "no]" or "off]" give 0; anything else logs "unrecognized setting for %s\n"
// and gives the default, as does an absent setting (without the log line).
int option_flag(const char* name, int default_value);
// The decimal number after the name (strtol rules); without digits logs the same line and gives the
// default.
long option_number(const char* name, long default_value);
// Re-reads VORL_OPTIONS on the next call (tests).
void options_reset();
