#include "core/alloc.h"

#include "platform/log.h"
#include "platform/os.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/resource.h>

namespace {

constexpr int k_max_tracked = 1 << 20;

struct TrackedBlock {
    void* block;
    int serial;
};

enum class Tracking { Undecided, On, Off };
Tracking g_tracking = Tracking::Undecided;
TrackedBlock* g_table = nullptr; // k_max_tracked entries, allocated with the C library
int g_count = 0;
int g_serial = 0;
void (*g_cleanup)() = nullptr;

bool tracking() {
    if (g_tracking == Tracking::Undecided) {
        g_tracking = getenv("KV_CHECK_ALLOC") ? Tracking::On : Tracking::Off;
        if (g_tracking == Tracking::On) {
            g_table = static_cast<TrackedBlock*>(malloc(sizeof(TrackedBlock) * k_max_tracked));
            if (!g_table) g_tracking = Tracking::Off;
        }
    }
    return g_tracking == Tracking::On;
}

void record(void* block) {
    if (g_count >= k_max_tracked) {
        fprintf(stderr, "Too many allocations to check!\n");
        g_tracking = Tracking::Off;
        return;
    }
    g_table[g_count++] = TrackedBlock{block, g_serial++};
}

// Removes the newest record of a block; false (with the report line) when it is not recorded.
bool forget(void* block) {
    for (int i = g_count - 1; i >= 0; --i) {
        if (g_table[i].block == block) {
            memmove(&g_table[i], &g_table[i + 1], sizeof(TrackedBlock) * static_cast<size_t>(g_count - i - 1));
            --g_count;
            return true;
        }
    }
    fprintf(stderr, "Allocation not found for %p!\n", block);
    return false;
}

} // namespace

void* kv_alloc(size_t size) {
    void* block = malloc(size);
    if (block && tracking()) record(block);
    return block;
}

void* kv_calloc(size_t count, size_t size) {
    void* block = calloc(count, size);
    if (block && tracking()) record(block);
    return block;
}

void* kv_realloc(void* block, size_t size) {
    if (!block) return kv_alloc(size);
    if (!tracking()) return realloc(block, size);
    // Find the record before the C library may free the block.
    int found = -1;
    for (int i = g_count - 1; i >= 0 && found < 0; --i)
        if (g_table[i].block == block) found = i;
    if (found < 0) {
        fprintf(stderr, "Allocation not found for %p!\n", block);
        return nullptr;
    }
    void* moved = realloc(block, size);
    if (moved && moved != g_table[found].block) {
        memmove(&g_table[found], &g_table[found + 1], sizeof(TrackedBlock) * static_cast<size_t>(g_count - found - 1));
        --g_count;
        record(moved);
    }
    return moved;
}

void kv_free(void* block) {
    if (!block) return;
    if (tracking() && !forget(block)) return;
    free(block);
}

void* alloc_or_die(size_t size) {
    void* block = kv_alloc(size ? size : 1);
    if (!block) out_of_memory();
    return block;
}

void allocation_report() {
    if (g_tracking != Tracking::On) return;
    for (int i = 0; i < g_count; ++i) fprintf(stderr, "%p:%d\n", g_table[i].block, g_table[i].serial);
}

void allocation_tracker_reset() {
    free(g_table);
    g_table = nullptr;
    g_tracking = Tracking::Undecided;
    g_count = 0;
    g_serial = 0;
}

int allocation_tracker_count() { return g_count; }

void set_out_of_memory_cleanup(void (*cleanup)()) { g_cleanup = cleanup; }

void out_of_memory() {
    if (g_cleanup) g_cleanup();
    message_box("Error", "Out of virtual memory");
    exit(1);
}

const char* intern(const char* text) {
    static const char** table = nullptr;
    static int count = 0;
    static int capacity = 0;
    for (int i = 0; i < count; ++i)
        if (strcmp(table[i], text) == 0) return table[i];
    size_t length = strlen(text) + 1;
    char* copy = static_cast<char*>(malloc(length));
    if (!copy) out_of_memory();
    memcpy(copy, text, length);
    if (count == capacity) {
        int grown = capacity ? capacity * 2 : 16;
        auto* bigger = static_cast<const char**>(realloc(table, sizeof(char*) * static_cast<size_t>(grown)));
        if (!bigger) return copy;
        table = bigger;
        capacity = grown;
    }
    table[count++] = copy;
    return copy;
}

bool working_set_range(unsigned long long physical, unsigned long long& minimum, unsigned long long& maximum) {
    const unsigned long long mib = 1024ull * 1024ull;
    if (physical < 64 * mib) return false;
    if (physical > 2048 * mib) physical = 2048 * mib;
    maximum = physical - 32 * mib;
    minimum = maximum < 1024 * mib ? maximum : 1024 * mib;
    return true;
}

void size_working_set() {
    unsigned long long minimum = 0, maximum = 0;
    if (!working_set_range(os_physical_memory(), minimum, maximum)) {
        log_printf("Working set left alone - less than 64 MB physical memory\n");
        return;
    }
    log_printf("Setting working set range to %u - %u\n", static_cast<unsigned>(minimum), static_cast<unsigned>(maximum));
    // Linux has no working-set range; the resident-set limit is the nearest equivalent. The kernel
    // accepts it without enforcing it, so this only records the intent.
    rlimit limit{};
    bool ok = getrlimit(RLIMIT_RSS, &limit) == 0;
    if (ok) {
        rlimit wanted = limit;
        wanted.rlim_cur = limit.rlim_max == RLIM_INFINITY || limit.rlim_max >= maximum ? maximum : limit.rlim_max;
        ok = setrlimit(RLIMIT_RSS, &wanted) == 0;
    }
    log_printf(ok ? "Working set successfully updated\n" : "Working set update failed\n");
}
