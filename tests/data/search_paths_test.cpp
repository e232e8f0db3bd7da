#include "data/search_paths.h"
#include "data/sha1.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <unistd.h>

namespace {

TEST(Sha1, KnownDigests) {
    char hex[41];
    sha1_of("abc", 3, hex);
    EXPECT_STREQ(hex, "a9993e364706816aba3e25717850c26c9cd0d89d");
    sha1_of("", 0, hex);
    EXPECT_STREQ(hex, "da39a3ee5e6b4b0d3255bfef95601890afd80709");
    std::string million(1000000, 'a');
    sha1_of(million.data(), million.size(), hex);
    EXPECT_STREQ(hex, "34aa973cd4c4daa4f61eeb2bdbad27316534016f");
}

TEST(Sha1, FileDigestStopsAtTheLimit) {
    TempFolder dir;
    write_file(dir / "f", std::string(1000, 'q'));
    char whole[41], part[41], expected[41];
    ASSERT_TRUE(sha1_of_file((dir / "f").c_str(), 1 << 20, whole));
    ASSERT_TRUE(sha1_of_file((dir / "f").c_str(), 300, part));
    sha1_of(std::string(300, 'q').data(), 300, expected);
    EXPECT_STREQ(part, expected);
    EXPECT_STRNE(whole, part);
    EXPECT_FALSE(sha1_of_file((dir / "missing").c_str(), 10, whole));
}

TEST(PathJoin, NormalisesSeparators) {
    EXPECT_EQ(path_join("a\\b//", "/c"), "a/b/c");
    EXPECT_EQ(path_join("/x/", "/"), "/x/");
    EXPECT_EQ(path_join(nullptr, "c"), "");
}

TEST(SearchRoots, HomeThenDataFolder) {
    TestHome home;
    ASSERT_EQ(search_root_count(), 2);
    EXPECT_EQ(std::string(search_root(0)), home.home_root());
    EXPECT_EQ(std::string(search_root(1)), home.data_root());
    EXPECT_EQ(search_root(2), nullptr);
    EXPECT_EQ(search_root(-1), nullptr);
}

TEST(SearchRoots, EmptyKvHomeIsNotTheFileSystemRoot) {
    TestHome home;
    ScopedEnv env("KV_HOME", "");
    search_paths_reset();
    ASSERT_EQ(search_root_count(), 2);
    EXPECT_STRNE(search_root(1), "/");
    EXPECT_EQ(std::string(search_root(1)), build_dir() + "/tests/"); // the test binary's folder
    search_paths_reset();
}

TEST(DataIndex, HomeWinsAndCaseIsIgnored) {
    TestHome home;
    write_file(home.home_root() + "config", "home");
    write_file(home.data_root() + "config", "data");
    write_file(home.data_root() + "Tracks/Tarnwick/Terrain.HF", "x");
    write_file(home.data_root() + "tracks/tarnwick/desc", "Tarnwick\n");
    int at = data_index_find("config");
    ASSERT_GE(at, 0);
    EXPECT_EQ(data_index_entry(at)->source, 0);
    EXPECT_EQ(data_index_entry(at)->path, home.home_root() + "config");
    EXPECT_GE(data_index_find("tracks/tarnwick/terrain.hf"), 0);
    EXPECT_EQ(data_index_find("nothing"), -1);
    const auto& names = data_file_names();
    EXPECT_EQ(std::count(names.begin(), names.end(), "config"), 1);
    char text[256];
    EXPECT_TRUE(data_index_entry_text(at, text, sizeof text));
    EXPECT_EQ(std::string(text), "config -> " + home.home_root() + "config");
    EXPECT_FALSE(data_index_entry_text(data_index_count(), text, sizeof text));
}

TEST(DataIndex, SameNameInOneRootOrdersDeterministically) {
    TestHome home;
    write_file(home.data_root() + "b/X.txt", "1");
    write_file(home.data_root() + "b/x.txt", "2");
    const auto& names = data_file_names();
    ASSERT_EQ(std::count_if(names.begin(), names.end(), [](const std::string& n) { return n == "b/X.txt" || n == "b/x.txt"; }), 1);
    // Byte order decides between names equal but for case: "X" sorts before "x".
    EXPECT_EQ(data_index_entry(data_index_find("b/x.txt"))->name, "b/X.txt");
}

TEST(DataIndex, SymbolicLinkLoopsEnd) {
    TestHome home;
    write_file(home.data_root() + "loop/file", "x");
    std::filesystem::create_directory_symlink(home.data_root() + "loop", home.data_root() + "loop/again");
    EXPECT_GE(data_index_find("loop/file"), 0);
    EXPECT_LT(data_index_count(), 10);
}

TEST(DataIndex, BuiltOnceAndNotRebuilt) {
    TestHome home;
    write_file(home.data_root() + "a", "x");
    EXPECT_GE(data_index_find("a"), 0);
    write_file(home.home_root() + "demos/new.kvdemo", "x");
    EXPECT_EQ(data_index_find("demos/new.kvdemo"), -1);
}

TEST(MakeFolders, CreatesEveryFolderAlongThePath) {
    TempFolder dir;
    make_folders_for((dir.path + "//sub///deeper/file.txt").c_str());
    EXPECT_TRUE(std::filesystem::is_directory(dir / "sub/deeper"));
    EXPECT_FALSE(std::filesystem::exists(dir / "sub/deeper/file.txt"));
}

} // namespace
