#include "platform/options.h"

#include "platform/log.h"

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

bool g_options_read = false;
std::string g_options_text;

// The text after "[name:" in the options, or null when the setting is absent.
const char* option_find(const char* name) {
    if (!g_options_read) {
        const char* env = getenv("VORL_OPTIONS");
        g_options_text = env ? env : "";
        g_options_read = true;
    }
    std::string key = "[";
    key.append(name, strnlen(name, 60));
    key += ":";
    size_t at = g_options_text.find(key);
    if (at == std::string::npos) return nullptr;
    return g_options_text.c_str() + at + key.size();
}

} // namespace

int option_flag(const char* name, int default_value) {
    const char* value = option_find(name);
    if (!value) return default_value;
    if (strncmp(value, "yes]", 4) == 0 || strncmp(value, "on]", 3) == 0) return 1;
    if (strncmp(value, "no]", 3) == 0 || strncmp(value, "off]", 4) == 0) return 0;
    log_printf("unrecognized setting for %s\n", name);
    return default_value;
}

long option_number(const char* name, long default_value) {
    const char* value = option_find(name);
    if (!value) return default_value;
    char* end = nullptr;
    long number = strtol(value, &end, 10);
    if (end == value) {
        log_printf("unrecognized setting for %s\n", name);
        return default_value;
    }
    return number;
}

void options_reset() {
    g_options_read = false;
    g_options_text.clear();
}
