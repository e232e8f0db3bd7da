#include "data/stream.h"

#include "data/search_paths.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>

// Plain streams over loose files and uncompressed archive entries. Compressed data, backups and the
// scanner are added by the full data-streams layer.
struct DataStream {
    FILE* file;
    int64_t start;
    int64_t limit;
    int64_t pos;
    int pushback;
    bool writing;
};

namespace {

DataStream* disk_open(const char* path, const char* mode, bool writing) {
    if (writing) make_folders_for(path);
    FILE* f = fopen(path, mode);
    if (!f) return nullptr;
    return new DataStream{f, 0, 2147483647, 0, -1, writing};
}

} // namespace

DataStream* stream_open(const char* name, const char* mode) {
    bool writing = !strchr(mode, 'r') || strchr(mode, '+');
    if (mode[0] == '~') ++mode;
    if (name[0] != '@') return disk_open(name, mode, writing);
    data_index_build();
    for (int r = 0; search_root(r); ++r) {
        std::string path = std::string(search_root(r)) + (name + 1);
        if (path.size() > 511) return nullptr;
        if (DataStream* s = disk_open(path.c_str(), mode, writing)) return s;
    }
    if (writing) return nullptr;
    const DataIndexEntry* e = data_index_entry(data_index_find(name + 1));
    if (!e) return nullptr;
    FILE* f = fopen(e->path.c_str(), "rb");
    if (!f) return nullptr;
    if (fseeko(f, e->offset, SEEK_SET) != 0) {
        fclose(f);
        return nullptr;
    }
    return new DataStream{f, e->offset, e->size, 0, -1, false};
}

void stream_close(DataStream* s) {
    if (!s) return;
    fclose(s->file);
    delete s;
}

int stream_getc(DataStream* s) {
    if (s->pushback >= 0) {
        int c = s->pushback;
        s->pushback = -1;
        return c;
    }
    if (s->pos >= s->limit) return -1;
    int c = fgetc(s->file);
    if (c >= 0) ++s->pos;
    return c;
}

void stream_ungetc(DataStream* s, int byte) { s->pushback = byte < 0 ? -1 : (byte & 255); }

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
    if (size > 0 && s->pushback >= 0) {
        out[done++] = static_cast<unsigned char>(s->pushback);
        s->pushback = -1;
    }
    int64_t room = s->limit - s->pos;
    size_t want = size - done;
    if (static_cast<int64_t>(want) > room) want = room > 0 ? static_cast<size_t>(room) : 0;
    size_t got = fread(out + done, 1, want, s->file);
    s->pos += static_cast<int64_t>(got);
    return done + got;
}

bool stream_seek(DataStream* s, int64_t offset) {
    if (offset < 0 || offset >= s->limit) return false;
    if (fseeko(s->file, s->start + offset, SEEK_SET) != 0) return false;
    s->pushback = -1;
    s->pos = offset;
    return true;
}

int stream_putc(DataStream* s, int byte) { return s->writing && fputc(byte, s->file) != EOF ? 1 : 0; }
int stream_puts(DataStream* s, const char* text) { return s->writing ? fputs(text, s->file) : EOF; }
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
int stream_flush(DataStream* s) { return fflush(s->file); }

int stream_rename(const char* from, const char* to) {
    auto resolve = [](const char* name) {
        if (name[0] != '@') return std::string(name);
        const char* home = search_root(0);
        return home ? std::string(home) + (name + 1) : std::string();
    };
    std::string a = resolve(from), b = resolve(to);
    if (a.empty() || b.empty()) return 0;
    return rename(a.c_str(), b.c_str()) == 0 ? 1 : 0;
}
