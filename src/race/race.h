#pragma once
// Rider slots and the race record.
#include <array>
#include <cstdint>

constexpr int k_max_riders = 160;

enum SlotKind { Local = 0, Replayed = 1, Robot = 2 };

struct Rider;

struct RiderSlot {
    Rider* rider;  // null when the slot is empty
    SlotKind kind;
};

struct Race {
    int32_t clock;          // race clock in ticks
    int32_t gate_drop_tick; // race clock value at which the start gate falls
    int minutes;
    int laps;
    bool track_loaded;      // a track is loaded (the terrain exists)
    bool time_trial;
};

extern std::array<RiderSlot, k_max_riders> g_slots;
extern int g_viewed_slot;
extern Race g_race;

// Empties every slot and the race record (tests and shutdown).
void race_reset_state();
