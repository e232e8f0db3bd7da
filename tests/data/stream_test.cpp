#include "data/search_paths.h"
#include "data/stream.h"
#include "data_fixtures.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

// Where each place puts a file, for the resolution table.
enum Place { Home, Data, HomeGz, DataGz, Archive1, Archive1Gz, Archive2, Archive2Gz };

struct ResolveCase {
    const char* what;
    std::vector<Place> places;
    Place expected;
};

// Archives are read in index order: "a.saf" is the first (lower source), "b.saf" the second.
TEST(StreamOpen, ResolvesByRootThenIndexSource) {
    const ResolveCase cases[] = {
        {"home before data folder", {Home, Data}, Home},
        {"loose .gz in the data folder before an archive entry", {DataGz, Archive1}, DataGz},
        {"plain home before .gz beside it", {Home, HomeGz}, Home},
        {"home .gz before data-folder plain", {HomeGz, Data}, HomeGz},
        {"lower archive wins over a .gz in a later one", {Archive2, Archive1Gz}, Archive1Gz},
        {"lower archive wins over plain in a later one", {Archive1, Archive2Gz}, Archive1},
        {"plain wins over .gz in the same archive", {Archive1, Archive1Gz}, Archive1},
        {"archive .gz alone", {Archive2Gz}, Archive2Gz},
    };
    for (const ResolveCase& c : cases) {
        TestHome home;
        std::vector<std::pair<std::string, std::string>> a1, a2;
        for (Place p : c.places) {
            std::string text = "from " + std::to_string(p);
            switch (p) {
            case Home:
                write_file(home.home_root() + "sub/x", text);
                break;
            case Data:
                write_file(home.data_root() + "sub/x", text);
                break;
            case HomeGz:
                write_file(home.home_root() + "sub/x.gz", gzip_bytes(text));
                break;
            case DataGz:
                write_file(home.data_root() + "sub/x.gz", gzip_bytes(text));
                break;
            case Archive1:
                a1.push_back({"sub/x", text});
                break;
            case Archive1Gz:
                a1.push_back({"sub/x.gz", gzip_bytes(text)});
                break;
            case Archive2:
                a2.push_back({"sub/x", text});
                break;
            case Archive2Gz:
                a2.push_back({"sub/x.gz", gzip_bytes(text)});
                break;
            }
        }
        if (!a1.empty()) write_file(home.data_root() + "a.saf", saf_bytes(a1));
        if (!a2.empty()) write_file(home.data_root() + "b.saf", saf_bytes(a2));
        EXPECT_EQ(read_stream("@sub/x"), "from " + std::to_string(c.expected)) << c.what;
    }
}

TEST(StreamOpen, IndexLookupIgnoresLetterCase) {
    TestHome home;
    write_file(home.data_root() + "Tracks/Hill/DESC", "Hill\n");
    EXPECT_EQ(read_stream("@tracks/hill/desc"), "Hill\n");
    EXPECT_EQ(read_stream("@tracks/hill/nothing"), "<none>");
}

TEST(StreamOpen, FoldersAndOverlongNamesDoNotOpen) {
    TestHome home;
    write_file(home.data_root() + "tracks/hill/desc", "Hill\n");
    EXPECT_EQ(stream_open("@tracks/hill", "rb"), nullptr);
    EXPECT_EQ(stream_open(home.data_root().c_str(), "rb"), nullptr);

    // A name that makes a path past the limit fails; it is never cut into a shorter, existing name.
    std::string longer = "@tracks/hill/desc" + std::string(k_stream_path_max, 'x');
    EXPECT_EQ(stream_open(longer.c_str(), "rb"), nullptr);
    EXPECT_EQ(stream_open(longer.c_str(), "wb"), nullptr);
    EXPECT_EQ(stream_open((home.data_root() + longer.substr(1)).c_str(), "rb"), nullptr);
    EXPECT_EQ(stream_rename("@tracks/hill/desc", longer.c_str()), 0);
}

TEST(StreamArchive, EntriesEndAtTheirSize) {
    TestHome home;
    write_file(home.data_root() + "pack.saf",
               saf_bytes({{"empty", ""}, {"a.txt", "abcdef"}, {"b.txt", "XYZ"}}));

    DataStream* s = stream_open("@empty", "rb");
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(stream_getc(s), -1);
    char buffer[16];
    EXPECT_EQ(stream_read(s, buffer, sizeof buffer), 0u);
    EXPECT_EQ(stream_gets(s, buffer, sizeof buffer), nullptr);
    EXPECT_FALSE(stream_error(s));
    stream_close(s);

    s = stream_open("@a.txt", "rb");
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(stream_getc(s), 'a');
    EXPECT_EQ(stream_read(s, buffer, sizeof buffer), 5u); // "bcdef", not into "XYZ"
    EXPECT_EQ(std::string(buffer, 5), "bcdef");
    EXPECT_EQ(stream_getc(s), -1);
    EXPECT_TRUE(stream_seek(s, 2));
    EXPECT_EQ(stream_tell(s), 2);
    EXPECT_EQ(stream_getc(s), 'c');
    EXPECT_FALSE(stream_seek(s, 6)); // the size itself is past the data
    EXPECT_FALSE(stream_seek(s, -1));
    EXPECT_TRUE(stream_seek(s, 5));
    EXPECT_EQ(std::string(stream_gets(s, buffer, sizeof buffer)), "f");
    EXPECT_FALSE(stream_error(s));
    stream_close(s);
    EXPECT_EQ(read_stream("@b.txt"), "XYZ");
}

TEST(StreamRead, PushbackComesFirstEverywhere) {
    TempFolder dir;
    write_file(dir / "t", "ab\ncd");
    DataStream* s = stream_open((dir / "t").c_str(), "rb");
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(stream_getc(s), 'a');
    stream_ungetc(s, 'a');
    EXPECT_EQ(stream_tell(s), 0);
    char line[8];
    EXPECT_EQ(std::string(stream_gets(s, line, sizeof line)), "ab\n");
    stream_ungetc(s, '\n');
    char block[8];
    ASSERT_EQ(stream_read(s, block, sizeof block), 3u);
    EXPECT_EQ(std::string(block, 3), "\ncd");
    EXPECT_EQ(stream_gets(s, line, sizeof line), nullptr);
    // A short buffer stops the line early and keeps the rest.
    ASSERT_TRUE(stream_seek(s, 0));
    EXPECT_EQ(std::string(stream_gets(s, line, 2)), "a");
    EXPECT_EQ(stream_getc(s), 'b');
    EXPECT_EQ(stream_putc(s, 'x'), 0); // not a writing stream
    EXPECT_EQ(stream_write(s, "x", 1), 0u);
    stream_close(s);
}

TEST(StreamWrite, DataRelativeWritesGoHomeWithTheirFolders) {
    TestHome home;
    DataStream* s = stream_open("@sub/dir/file.txt", "wb");
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(stream_putc(s, 'a'), 1);
    EXPECT_GE(stream_puts(s, "bc"), 0);
    EXPECT_EQ(stream_write(s, "de", 2), 2u);
    EXPECT_EQ(stream_printf(s, "%d\n", 42), 3);
    EXPECT_EQ(stream_flush(s), 0);
    EXPECT_TRUE(stream_close(s));
    EXPECT_EQ(read_file(home.home_root() + "sub/dir/file.txt"), "abcde42\n");
    EXPECT_FALSE(file_exists(home.data_root() + "sub"));
}

TEST(StreamWrite, BackupsAreNumberedFromTheLowestFree) {
    TempFolder dir;
    std::string path = dir / "setup.txt";
    auto write = [&](const std::string& text) {
        DataStream* s = stream_open(path.c_str(), "~wb");
        ASSERT_NE(s, nullptr);
        stream_puts(s, text.c_str());
        EXPECT_TRUE(stream_close(s));
    };
    write("one"); // nothing to back up yet
    EXPECT_FALSE(file_exists(path + ".~1~"));
    write("two");
    write("three");
    EXPECT_EQ(read_file(path + ".~1~"), "one");
    EXPECT_EQ(read_file(path + ".~2~"), "two");
    std::filesystem::remove(path + ".~1~");
    write("four");
    EXPECT_EQ(read_file(path + ".~1~"), "three");
    EXPECT_EQ(read_file(path + ".~2~"), "two");
    EXPECT_FALSE(file_exists(path + ".~3~"));
    EXPECT_EQ(read_file(path), "four");
}

TEST(StreamWrite, BackupsSkipTakenNamesAndNeverStayHalfMade) {
    TempFolder dir;
    std::string path = dir / "setup.txt";
    write_file(path, "old");
    std::filesystem::create_directory(path + ".~1~"); // a folder takes a number too
    write_file(path + ".~2~", "x");
    DataStream* s = stream_open(path.c_str(), "~wb");
    ASSERT_NE(s, nullptr);
    stream_close(s);
    EXPECT_EQ(read_file(path + ".~3~"), "old");
    EXPECT_EQ(read_file(path), "");

    // A copy that breaks off (the "file" is a folder and cannot be read) fails the open and leaves
    // no partial backup behind.
    std::string folder = dir / "folder";
    std::filesystem::create_directory(folder);
    EXPECT_EQ(stream_open(folder.c_str(), "~wb"), nullptr);
    EXPECT_FALSE(file_exists(folder + ".~1~"));
}

TEST(StreamRename, ReplacesAtomicallyWithinHome) {
    TestHome home;
    write_file(home.home_root() + "lines/new", "new");
    write_file(home.home_root() + "lines/old", "old");
    EXPECT_EQ(stream_rename("@lines/new", "@lines/old"), 1);
    EXPECT_EQ(read_file(home.home_root() + "lines/old"), "new");
    EXPECT_FALSE(file_exists(home.home_root() + "lines/new"));

    // A move that fails leaves the destination as it was.
    EXPECT_EQ(stream_rename("@lines/missing", "@lines/old"), 0);
    EXPECT_EQ(read_file(home.home_root() + "lines/old"), "new");

    // "@" means the home folder only, even when the file is in the data folder.
    write_file(home.data_root() + "only-data", "d");
    EXPECT_EQ(stream_rename("@only-data", "@moved"), 0);
    EXPECT_TRUE(file_exists(home.data_root() + "only-data"));
}

} // namespace
