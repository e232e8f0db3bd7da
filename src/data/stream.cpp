#include "data/stream.h"

#include "core/alloc.h"
#include "data/gzip.h"
#include "data/search_paths.h"
#include "platform/log.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>
#include <sys/stat.h>

// The read limit of a stream with no end but the file's own.
constexpr int64_t k_stream_unlimited = INT64_MAX;
// Inflated bytes kept ready for byte-wise reads.
constexpr size_t k_stream_inflate_size = 16384;
// Block size for copying a file into its backup.
constexpr size_t k_stream_copy_block = 65536;

struct DataStream {
    FILE* file;
    int64_t start; // offset of the data inside file (an archive entry's offset)
    int64_t limit; // bytes that may be read from file; an entry's size, else unlimited
    int64_t pos;   // bytes consumed so far (inflated bytes for a compressed stream)
    int pushback;  // a byte put back, or -1
    bool writing;
    bool failed;   // a read error, or an archive entry shorter than its size
    bool reported; // the fault has been logged
    GzipReader* gzip;
    unsigned char* inflated; // compressed streams: inflated bytes not yet delivered
    size_t inflated_at, inflated_end;
    char path[k_stream_path_max + 8]; // for messages
};

namespace {

bool is_folder(FILE* f) {
    struct stat st {};
    return fstat(fileno(f), &st) == 0 && S_ISDIR(st.st_mode);
}

bool path_exists(const char* path) {
    struct stat st {};
    return stat(path, &st) == 0;
}

void report_fault(DataStream* s) {
    if (s->reported) return;
    s->reported = true;
    log_printf("Corrupt or truncated data in '%s'\n", s->path);
}

// Wraps an open file. The file is closed when the stream cannot be made; a compressed stream whose
// gzip header is not understood cannot be made.
DataStream* make_stream(FILE* f, const char* path, int64_t start, int64_t limit, bool compressed,
                        bool writing) {
    DataStream* s = static_cast<DataStream*>(kv_calloc(1, sizeof(DataStream)));
    if (!s) {
        fclose(f);
        return nullptr;
    }
    s->file = f;
    s->start = start;
    s->limit = limit;
    s->pushback = -1;
    s->writing = writing;
    snprintf(s->path, sizeof s->path, "%s", path);
    if (compressed) {
        s->gzip = gzip_open(f, limit);
        s->inflated = static_cast<unsigned char*>(kv_alloc(k_stream_inflate_size));
        s->limit = k_stream_unlimited;
        if (!s->gzip || !s->inflated) {
            if (!s->gzip) log_printf("Not a gzip file this program reads: '%s'\n", s->path);
            stream_close(s);
            return nullptr;
        }
    }
    return s;
}

// Copies an existing file to the lowest free "%s.~%d~". True when there was nothing to copy or the
// copy is complete; an incomplete copy is removed.
bool make_backup(const char* path) {
    if (!path_exists(path)) return true;
    char backup[k_stream_path_max + 16];
    int number = 1;
    for (; number <= k_stream_backup_max; ++number) {
        snprintf(backup, sizeof backup, "%s.~%d~", path, number);
        if (!path_exists(backup)) break;
    }
    if (number > k_stream_backup_max) return false;
    FILE* in = fopen(path, "rb");
    if (!in) return false;
    FILE* out = fopen(backup, "wbx");
    unsigned char* block = static_cast<unsigned char*>(kv_alloc(k_stream_copy_block));
    bool ok = out && block;
    while (ok) {
        size_t got = fread(block, 1, k_stream_copy_block, in);
        if (got > 0 && fwrite(block, 1, got, out) != got) ok = false;
        if (got < k_stream_copy_block) {
            if (ferror(in)) ok = false;
            break;
        }
    }
    kv_free(block);
    fclose(in);
    if (out) {
        if (fclose(out) != 0) ok = false;
        if (!ok) remove(backup);
    }
    return ok;
}

// Opens one path on disk. A reading open that finds no file tries path + ".gz".
DataStream* disk_open(const char* path, const char* mode, bool writing, bool backup) {
    size_t length = strlen(path);
    if (length > k_stream_path_max) return nullptr;
    if (writing) {
        make_folders_for(path);
        if (backup && !make_backup(path)) return nullptr;
    }
    FILE* f = fopen(path, mode);
    if (f && !writing && is_folder(f)) {
        fclose(f);
        f = nullptr;
    }
    if (f) return make_stream(f, path, 0, k_stream_unlimited, false, writing);
    if (writing || length + 3 > k_stream_path_max) return nullptr;
    std::string packed = std::string(path) + ".gz";
    f = fopen(packed.c_str(), "rb");
    if (f && is_folder(f)) {
        fclose(f);
        f = nullptr;
    }
    return f ? make_stream(f, packed.c_str(), 0, k_stream_unlimited, true, false) : nullptr;
}

// Opens the best index entry for a data-relative name or its ".gz" form.
DataStream* index_open(const char* name) {
    const DataIndexEntry* plain = data_index_entry(data_index_find(name));
    std::string packed_name = std::string(name) + ".gz";
    const DataIndexEntry* packed = data_index_entry(data_index_find(packed_name.c_str()));
    const DataIndexEntry* e = plain;
    if (packed && (!plain || packed->source < plain->source)) e = packed;
    if (!e) return nullptr;
    FILE* f = fopen(e->path.c_str(), "rb");
    if (!f) return nullptr;
    if (is_folder(f) || fseeko(f, e->offset, SEEK_SET) != 0) {
        fclose(f);
        return nullptr;
    }
    return make_stream(f, e->path.c_str(), e->offset, e->size, e == packed, false);
}

// Inflates the next block; false at the end of the data or on a fault.
bool inflate_more(DataStream* s) {
    s->inflated_at = 0;
    s->inflated_end = gzip_read(s->gzip, s->inflated, k_stream_inflate_size);
    if (s->inflated_end == 0 && gzip_failed(s->gzip)) report_fault(s);
    return s->inflated_end > 0;
}

// A plain read that got less than it asked for: an error, or an entry cut short.
void note_short_read(DataStream* s) {
    if (ferror(s->file) || s->limit != k_stream_unlimited) {
        s->failed = true;
        report_fault(s);
    }
}

// "@name" in the home folder, or an ordinary path; false when it has no place or is too long.
bool rename_path(const char* name, std::string& out) {
    if (name[0] == '@') {
        const char* home = search_root(0);
        if (!home) return false;
        out = std::string(home) + (name + 1);
    } else {
        out = name;
    }
    return !out.empty() && out.size() <= k_stream_path_max;
}

} // namespace

DataStream* stream_open(const char* name, const char* mode) {
    if (!name || !mode) return nullptr;
    bool backup = mode[0] == '~';
    if (backup) ++mode;
    bool writing = !strchr(mode, 'r') || strchr(mode, '+');
    if (name[0] != '@') return disk_open(name, mode, writing, backup);

    const char* relative = name + 1;
    size_t relative_length = strlen(relative);
    data_index_build();
    // A name too long for any root fails outright, so it never falls through to a different file.
    for (int r = 0; search_root(r); ++r)
        if (strlen(search_root(r)) + relative_length + (writing ? 0 : 3) > k_stream_path_max) return nullptr;
    for (int r = 0; search_root(r); ++r) {
        std::string path = std::string(search_root(r)) + relative;
        if (DataStream* s = disk_open(path.c_str(), mode, writing, backup)) return s;
    }
    return writing ? nullptr : index_open(relative);
}

bool stream_close(DataStream* s) {
    if (!s) return false;
    gzip_close(s->gzip);
    kv_free(s->inflated);
    bool ok = true;
    if (s->file) {
        if (s->writing && ferror(s->file)) ok = false;
        if (fclose(s->file) != 0) ok = false;
    }
    kv_free(s);
    return ok;
}

int stream_getc(DataStream* s) {
    int c = s->pushback;
    if (c >= 0) {
        s->pushback = -1;
        return c;
    }
    if (s->inflated_at < s->inflated_end) {
        ++s->pos;
        return s->inflated[s->inflated_at++];
    }
    if (s->gzip) {
        if (!inflate_more(s)) return -1;
        ++s->pos;
        return s->inflated[s->inflated_at++];
    }
    if (s->pos >= s->limit) return -1;
    c = getc_unlocked(s->file);
    if (c < 0) {
        note_short_read(s);
        return -1;
    }
    ++s->pos;
    return c;
}

void stream_ungetc(DataStream* s, int byte) {
    s->pushback = byte < 0 ? -1 : (byte & 255);
}

char* stream_gets(DataStream* s, char* buffer, int size) {
    if (size <= 0) return nullptr;
    int n = 0;
    while (n < size - 1) {
        int c = stream_getc(s);
        if (c < 0) break;
        buffer[n++] = static_cast<char>(c);
        if (c == '\n') break;
    }
    buffer[n] = 0;
    return n ? buffer : nullptr;
}

size_t stream_read(DataStream* s, void* buffer, size_t size) {
    unsigned char* out = static_cast<unsigned char*>(buffer);
    size_t done = 0;
    if (size == 0) return 0;
    if (s->pushback >= 0) {
        out[done++] = static_cast<unsigned char>(s->pushback);
        s->pushback = -1;
    }
    if (s->gzip) {
        while (done < size) {
            if (s->inflated_at == s->inflated_end && !inflate_more(s)) break;
            size_t n = s->inflated_end - s->inflated_at;
            if (n > size - done) n = size - done;
            memcpy(out + done, s->inflated + s->inflated_at, n);
            s->inflated_at += n;
            s->pos += static_cast<int64_t>(n);
            done += n;
        }
        return done;
    }
    int64_t room = s->limit - s->pos;
    size_t want = size - done;
    if (room <= 0) return done;
    if (static_cast<uint64_t>(want) > static_cast<uint64_t>(room)) want = static_cast<size_t>(room);
    size_t got = fread(out + done, 1, want, s->file);
    s->pos += static_cast<int64_t>(got);
    if (got < want) note_short_read(s);
    return done + got;
}

bool stream_seek(DataStream* s, int64_t offset) {
    if (s->gzip || offset < 0 || offset >= s->limit) return false;
    if (fseeko(s->file, s->start + offset, SEEK_SET) != 0) return false;
    s->pushback = -1;
    s->pos = offset;
    return true;
}

int64_t stream_tell(const DataStream* s) {
    return s->pos - (s->pushback >= 0 ? 1 : 0);
}

bool stream_error(const DataStream* s) {
    return s->failed || (s->gzip && gzip_failed(s->gzip));
}

bool stream_compressed(const DataStream* s) {
    return s->gzip != nullptr;
}

int stream_putc(DataStream* s, int byte) {
    return s->writing && fputc(byte, s->file) != EOF ? 1 : 0;
}

int stream_puts(DataStream* s, const char* text) {
    return s->writing ? fputs(text, s->file) : EOF;
}

size_t stream_write(DataStream* s, const void* data, size_t size) {
    return s->writing ? fwrite(data, 1, size, s->file) : 0;
}

int stream_printf(DataStream* s, const char* format, ...) {
    if (!s->writing) return -1;
    va_list args;
    va_start(args, format);
    int n = vfprintf(s->file, format, args);
    va_end(args);
    return n;
}

int stream_flush(DataStream* s) {
    return s->writing ? fflush(s->file) : 0;
}

int stream_rename(const char* from, const char* to) {
    std::string source, destination;
    if (!from || !to || !rename_path(from, source) || !rename_path(to, destination)) return 0;
    // rename(2) replaces the destination in one step: it is never removed ahead of a move that fails.
    return rename(source.c_str(), destination.c_str()) == 0 ? 1 : 0;
}
