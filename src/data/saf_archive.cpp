// ".saf" archives: a text header of "size name\n" lines ended by a line holding "-" alone, then the
// entries' data back to back in header order. The size is a decimal integer (leading blanks and a
// sign accepted), one separator character follows it and the rest of the line, "/" runs collapsed,
// is the entry's data-relative name; a name ending in ".gz" holds gzip data. The offset of entry i
// is the header's length ("-" line included) plus the sizes of the entries before it.
#include "data/search_paths.h"

#include "platform/log.h"

#include <cstdio>
#include <sys/stat.h>
#include <utility>

// A header line holds at most this many bytes before its "\n".
constexpr int k_saf_line_max = 1022;

namespace {

bool is_blank(int c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

// One header line without its "\n"; false when the line is too long, holds a zero byte or the file
// ends before its "\n".
bool read_line(FILE* f, std::string& line, const char*& why) {
    line.clear();
    for (;;) {
        int c = getc_unlocked(f);
        if (c == '\n') return true;
        if (c < 0) {
            why = "the header ends before its \"-\" line";
            return false;
        }
        if (c == 0) {
            why = "a header line holds a zero byte";
            return false;
        }
        if (static_cast<int>(line.size()) >= k_saf_line_max) {
            why = "a header line is too long";
            return false;
        }
        line.push_back(static_cast<char>(c));
    }
}

// Parses "size name". The size must be a whole number from 0 to the archive's length, and a
// separator and a non-empty name must follow it.
bool parse_entry(const std::string& line, int64_t archive_size, int64_t& size, std::string& name,
                 const char*& why) {
    size_t i = 0;
    while (i < line.size() && is_blank(static_cast<unsigned char>(line[i])))
        ++i;
    bool negative = false;
    if (i < line.size() && (line[i] == '+' || line[i] == '-')) negative = line[i++] == '-';
    size_t digits = i;
    size = 0;
    for (; i < line.size() && line[i] >= '0' && line[i] <= '9'; ++i) {
        int digit = line[i] - '0';
        if (size > (archive_size - digit) / 10) {
            why = "an entry is larger than the archive";
            return false;
        }
        size = size * 10 + digit;
    }
    if (i == digits) {
        why = "a header line does not begin with a size";
        return false;
    }
    if (negative && size != 0) {
        why = "an entry has a negative size";
        return false;
    }
    if (i + 1 >= line.size()) {
        why = "an entry has no name";
        return false;
    }
    name.clear();
    for (size_t k = i + 1; k < line.size(); ++k) {
        if (line[k] == '/' && !name.empty() && name.back() == '/') continue;
        name.push_back(line[k]);
    }
    return true;
}

} // namespace

bool saf_read_entries(const std::string& archive_path, int source, std::vector<DataIndexEntry>& out) {
    FILE* f = fopen(archive_path.c_str(), "rb");
    if (!f) return false;
    struct stat st {};
    if (fstat(fileno(f), &st) != 0 || !S_ISREG(st.st_mode)) {
        fclose(f);
        return false;
    }
    int64_t archive_size = st.st_size;

    std::vector<DataIndexEntry> entries;
    std::string line;
    const char* why = nullptr;
    int64_t header_length = 0;
    bool ok = true;
    for (;;) {
        if (!read_line(f, line, why)) {
            ok = false;
            break;
        }
        header_length += static_cast<int64_t>(line.size()) + 1;
        if (line == "-") break;
        DataIndexEntry e{archive_path, std::string(), 0, 0, source};
        if (!parse_entry(line, archive_size, e.size, e.name, why)) {
            ok = false;
            break;
        }
        entries.push_back(std::move(e));
    }
    fclose(f);

    // Every entry must lie wholly inside the archive; offsets follow from the sizes alone.
    int64_t offset = header_length;
    for (size_t i = 0; ok && i < entries.size(); ++i) {
        entries[i].offset = offset;
        if (entries[i].size > archive_size - offset) {
            why = "an entry runs past the end of the archive";
            ok = false;
        }
        offset += entries[i].size;
    }
    if (!ok) {
        log_printf("Skipping malformed archive '%s': %s\n", archive_path.c_str(), why);
        return false;
    }
    out.insert(out.end(), entries.begin(), entries.end());
    return true;
}
