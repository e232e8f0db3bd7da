#include "data/scan.h"

#include "data/stream.h"

#include <cmath>
#include <cstring>

namespace {

// A byte position the width did not let the scanner read.
constexpr int k_not_read = -2;
// Decimal exponents beyond this give 0 or infinity in any destination; they are clamped so a long
// run of digits cannot overflow the count.
constexpr long k_scan_exponent_max = 1000000;

struct Scanner {
    DataStream* stream;
    long consumed; // bytes consumed since the call began

    int get() {
        int c = stream_getc(stream);
        if (c >= 0) ++consumed;
        return c;
    }
    // Leaves a byte that was read but not consumed for the next read.
    void keep(int c) {
        if (c < 0) return;
        stream_ungetc(stream, c);
        --consumed;
    }
    // Skips whitespace; returns the first other byte (read, not consumed) or -1.
    int skip_space() {
        int c = get();
        while (c >= 0 && scan_is_space(c))
            c = get();
        return c;
    }
};

// One conversion's view of the input under its width: `c` is the current byte, read but not yet
// consumed, or -1 at the end, or k_not_read once the width is used up.
struct Field {
    Scanner& sc;
    int c;
    int left;
    void take() {
        --left;
        c = left > 0 ? sc.get() : k_not_read;
    }
    void finish() { sc.keep(c); }
};

int digit_value(int c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'z') return c - 'a' + 10;
    if (c >= 'A' && c <= 'Z') return c - 'A' + 10;
    return 99;
}

void store_integer(void* p, ScanSize size, uint64_t v) {
    switch (size) {
    case ScanSize::Char:
        *static_cast<signed char*>(p) = static_cast<signed char>(v);
        break;
    case ScanSize::Short:
        *static_cast<short*>(p) = static_cast<short>(v);
        break;
    case ScanSize::Long:
        *static_cast<long*>(p) = static_cast<long>(v);
        break;
    case ScanSize::LongLong:
    case ScanSize::Big:
        *static_cast<long long*>(p) = static_cast<long long>(v);
        break;
    default:
        *static_cast<int*>(p) = static_cast<int>(v);
        break;
    }
}

// Reads an integer; false when no digit was found. Digits accumulate modulo 2^64 in an unsigned
// value, so no input overflows; the destination keeps the low bits.
bool read_integer(Field& f, char letter, uint64_t& value) {
    bool negative = false;
    if (f.c == '+' || f.c == '-') {
        negative = f.c == '-';
        f.take();
    }
    int base = letter == 'o' ? 8 : letter == 'x' || letter == 'X' ? 16 : 10;
    bool digits = false;
    value = 0;
    if (letter == 'i' && f.c == '0') {
        digits = true;
        f.take();
        base = 8;
        if (f.c == 'x' || f.c == 'X') {
            base = 16;
            f.take();
        }
    }
    while (f.c >= 0 && digit_value(f.c) < base) {
        value = value * static_cast<uint64_t>(base) + static_cast<uint64_t>(digit_value(f.c));
        digits = true;
        f.take();
    }
    f.finish();
    if (negative) value = 0 - value;
    return digits;
}

// m × 10^e, one power of ten at a time so no intermediate power overflows.
long double scale_by_ten(long double m, long e) {
    static constexpr long double powers[12] = {1e1L,  1e2L,   1e4L,   1e8L,   1e16L,   1e32L,
                                               1e64L, 1e128L, 1e256L, 1e512L, 1e1024L, 1e2048L};
    bool down = e < 0;
    unsigned long n = static_cast<unsigned long>(down ? -e : e);
    for (; n >= 4096 && m != 0 && !std::isinf(m); n -= 4096)
        m = down ? m / 1e4096L : m * 1e4096L;
    for (int bit = 0; bit < 12 && n; ++bit, n >>= 1)
        if (n & 1) m = down ? m / powers[bit] : m * powers[bit];
    return m;
}

long clamp_exponent(long e) {
    return e > k_scan_exponent_max    ? k_scan_exponent_max
           : e < -k_scan_exponent_max ? -k_scan_exponent_max
                                      : e;
}

// Reads a decimal number with an optional point and exponent; false when neither a digit nor a
// point came (what was consumed stays consumed).
bool read_float(Field& f, long double& value) {
    bool negative = false;
    if (f.c == '+' || f.c == '-') {
        negative = f.c == '-';
        f.take();
    }
    long double m = 0;
    long exponent = 0;
    bool digits = false, point = false;
    for (;;) {
        if (f.c >= '0' && f.c <= '9') {
            m = m * 10 + (f.c - '0');
            if (point) exponent = clamp_exponent(exponent - 1);
            digits = true;
        } else if (f.c == '.' && !point) {
            point = true;
        } else {
            break;
        }
        f.take();
    }
    if (!digits && !point) {
        f.finish();
        return false;
    }
    if (f.c == 'e' || f.c == 'E') {
        f.take();
        bool down = false;
        if (f.c == '+' || f.c == '-') {
            down = f.c == '-';
            f.take();
        }
        long e = 0;
        for (; f.c >= '0' && f.c <= '9'; f.take())
            e = clamp_exponent(e * 10 + (f.c - '0'));
        exponent = clamp_exponent(down ? exponent - e : exponent + e);
    }
    f.finish();
    value = m == 0 ? 0 : scale_by_ten(m, exponent);
    if (negative) value = -value;
    return true;
}

void store_float(void* p, ScanSize size, long double v) {
    switch (size) {
    case ScanSize::Long:
        *static_cast<double*>(p) = static_cast<double>(v);
        break;
    case ScanSize::LongLong:
    case ScanSize::Big:
        *static_cast<long double*>(p) = v;
        break;
    default:
        *static_cast<float*>(p) = static_cast<float>(v);
        break;
    }
}

void build_set(const char* format, const ScanElement& e, bool member[256]) {
    memset(member, 0, 256);
    for (int k = e.set_begin; k < e.set_end;) {
        unsigned char low = static_cast<unsigned char>(format[k]);
        if (format[k + 1] == '-' && k + 2 < e.set_end && low <= static_cast<unsigned char>(format[k + 2])) {
            for (int b = low; b <= static_cast<unsigned char>(format[k + 2]); ++b)
                member[b] = true;
            k += 3;
        } else {
            member[low] = true;
            ++k;
        }
    }
    if (e.negate)
        for (int b = 0; b < 256; ++b)
            member[b] = !member[b];
}

} // namespace

int stream_scan_into(DataStream* stream, const char* format, void* const* destinations, size_t count) {
    Scanner sc{stream, 0};
    int stored = 0;
    size_t used = 0;
    // The end of the input before a conversion's first byte.
    auto at_end = [&stored]() { return stored ? stored : -1; };

    for (int at = 0;;) {
        ScanElement e = scan_element(format, at);
        switch (e.part) {
        case ScanPart::End:
        case ScanPart::Unterminated:
            return stored;
        case ScanPart::Space:
            sc.keep(sc.skip_space());
            break;
        case ScanPart::Literal: {
            int c = sc.get();
            if (c != static_cast<unsigned char>(e.letter)) {
                sc.keep(c);
                return -1;
            }
            break;
        }
        case ScanPart::Conversion:
            break;
        }
        at = e.next;
        if (e.part != ScanPart::Conversion) continue;

        char letter = e.letter;
        if (letter == '%') {
            int c = sc.get();
            if (c != '%') {
                sc.keep(c);
                return -1;
            }
            continue;
        }
        if (!strchr("dioxXfs[cn", letter)) return stored;
        void* out = nullptr;
        if (!e.suppress) {
            if (used >= count) return stored;
            out = destinations[used++];
            // A string conversion without a width has no bound on what it writes.
            if ((letter == 's' || letter == '[') && e.width == 0) return stored;
        }
        int left = e.width ? e.width : k_scan_width_max;

        if (letter == 'n') {
            if (out) store_integer(out, e.size, static_cast<uint64_t>(sc.consumed));
            continue;
        }
        if (letter == 'd' || letter == 'i' || letter == 'o' || letter == 'x' || letter == 'X') {
            int c = sc.skip_space();
            if (c < 0) return at_end();
            Field f{sc, c, left};
            uint64_t value = 0;
            if (!read_integer(f, letter, value)) return stored;
            if (out) {
                store_integer(out, e.size, value);
                ++stored;
            }
        } else if (letter == 'f') {
            int c = sc.skip_space();
            if (c < 0) return at_end();
            Field f{sc, c, left};
            long double value = 0;
            if (!read_float(f, value)) return stored;
            if (out) {
                store_float(out, e.size, value);
                ++stored;
            }
        } else if (letter == 's') {
            int c = sc.skip_space();
            if (c < 0) return at_end();
            char* text = static_cast<char*>(out);
            Field f{sc, c, left};
            int n = 0;
            for (; f.c >= 0 && !scan_is_space(f.c); f.take())
                if (text) text[n++] = static_cast<char>(f.c);
            f.finish();
            if (text) {
                text[n] = 0;
                ++stored;
            }
        } else if (letter == '[') {
            bool member[256];
            build_set(format, e, member);
            int c = sc.get();
            if (c < 0) return at_end();
            char* text = static_cast<char*>(out);
            Field f{sc, c, left};
            int n = 0;
            for (; f.c >= 0 && member[f.c]; f.take(), ++n)
                if (text) text[n] = static_cast<char>(f.c);
            f.finish();
            if (n == 0 || !text) return stored;
            text[n] = 0;
            ++stored;
        } else { // 'c'
            char* text = static_cast<char*>(out);
            int want = e.width ? e.width : 1;
            for (int n = 0; n < want; ++n) {
                int c = sc.get();
                if (c < 0) return n == 0 ? at_end() : stored;
                if (text) text[n] = static_cast<char>(c);
            }
            if (text) ++stored;
        }
    }
}
