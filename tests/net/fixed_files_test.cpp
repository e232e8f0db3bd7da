#include "net/fixed_files.h"

#include "data/sha1.h"
#include "test_support.h"
#include "tools/data_set_support.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// Lays the shipped shape files loose in the data folder.
void install_shipped_shapes(const TestHome& test) {
    std::vector<std::pair<std::string, std::string>> entries;
    ASSERT_TRUE(saf_entries(read_file(build_dir() + "/zzzz.saf"), entries));
    for (const auto& [name, data] : entries)
        if (name.size() > 4 && name.compare(name.size() - 4, 4, ".shp") == 0)
            write_file(test.data_root() + name, data);
}

TEST(FixedFiles, ShippedShapesPass) {
    TestHome test;
    install_shipped_shapes(test);
    EXPECT_TRUE(fixed_files_check());
}

TEST(FixedFiles, ShippedArchivePasses) {
    TestHome test;
    write_file(test.data_root() + "zzzz.saf", read_file(build_dir() + "/zzzz.saf"));
    EXPECT_TRUE(fixed_files_check());
}

TEST(FixedFiles, ChangedOrMissingShapeFails) {
    struct Case {
        const char* file;
        bool remove;
    };
    const Case cases[] = {{"generic_rider.shp", false}, {"front_wheel.shp", true}};
    for (const Case& c : cases) {
        TestHome test;
        install_shipped_shapes(test);
        std::string path = test.data_root() + c.file;
        if (c.remove)
            std::remove(path.c_str());
        else
            write_file(path, read_file(path) + "0 0 0 1 1 1 1\n");
        EXPECT_FALSE(fixed_files_check()) << c.file;
    }
}

// A missing file adds nothing: the digest over six files equals the digest of their bytes alone.
TEST(FixedFiles, MissingFileIsSkipped) {
    TestHome test;
    write_file(test.data_root() + "generic_frame.shp", "1\n0 0 0 1 1 1 1\n");
    write_file(test.data_root() + "generic_rider.shp", "2\n");
    char digest[41], expected[41];
    fixed_files_digest(digest);
    std::string both = "1\n0 0 0 1 1 1 1\n2\n";
    sha1_of(both.data(), both.size(), expected);
    EXPECT_STREQ(digest, expected);
}

} // namespace
