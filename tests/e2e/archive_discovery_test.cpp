#include "data/data_fixtures.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

// The real program finds a track packed in an archive of the data folder and a loose track whose
// description exists only gzip-compressed, and names both from their descriptions.
TEST(ArchiveDiscovery, TracksInArchivesAndGzipDescriptionsAreNamed) {
    TempFolder home;
    TempFolder data;
    std::filesystem::copy_file(build_dir() + "/zzzz.saf", data / "zzzz.saf");
    write_file(data / "tracks.saf", saf_bytes({{"tracks/packed/terrain.hf", ""},
                                               {"tracks/packed/desc", "Packed Valley\r\nsecond line\n"}}));
    write_file(data / "tracks/zipped/terrain.hf", "");
    write_file(data / "tracks/zipped/desc.gz", gzip_bytes("Zipped Ridge\n", {8, "", "desc", ""}));

    run_korvane({"--debug"},
                {"HOME=" + home.path, "XDG_DATA_HOME=" + home.path + "/share", "KV_HOME=" + data.path}, 5);
    std::string log = read_file(home.path + "/share/Korvane/lastlog.txt");
    EXPECT_NE(log.find("tracks/packed -> Packed Valley\n"), std::string::npos) << log;
    EXPECT_NE(log.find("tracks/zipped -> Zipped Ridge\n"), std::string::npos) << log;
}

} // namespace
