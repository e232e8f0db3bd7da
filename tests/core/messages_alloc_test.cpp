#include "core/alloc.h"
#include "core/messages.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

TEST(Messages, LongMessageIsCutButLoggedWhole) {
    TestHome home;
    messages_clear();
    std::string log = home.home.path + "/log.txt";
    ScopedEnv env("VORL_LOGFILE", log.c_str());
    std::string text(200, 'x');
    add_message(text.c_str());
    EXPECT_EQ(std::string(message_line(0)), std::string(127, 'x'));
    EXPECT_NE(read_file(log).find(text + "\n"), std::string::npos);
}

TEST(Messages, RingWrapsAndShownCountIsLimited) {
    messages_clear();
    g_message_lines = 5;
    for (int i = 0; i < 1001; ++i) add_messagef("line %d", i);
    EXPECT_STREQ(message_line(0), "line 1000");
    EXPECT_STREQ(message_line(999), "line 1");
    EXPECT_STREQ(g_messages.lines[0], "line 1000"); // the 1001st overwrote the first
    EXPECT_EQ(g_messages.shown, 5);
}

TEST(Messages, ExpiryHidesOneLineAtATime) {
    messages_clear();
    g_message_lines = 5;
    add_message("a");
    add_message("b");
    double deadline = g_messages.deadline;
    messages_expire(deadline - 0.1);
    EXPECT_EQ(g_messages.shown, 2);
    messages_expire(deadline + 0.1);
    EXPECT_EQ(g_messages.shown, 1);
    EXPECT_DOUBLE_EQ(g_messages.deadline, deadline + 5.1);
}

TEST(Progress, SpinnerAndLongestGap) {
    g_progress = ProgressState{};
    show_progress("first");
    show_progress_done("Loading");
    EXPECT_STREQ(g_progress.last_text, "Loading...done");
    EXPECT_GE(g_progress.longest_gap, 0.0);
}

TEST(Interning, EqualStringsShareOneCopy) {
    char a[] = "tarnwick";
    char b[] = "tarnwick";
    const char* x = intern(a);
    EXPECT_EQ(x, intern(b));
    EXPECT_NE(x, static_cast<const char*>(a));
    EXPECT_NE(x, intern("other"));
}

TEST(AllocationTracker, ReportsDoubleReleaseAndLeaks) {
    ScopedEnv env("KV_CHECK_ALLOC", "1");
    allocation_tracker_reset();
    void* a = kv_alloc(16);
    void* b = kv_calloc(4, 4);
    b = kv_realloc(b, 1 << 20); // moves: the old record goes, a new one comes
    EXPECT_EQ(allocation_tracker_count(), 2);
    kv_free(a);
    testing::internal::CaptureStderr();
    kv_free(a); // second release: reported, memory left alone
    allocation_report();
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("Allocation not found for"), std::string::npos);
    EXPECT_NE(err.find(":2\n"), std::string::npos) << err; // b's newest serial
    kv_free(b);
    EXPECT_EQ(allocation_tracker_count(), 0);
    allocation_tracker_reset();
}

TEST(WorkingSet, RangesFromPhysicalMemory) {
    const unsigned long long mib = 1024ull * 1024;
    unsigned long long lo = 0, hi = 0;
    ASSERT_TRUE(working_set_range(512 * mib, lo, hi));
    EXPECT_EQ(lo, 480 * mib);
    EXPECT_EQ(hi, 480 * mib);
    ASSERT_TRUE(working_set_range(4096 * mib, lo, hi));
    EXPECT_EQ(lo, 1024 * mib);
    EXPECT_EQ(hi, 2016 * mib);
    EXPECT_FALSE(working_set_range(32 * mib, lo, hi));
}

} // namespace
