#include "data/scan.h"
#include "data/stream.h"
#include "data_fixtures.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstring>

namespace {

struct ScanResult {
    int result;
    int next; // the byte the next read delivers, -1 at the end
};

// Scans a file holding the input and reports the result and the next byte.
ScanResult scan_text(const TempFolder& dir, const std::string& input, const char* format,
                     void* const* destinations, size_t count) {
    write_file(dir / "input", input);
    DataStream* s = stream_open((dir / "input").c_str(), "rb");
    if (!s) return {-100, -100};
    int result = stream_scan_into(s, format, destinations, count);
    int next = stream_getc(s);
    stream_close(s);
    return {result, next};
}

struct IntCase {
    const char* input;
    const char* format;
    int result;
    std::vector<int> stored;
    int next;
};

TEST(Scan, Integers) {
    const IntCase cases[] = {
        {"12abc", "%d", 1, {12}, 'a'},
        {"7 x", "%d %d", 1, {7}, 'x'},
        {"", "%d %d", -1, {}, -1},
        {"x", "%d %d", 0, {}, 'x'},
        {"  \n\t", "%d", -1, {}, -1},
        {"SOUNDTABLE 3", "SOUNDTABLE %d %d", 1, {3}, -1},
        {"SOUNDTABLE 3 4\n", "SOUNDTABLE %d %d", 2, {3, 4}, '\n'},
        {"soundtable 3 4", "SOUNDTABLE %d %d", -1, {}, 's'},
        {"5;", "%d,", -1, {5}, ';'},
        {"5", "%d,", -1, {5}, -1},
        {"-12", "%d", 1, {-12}, -1},
        {"+7", "%d", 1, {7}, -1},
        {"-12", "%2d", 1, {-1}, '2'},
        {"12345", "%3d%d", 2, {123, 45}, -1},
        {"-x", "%d", 0, {}, 'x'}, // the sign stays consumed
        {"+", "%d", 0, {}, -1},   // a sign is a byte: a failure, not the end
        {"2147483648", "%d", 1, {INT_MIN}, -1},
        {"4294967297", "%d", 1, {1}, -1},
        {"-4294967295", "%d", 1, {1}, -1},
        {"99999999999999999999999999", "%d", 1, {-469762049}, -1}, // wraps, never overflows
        {"1 2 3", "%*d %d", 1, {2}, ' '},
        {"0x1F", "%i", 1, {31}, -1},
        {"0X1fg", "%i", 1, {31}, 'g'},
        {"017", "%i", 1, {15}, -1},
        {"-10", "%i", 1, {-10}, -1},
        {"0", "%i", 1, {0}, -1},
        {"ff", "%x", 1, {255}, -1},
        {"1fz", "%X", 1, {31}, 'z'},
        {"778", "%o", 1, {63}, '8'},
        {"  42x", "%d%n", 1, {42, 4}, 'x'},
        {"5 %", "%d %%", 1, {5}, -1},
        {"5 6", "%d%%", -1, {5}, ' '},
        {"5 6", "%d %y %d", 1, {5}, '6'}, // an unknown conversion ends the scan
        {"5 6", "%d %", 1, {5}, '6'},
    };
    TempFolder dir;
    for (const IntCase& c : cases) {
        int v[4] = {-99, -99, -99, -99};
        void* d[4] = {&v[0], &v[1], &v[2], &v[3]};
        ScanResult r = scan_text(dir, c.input, c.format, d, 4);
        EXPECT_EQ(r.result, c.result) << c.format << " on '" << c.input << "'";
        EXPECT_EQ(r.next, c.next) << c.format << " on '" << c.input << "'";
        for (size_t i = 0; i < c.stored.size(); ++i)
            EXPECT_EQ(v[i], c.stored[i]) << c.format << " on '" << c.input << "'";
        EXPECT_EQ(v[c.stored.size()], -99) << c.format << " on '" << c.input << "'";
    }
}

TEST(Scan, IntegerSizes) {
    TempFolder dir;
    short h = 0;
    signed char hh = 0;
    long l = 0;
    long long ll = 0;
    void* d[4] = {&h, &hh, &l, &ll};
    ScanResult r = scan_text(dir, "70000 300 -9000000000 9223372036854775807", "%hd %hhd %ld %lld", d, 4);
    EXPECT_EQ(r.result, 4);
    EXPECT_EQ(h, 4464);
    EXPECT_EQ(hh, 44);
    EXPECT_EQ(l, -9000000000L);
    EXPECT_EQ(ll, 9223372036854775807LL);
}

struct FloatCase {
    const char* input;
    const char* format;
    int result;
    double value;
    int next;
};

TEST(Scan, Floats) {
    const FloatCase cases[] = {
        {"1e3", "%lf", 1, 1000, -1},
        {"-.5", "%lf", 1, -0.5, -1},
        {"5.", "%lf", 1, 5, -1},
        {".", "%lf", 1, 0, -1},
        {"-", "%lf", 0, -99, -1},
        {"e5", "%lf", 0, -99, 'e'},
        {"", "%lf", -1, -99, -1},
        {"1.5e-2x", "%lf", 1, 0.015, 'x'},
        {"2E+2", "%lf", 1, 200, -1},
        {"1e", "%lf", 1, 1, -1}, // "e" without digits adds nothing, but is consumed
        {"1e-;", "%lf", 1, 1, ';'},
        {"1.2.3", "%lf", 1, 1.2, '.'},
        {"1.2345", "%3lf", 1, 1.2, '3'},
        {" \n 7", "%lf", 1, 7, -1},
        {"0.1", "%lf", 1, 0.1, -1},
        {"1.7976931348623157e308", "%lf", 1, DBL_MAX, -1},
        {"2.2250738585072014e-308", "%lf", 1, DBL_MIN, -1},
        {"123456789012345678901234567890", "%lf", 1, 1.2345678901234568e29, -1},
        {"1e99999999999999999999", "%lf", 1, HUGE_VAL, -1},
        {"1e-99999999999999999999", "%lf", 1, 0, -1},
        {"0e99999", "%lf", 1, 0, -1},
        {"inf", "%lf", 0, -99, 'i'},
        {"0x10", "%lf", 1, 0, 'x'},
    };
    TempFolder dir;
    for (const FloatCase& c : cases) {
        double v = -99;
        void* d[1] = {&v};
        ScanResult r = scan_text(dir, c.input, c.format, d, 1);
        EXPECT_EQ(r.result, c.result) << c.format << " on '" << c.input << "'";
        EXPECT_EQ(r.next, c.next) << c.format << " on '" << c.input << "'";
        EXPECT_EQ(v, c.value) << c.format << " on '" << c.input << "'";
    }
}

TEST(Scan, FloatDestinationsAndBrackets) {
    TempFolder dir;
    float f[5] = {};
    void* d[5] = {&f[0], &f[1], &f[2], &f[3], &f[4]};
    const char* format = " [ %f %f %f ] %f %f ";
    EXPECT_EQ(scan_text(dir, " [ 1 2.5 -3 ] 4e1 .5\n", format, d, 5).result, 5);
    EXPECT_EQ(f[1], 2.5f);
    EXPECT_EQ(f[3], 40.0f);
    EXPECT_EQ(f[4], 0.5f);
    EXPECT_EQ(scan_text(dir, " [ 1 2 3 4 5", format, d, 5).result, -1); // not 3
    long double x = 0;
    void* dx[1] = {&x};
    EXPECT_EQ(scan_text(dir, "0.1", "%Lf", dx, 1).result, 1);
    EXPECT_EQ(x, 0.1L);
}

struct TextCase {
    const char* input;
    const char* format;
    int result;
    std::vector<std::string> stored;
    int next;
};

TEST(Scan, StringsSetsAndCharacters) {
    const TextCase cases[] = {
        {"hello \n\n world", " %1023s ", 1, {"hello"}, 'w'},
        {"abcdef", "%3s", 1, {"abc"}, 'd'},
        {"abcdef", "%3s%2s", 2, {"abc", "de"}, 'f'},
        {"abc", "%s", 0, {}, 'a'}, // no width: nothing is read or written
        {"abc", "%[abc]", 0, {}, 'a'},
        {"", "%9s", -1, {}, -1},
        {"  ", "%9s", -1, {}, -1},
        {"toolongword 3", "%5s %d", 1, {"toolo"}, 'n'},
        {"key = value\nnext", "%20[^\n]", 1, {"key = value"}, '\n'},
        {" key", "%20[a-z]", 0, {}, ' '}, // no whitespace skip
        {"abcd", "%9[a-c]", 1, {"abc"}, 'd'},
        {"]a]b", "%9[]a]", 1, {"]a]"}, 'b'},
        {"ab]c", "%9[^]]", 1, {"ab"}, ']'},
        {"a-b", "%9[a-]", 1, {"a-"}, 'b'},
        {"-z", "%9[-a]", 1, {"-"}, 'z'},
        {"y", "%9[x]", 0, {}, 'y'},
        {"", "%9[x]", -1, {}, -1},
        {"xxxxx", "%2[x]%2[x]", 2, {"xx", "xx"}, 'x'},
        {"# comment\n5", " %1[#]%*[^\n]", 1, {"#"}, '\n'},
        {"#\n5", " %1[#]%*[^\n]%d", 1, {"#"}, '\n'}, // "%*[" ends the scan even when it matched nothing
        {"x y", "%9[x]%*[ ]%9s", 1, {"x"}, 'y'},
        {"abcd", "%3c", 1, {"abc"}, 'd'},
        {" x", "%c", 1, {" "}, 'x'},
        {"ab", "%3c", 0, {}, -1},
        {"", "%c", -1, {}, -1},
        {"ab", "%*c%c", 1, {"b"}, -1},
    };
    TempFolder dir;
    for (const TextCase& c : cases) {
        char text[3][32];
        memset(text, '#', sizeof text);
        void* d[3] = {text[0], text[1], text[2]};
        ScanResult r = scan_text(dir, c.input, c.format, d, 3);
        EXPECT_EQ(r.result, c.result) << c.format << " on '" << c.input << "'";
        EXPECT_EQ(r.next, c.next) << c.format << " on '" << c.input << "'";
        for (size_t i = 0; i < c.stored.size(); ++i) {
            std::string want = c.stored[i];
            bool chars = c.format[strlen(c.format) - 1] == 'c';
            // "%c" stores no terminator; the others end with exactly one zero byte.
            std::string got = chars ? std::string(text[i], want.size()) : std::string(text[i]);
            EXPECT_EQ(got, want) << c.format << " on '" << c.input << "'";
            EXPECT_EQ(text[i][want.size() + (chars ? 0 : 1)], '#') << c.format << " wrote past its width";
        }
    }
}

TEST(Scan, TooFewDestinationsEndTheScan) {
    TempFolder dir;
    int v = 0;
    void* d[1] = {&v};
    ScanResult r = scan_text(dir, "1 2", "%d %d", d, 1);
    EXPECT_EQ(r.result, 1);
    EXPECT_EQ(r.next, '2');
}

// The checked front end over plain, gzip and archive streams: the same bytes, the same results.
TEST(Scan, SameOverEveryKindOfStream) {
    TestHome home;
    const std::string text = "name Hill Climb\nsize 3 -2.5\n# note\nP6\n2 1\n255\n\x01\x02\x03";
    write_file(home.data_root() + "plain.txt", text);
    write_file(home.data_root() + "packed.txt.gz", gzip_bytes(text));
    write_file(home.data_root() + "a.saf",
               saf_bytes({{"entry.txt", text}, {"packedentry.txt.gz", gzip_bytes(text)}}));
    for (const char* name : {"@plain.txt", "@packed.txt", "@entry.txt", "@packedentry.txt"}) {
        DataStream* s = stream_open(name, "rb");
        ASSERT_NE(s, nullptr) << name;
        char key[16], value[64], hash[2], magic[3];
        int n = 0, w = 0, h = 0, depth = 0;
        float f = 0;
        EXPECT_EQ(stream_scan(s, " %15s %63[^\n]", key, value), 2) << name;
        EXPECT_STREQ(value, "Hill Climb") << name;
        EXPECT_EQ(stream_scan(s, " size %d %f", &n, &f), 2) << name;
        EXPECT_EQ(f, -2.5f) << name;
        EXPECT_EQ(stream_scan(s, " %1[#]%*[^\n]", hash), 1) << name;
        EXPECT_EQ(stream_scan(s, " %2c %d %d %d", magic, &w, &h, &depth), 4) << name;
        EXPECT_EQ(std::string(magic, 2), "P6") << name;
        // The one whitespace byte after the header stays readable, then the raw data.
        EXPECT_EQ(stream_getc(s), '\n') << name;
        unsigned char raw[4] = {};
        EXPECT_EQ(stream_read(s, raw, sizeof raw), 3u) << name;
        EXPECT_EQ(raw[2], 3) << name;
        EXPECT_EQ(stream_scan(s, " %d", &n), -1) << name;
        stream_close(s);
    }
}

} // namespace
