#include "core/settings.h"

Settings g_settings{};

void server_history_push(const std::string& name) {
    if (name.empty() || name == g_settings.server_history[0]) return;
    for (int i = k_server_history - 1; i > 0; --i) g_settings.server_history[i] = g_settings.server_history[i - 1];
    g_settings.server_history[0] = name;
}
