#include "data/search_paths.h"
#include "data/stream.h"
#include "data_fixtures.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

struct ArchiveCase {
    const char* what;
    std::string bytes;
    bool valid;
    std::string entries; // "name@offset+size;" for each entry, in header order
};

std::string describe(const std::vector<DataIndexEntry>& entries) {
    std::string text;
    for (const DataIndexEntry& e : entries)
        text += e.name + "@" + std::to_string(e.offset) + "+" + std::to_string(e.size) + ";";
    return text;
}

TEST(SafArchive, HeaderTable) {
    std::string line1022 = "1 " + std::string(1020, 'n');
    const ArchiveCase cases[] = {
        {"two entries", "3 a\n2 b/c\n-\nxyzpq", true, "a@12+3;b/c@15+2;"},
        {"size 0 entry", "0 empty\n1 x\n-\nQ", true, "empty@14+0;x@14+1;"},
        {"no entries", "-\n", true, ""},
        {"blanks and a plus sign before the size", "  +2 a\n-\nhi", true, "a@9+2;"},
        {"name taken literally, slash runs collapsed", "1 my dir//x  y\n-\n!", true, "my dir/x  y@17+1;"},
        {"any one separator", "1\tt\n-\n!", true, "t@6+1;"},
        {"longest header line", line1022 + "\n-\nz", true, std::string(1020, 'n') + "@1025+1;"},
        {"data after the entries is ignored", "1 a\n-\nab", true, "a@6+1;"},
        {"CRLF lines", "3 a\r\n-\r\nxyz", false, ""},
        {"ends before the - line", "3 a\n", false, ""},
        {"last line without its newline", "-", false, ""},
        {"entry data cut short", "3 a\n4 b\n-\nxyzpq", false, ""},
        {"empty file", "", false, ""},
        {"negative size", "-3 a\n-\nxyz", false, ""},
        {"size that is not a number", "abc a\n-\n", false, ""},
        {"size too large for any file", "99999999999999999999999 a\n-\nx", false, ""},
        {"size without a name", "3\n-\nxyz", false, ""},
        {"size and separator only", "3 \n-\nxyz", false, ""},
        {"header line too long", line1022 + "n\n-\nz", false, ""},
        {"zero byte in a header line", std::string("1 a\0b\n-\nz", 9), false, ""},
    };
    TempFolder dir;
    for (const ArchiveCase& c : cases) {
        std::string path = dir / "t.saf";
        write_file(path, c.bytes);
        std::vector<DataIndexEntry> out = {{"before", "before", 0, 0, 0}};
        EXPECT_EQ(saf_read_entries(path, 5, out), c.valid) << c.what;
        ASSERT_FALSE(out.empty());
        EXPECT_EQ(out[0].name, "before") << c.what;
        out.erase(out.begin());
        EXPECT_EQ(describe(out), c.entries) << c.what;
        for (const DataIndexEntry& e : out) {
            EXPECT_EQ(e.path, path);
            EXPECT_EQ(e.source, 5);
        }
    }
    std::vector<DataIndexEntry> out;
    EXPECT_FALSE(saf_read_entries(dir / "missing.saf", 0, out));
    EXPECT_TRUE(out.empty());
}

TEST(SafArchive, MergedIntoTheIndexByRank) {
    TestHome home;
    write_file(home.data_root() + "a.saf",
               saf_bytes({{"shared", "archive a"}, {"only-a", "A"}, {"tracks/t/desc", "T\n"}}));
    write_file(home.data_root() + "b.saf", saf_bytes({{"shared", "archive b"}, {"only-b", "B"}}));
    write_file(home.data_root() + "c.saf", "2 lost\n-\r\nxx"); // malformed: contributes nothing
    write_file(home.data_root() + "only-a", "loose data");
    write_file(home.home_root() + "only-b", "loose home");

    EXPECT_EQ(read_stream("@shared"), "archive a");
    EXPECT_EQ(read_stream("@only-a"), "loose data");
    EXPECT_EQ(read_stream("@only-b"), "loose home");
    EXPECT_EQ(read_stream("@tracks/t/desc"), "T\n");
    EXPECT_EQ(data_index_find("lost"), -1);

    int at = data_index_find("shared");
    ASSERT_GE(at, 0);
    EXPECT_EQ(data_index_entry(at)->source, search_root_count()); // the first archive in index order
    EXPECT_EQ(data_index_entry(at)->path, home.data_root() + "a.saf");
    const auto& names = data_file_names();
    EXPECT_EQ(std::count(names.begin(), names.end(), "shared"), 1);
    EXPECT_EQ(std::count(names.begin(), names.end(), "tracks/t/desc"), 1);
}

} // namespace
