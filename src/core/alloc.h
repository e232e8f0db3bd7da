#pragma once
// The program's heap helpers. With the environment variable KV_CHECK_ALLOC present every block is
// recorded with a serial number, so double releases and leaks are reported on standard error.
#include <cstddef>

void* kv_alloc(size_t size);
void* kv_calloc(size_t count, size_t size);
void* kv_realloc(void* block, size_t size);
void kv_free(void* block);
// Allocates or ends the process through the out-of-memory exit.
void* alloc_or_die(size_t size);
// Prints "%p:%d\n" for every recorded block, oldest first, on standard error.
void allocation_report();
// Forgets the tracker's table and decision (tests).
void allocation_tracker_reset();
int allocation_tracker_count();

// Closes audio and the window when open, shows "Out of virtual memory" titled "Error", exits 1.
[[noreturn]] void out_of_memory();
// Hook that lets the platform close audio and the window before the out-of-memory exit.
void set_out_of_memory_cleanup(void (*cleanup)());

// Returns the stored copy of an equal string, storing a new copy when none exists. Never freed.
const char* intern(const char* text);

// Sets the process's working-set range from the physical memory; logs what it did.
void size_working_set();
// The range chosen for a given physical memory size; false when it is left alone.
bool working_set_range(unsigned long long physical, unsigned long long& minimum, unsigned long long& maximum);
