#include "race/race.h"

std::array<RiderSlot, k_max_riders> g_slots{};
int g_viewed_slot = 0;
Race g_race{};

void race_reset_state() {
    g_slots.fill(RiderSlot{nullptr, Local});
    g_viewed_slot = 0;
    g_race = Race{};
}
