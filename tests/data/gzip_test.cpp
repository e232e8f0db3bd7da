#include "data/stream.h"
#include "data_fixtures.h"
#include "test_support.h"

#include <gtest/gtest.h>

namespace {

const std::string k_text = "SOUNDTABLE 3 4\n0.5 1.5 2.5\nthe end\n";

// Compressible but not trivial: many deflate blocks and several input and output refills.
std::string long_text() {
    std::string text;
    unsigned seed = 7;
    for (int i = 0; i < 120000; ++i) {
        seed = seed * 1103515245u + 12345u;
        text.push_back(static_cast<char>('a' + (seed >> 16) % 7));
        if (i % 61 == 60) text.push_back('\n');
    }
    return text;
}

struct HeaderCase {
    const char* what;
    GzipHeader header;
};

TEST(Gzip, EveryHeaderFieldIsSkipped) {
    const HeaderCase cases[] = {
        {"no fields", {}},
        {"text flag", {1, "", "", ""}},
        {"header check", {2, "", "", ""}},
        {"extra field", {4, std::string("ab\0cd", 5), "", ""}},
        {"empty extra field", {4, "", "", ""}},
        {"file name", {8, "", "desc", ""}},
        {"comment", {16, "", "", "made by hand"}},
        {"all fields", {31, "xyz", "desc", "a comment"}},
        {"name longer than the input buffer", {8, "", std::string(40000, 'n'), ""}},
        {"extra field across the input buffer",
         {4 | 8, std::string(65535, 'e'), std::string(20000, 'n'), ""}},
    };
    TempFolder dir;
    for (const HeaderCase& c : cases) {
        write_file(dir / "desc.gz", gzip_bytes(k_text, c.header));
        DataStream* s = stream_open((dir / "desc").c_str(), "rb");
        ASSERT_NE(s, nullptr) << c.what;
        EXPECT_TRUE(stream_compressed(s));
        std::string got;
        for (int ch = stream_getc(s); ch >= 0; ch = stream_getc(s))
            got.push_back(static_cast<char>(ch));
        EXPECT_EQ(got, k_text) << c.what;
        EXPECT_FALSE(stream_error(s)) << c.what;
        stream_close(s);
    }
}

TEST(Gzip, BadHeadersFailTheOpen) {
    std::string good = gzip_bytes(k_text);
    auto with_byte = [&](size_t at, char value) {
        std::string bytes = good;
        bytes[at] = value;
        return bytes;
    };
    const struct {
        const char* what;
        std::string bytes;
    } cases[] = {
        {"empty file", ""},
        {"first magic byte", with_byte(0, 0x1e)},
        {"second magic byte", with_byte(1, 0x0b)},
        {"method other than deflate", with_byte(2, 7)},
        {"reserved flag", with_byte(3, 32)},
        {"ends inside the fixed header", good.substr(0, 7)},
        {"ends inside the extra length", gzip_bytes(k_text, {4, "", "", ""}).substr(0, 11)},
        {"extra field longer than the file",
         gzip_bytes(k_text, {4, std::string(500, 'e'), "", ""}).substr(0, 100)},
        {"name without its zero byte", std::string(good.substr(0, 10)).replace(3, 1, 1, 8) + "name"},
        {"header check cut off", gzip_bytes("", {2, "", "", ""}).substr(0, 11)},
    };
    TempFolder dir;
    for (const auto& c : cases) {
        write_file(dir / "x.gz", c.bytes);
        DataStream* s = stream_open((dir / "x").c_str(), "rb");
        EXPECT_EQ(s, nullptr) << c.what;
        if (s) stream_close(s);
    }
}

// Whatever a fault does to the data, reading ends, reports the fault, and what came before the
// fault is never more than the original.
TEST(Gzip, CorruptOrTruncatedDataEndsAsAnError) {
    std::string text = long_text();
    std::string good = gzip_bytes(text);
    std::string corrupt = good;
    for (size_t i = good.size() / 2; i < good.size() / 2 + 16; ++i)
        corrupt[i] = static_cast<char>(~corrupt[i]);
    std::string bad_crc = good;
    bad_crc[bad_crc.size() - 6] ^= 1;
    std::string bad_length = good;
    bad_length[bad_length.size() - 1] ^= 1;
    const struct {
        const char* what;
        std::string bytes;
        bool prefix; // what was delivered must be a prefix of the text
    } cases[] = {
        {"cut in the middle", good.substr(0, good.size() / 2), true},
        {"cut right after the header", good.substr(0, 10), true},
        {"trailer missing", good.substr(0, good.size() - 8), false},
        {"trailer cut short", good.substr(0, good.size() - 3), false},
        {"flipped bytes", corrupt, false},
        {"wrong CRC-32", bad_crc, false},
        {"wrong length", bad_length, false},
    };
    TempFolder dir;
    for (const auto& c : cases) {
        write_file(dir / "x.gz", c.bytes);
        DataStream* s = stream_open((dir / "x").c_str(), "rb");
        ASSERT_NE(s, nullptr) << c.what;
        std::string got;
        char block[1000];
        for (size_t n; (n = stream_read(s, block, sizeof block)) > 0;)
            got.append(block, n);
        EXPECT_TRUE(stream_error(s)) << c.what;
        EXPECT_EQ(stream_getc(s), -1) << c.what;
        EXPECT_LE(got.size(), text.size()) << c.what;
        if (c.prefix) {
            EXPECT_EQ(got, text.substr(0, got.size())) << c.what;
        }
        stream_close(s);
    }
}

TEST(Gzip, ByteAndBlockReadsAgreeOverManyBuffers) {
    std::string text = long_text();
    TempFolder dir;
    write_file(dir / "big.gz", gzip_bytes(text));
    EXPECT_EQ(read_stream(dir / "big"), text);

    DataStream* s = stream_open((dir / "big").c_str(), "rb");
    ASSERT_NE(s, nullptr);
    std::string got;
    char block[7777];
    // Mixed: a byte, a byte put back, an odd-sized block.
    for (;;) {
        int c = stream_getc(s);
        if (c < 0) break;
        stream_ungetc(s, c);
        size_t n = stream_read(s, block, sizeof block);
        got.append(block, n);
    }
    EXPECT_EQ(got, text);
    EXPECT_FALSE(stream_error(s));
    EXPECT_FALSE(stream_seek(s, 0)); // compressed streams do not seek
    stream_close(s);
}

// The compressed data of an archive entry ends with the entry: a cut gzip entry fails even when
// the next entry holds exactly the bytes it is missing.
TEST(Gzip, ArchiveEntryNeverReadsIntoTheNextEntry) {
    TestHome home;
    std::string text = long_text();
    std::string packed = gzip_bytes(text);
    size_t half = packed.size() / 2;
    write_file(home.data_root() + "pack.saf",
               saf_bytes({{"cut.gz", packed.substr(0, half)}, {"rest", packed.substr(half)}}));
    DataStream* s = stream_open("@cut", "rb");
    ASSERT_NE(s, nullptr);
    std::string got;
    for (int c = stream_getc(s); c >= 0; c = stream_getc(s))
        got.push_back(static_cast<char>(c));
    EXPECT_TRUE(stream_error(s));
    EXPECT_LT(got.size(), text.size());
    EXPECT_EQ(got, text.substr(0, got.size()));
    stream_close(s);
}

} // namespace
