#pragma once
// stream_scan: the scanf-like reader every text file goes through, working on a DataStream (plain,
// gzip or archive entry alike). Its one piece of state is the stream's pushback byte: a byte looked
// at and not consumed is delivered first by the next read of any kind.
//
// Format: whitespace skips any whitespace (space, \t, \n, \v, \f, \r); "%" starts a conversion made
// of any mix of a width, "*" (convert, do not store or count) and size letters ("hh", "h", "l",
// "ll", "L", "q"), then the letter: d i o x X (integers), f (float; "l" double; "L"/"ll"/"q" long
// double), s, [set], c, n, %. Any other byte must match the input exactly.
//
// Result: the number of stored conversions. A conversion that finds no acceptable byte ends the
// scan with that number; one that meets the end of the input before any byte returns it, or -1 when
// it is 0; a literal byte that does not match (or meets the end) returns -1 whatever was stored.
// "%*[...]" consumes its bytes and then ends the scan. Integers wrap modulo their width.
//
// Safety: "%s" and "%[" must carry a width (the most bytes stored before the terminating zero), and
// stream_scan checks the format against its arguments at compile time: a string conversion without
// a width, a width that does not fit a char array destination, a destination of the wrong type and
// a wrong number of destinations are compile errors.
#include <array>
#include <cstddef>
#include <cstdint>
#include <type_traits>

struct DataStream;

enum class ScanPart : uint8_t { End, Space, Literal, Conversion, Unterminated };
enum class ScanSize : uint8_t { Default, Char, Short, Long, LongLong, Big }; // -, hh, h, l, ll, L/q

// One element of a format: the parse shared by the compile-time check and the scanner itself.
struct ScanElement {
    ScanPart part = ScanPart::End;
    char letter = 0; // conversion letter, or the literal byte
    bool suppress = false;
    int width = 0; // 0: none
    ScanSize size = ScanSize::Default;
    bool negate = false; // "[^...]"
    int set_begin = 0;   // "[...]": the set's bytes are format[set_begin, set_end)
    int set_end = 0;
    int next = 0; // format index after this element
};

constexpr bool scan_is_space(int c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

// The widest width kept; larger widths are clamped (they cannot matter for a real destination).
constexpr int k_scan_width_max = 1 << 30;

// Parses the element that starts at format[at].
constexpr ScanElement scan_element(const char* format, int at) {
    ScanElement e;
    char c = format[at];
    if (c == 0) return e;
    if (scan_is_space(static_cast<unsigned char>(c))) {
        e.part = ScanPart::Space;
        e.next = at + 1;
        while (scan_is_space(static_cast<unsigned char>(format[e.next])))
            ++e.next;
        return e;
    }
    if (c != '%') {
        e.part = ScanPart::Literal;
        e.letter = c;
        e.next = at + 1;
        return e;
    }
    int i = at + 1;
    for (;; ++i) {
        char m = format[i];
        if (m >= '0' && m <= '9') {
            e.width = e.width >= k_scan_width_max / 10 ? k_scan_width_max : e.width * 10 + (m - '0');
        } else if (m == '*') {
            e.suppress = true;
        } else if (m == 'h') {
            e.size = e.size == ScanSize::Short ? ScanSize::Char : ScanSize::Short;
        } else if (m == 'l') {
            e.size = e.size == ScanSize::Long ? ScanSize::LongLong : ScanSize::Long;
        } else if (m == 'L' || m == 'q') {
            e.size = ScanSize::Big;
        } else {
            break;
        }
    }
    e.letter = format[i];
    if (e.letter == 0) {
        e.part = ScanPart::Unterminated;
        return e;
    }
    e.part = ScanPart::Conversion;
    e.next = i + 1;
    if (e.letter != '[') return e;
    int k = i + 1;
    if (format[k] == '^') {
        e.negate = true;
        ++k;
    }
    e.set_begin = k;
    if (format[k] == ']') ++k; // a "]" first is a member
    while (format[k] && format[k] != ']')
        ++k;
    if (!format[k]) {
        e.part = ScanPart::Unterminated;
        return e;
    }
    e.set_end = k;
    e.next = k + 1;
    return e;
}

// What a destination argument is, for the compile-time check.
enum class ScanTarget : uint8_t {
    Other,
    Chars,
    Int8,
    Int16,
    Int32,
    Long,
    LongLong,
    Float,
    Double,
    LongDouble
};
struct ScanArgument {
    ScanTarget target = ScanTarget::Other;
    size_t capacity = 0; // element count of a char array destination; 0 for a plain pointer
};

template <typename T> constexpr ScanTarget scan_target_of() {
    using U = std::remove_cv_t<T>;
    if constexpr (std::is_same_v<U, char>)
        return ScanTarget::Chars;
    else if constexpr (std::is_same_v<U, signed char> || std::is_same_v<U, unsigned char>)
        return ScanTarget::Int8;
    else if constexpr (std::is_same_v<U, short> || std::is_same_v<U, unsigned short>)
        return ScanTarget::Int16;
    else if constexpr (std::is_same_v<U, int> || std::is_same_v<U, unsigned>)
        return ScanTarget::Int32;
    else if constexpr (std::is_same_v<U, long> || std::is_same_v<U, unsigned long>)
        return ScanTarget::Long;
    else if constexpr (std::is_same_v<U, long long> || std::is_same_v<U, unsigned long long>)
        return ScanTarget::LongLong;
    else if constexpr (std::is_same_v<U, float>)
        return ScanTarget::Float;
    else if constexpr (std::is_same_v<U, double>)
        return ScanTarget::Double;
    else if constexpr (std::is_same_v<U, long double>)
        return ScanTarget::LongDouble;
    else
        return ScanTarget::Other;
}

template <typename A> constexpr ScanArgument scan_argument() {
    using U = std::remove_cvref_t<A>;
    if constexpr (std::is_array_v<U> && std::rank_v<U> == 1) {
        using E = std::remove_extent_t<U>;
        if constexpr (std::is_const_v<E>)
            return {};
        else
            return {scan_target_of<E>(), std::extent_v<U>};
    } else if constexpr (std::is_pointer_v<U>) {
        using E = std::remove_pointer_t<U>;
        if constexpr (std::is_const_v<E>)
            return {};
        else
            return {scan_target_of<E>(), 0};
    } else {
        return {};
    }
}

// Called only by a format that fails the compile-time check; never defined, so the compiler names
// the fault in its error.
void scan_format_error_string_conversion_needs_a_width();
void scan_format_error_width_does_not_fit_the_destination();
void scan_format_error_destination_has_the_wrong_type();
void scan_format_error_too_few_destinations();
void scan_format_error_too_many_destinations();
void scan_format_error_unknown_conversion();
void scan_format_error_unterminated_conversion();

// The destination type a conversion stores into.
constexpr ScanTarget scan_conversion_target(const ScanElement& e) {
    switch (e.letter) {
    case 'd':
    case 'i':
    case 'o':
    case 'x':
    case 'X':
    case 'n':
        switch (e.size) {
        case ScanSize::Char:
            return ScanTarget::Int8;
        case ScanSize::Short:
            return ScanTarget::Int16;
        case ScanSize::Long:
            return ScanTarget::Long;
        case ScanSize::LongLong:
        case ScanSize::Big:
            return ScanTarget::LongLong;
        default:
            return ScanTarget::Int32;
        }
    case 'f':
        switch (e.size) {
        case ScanSize::Long:
            return ScanTarget::Double;
        case ScanSize::LongLong:
        case ScanSize::Big:
            return ScanTarget::LongDouble;
        default:
            return ScanTarget::Float;
        }
    case 's':
    case '[':
    case 'c':
        return ScanTarget::Chars;
    default:
        return ScanTarget::Other;
    }
}

constexpr void scan_check_format(const char* format, const ScanArgument* arguments, size_t count) {
    size_t used = 0;
    for (int at = 0;;) {
        ScanElement e = scan_element(format, at);
        if (e.part == ScanPart::End) break;
        if (e.part == ScanPart::Unterminated) scan_format_error_unterminated_conversion();
        at = e.next;
        if (e.part != ScanPart::Conversion || e.letter == '%') continue;
        ScanTarget want = scan_conversion_target(e);
        if (want == ScanTarget::Other) scan_format_error_unknown_conversion();
        if (e.suppress) continue;
        if ((e.letter == 's' || e.letter == '[') && e.width == 0)
            scan_format_error_string_conversion_needs_a_width();
        if (used == count) scan_format_error_too_few_destinations();
        ScanArgument a = arguments[used++];
        // Byte destinations may be char, signed char or unsigned char.
        bool bytes = (want == ScanTarget::Chars || want == ScanTarget::Int8) &&
                     (a.target == ScanTarget::Chars || a.target == ScanTarget::Int8);
        if (a.target != want && !bytes) scan_format_error_destination_has_the_wrong_type();
        bool chars = want == ScanTarget::Chars;
        if (chars && a.capacity > 0) {
            size_t needed = e.letter == 'c' ? static_cast<size_t>(e.width ? e.width : 1)
                                            : static_cast<size_t>(e.width) + 1;
            if (needed > a.capacity) scan_format_error_width_does_not_fit_the_destination();
        }
    }
    if (used != count) scan_format_error_too_many_destinations();
}

// A format string checked at compile time against the destinations Args.
template <typename... Args> struct ScanFormat {
    const char* text;
    consteval ScanFormat(const char* format) : text(format) {
        constexpr std::array<ScanArgument, sizeof...(Args) + 1> arguments{scan_argument<Args>()...,
                                                                          ScanArgument{}};
        scan_check_format(format, arguments.data(), sizeof...(Args));
    }
};

// The scanner over destinations in conversion order. It trusts the caller for the destination
// types but not for string sizes: a "%s" or "%[" without a width, or a conversion with no
// destination left, ends the scan. Tests and formats built at run time use it directly.
int stream_scan_into(DataStream* stream, const char* format, void* const* destinations, size_t count);

template <typename A> void* scan_destination(A&& a) {
    if constexpr (std::is_array_v<std::remove_reference_t<A>>)
        return static_cast<void*>(&a[0]);
    else
        return static_cast<void*>(a);
}

// Scans the stream by a literal format; see the top of this file.
template <typename... Args>
int stream_scan(DataStream* stream, ScanFormat<std::type_identity_t<Args>...> format, Args&&... args) {
    void* destinations[sizeof...(Args) + 1] = {scan_destination(args)..., nullptr};
    return stream_scan_into(stream, format.text, destinations, sizeof...(Args));
}
