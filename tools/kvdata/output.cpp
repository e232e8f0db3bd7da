#include "output.h"

#include <cstdarg>
#include <cstdio>
#include <sys/stat.h>

void output_make_folders(const std::string& path) {
    for (size_t i = 1; i < path.size(); ++i) {
        if (path[i] != '/') continue;
        mkdir(path.substr(0, i).c_str(), 0755);
    }
}

bool output_write(const std::string& path, const void* data, size_t size) {
    output_make_folders(path);
    std::string temporary = path + ".tmp";
    FILE* f = fopen(temporary.c_str(), "wb");
    if (!f) return false;
    bool ok = size == 0 || fwrite(data, 1, size, f) == size;
    ok = fclose(f) == 0 && ok;
    if (!ok) {
        remove(temporary.c_str());
        return false;
    }
    return rename(temporary.c_str(), path.c_str()) == 0;
}

bool output_write(const std::string& path, const Bytes& bytes) {
    return output_write(path, bytes.data(), bytes.size());
}

bool output_write(const std::string& path, const std::string& text) {
    return output_write(path, text.data(), text.size());
}

void bytes_append(Bytes& out, const void* data, size_t size) {
    const uint8_t* p = static_cast<const uint8_t*>(data);
    out.insert(out.end(), p, p + size);
}

void bytes_append(Bytes& out, const std::string& text) {
    bytes_append(out, text.data(), text.size());
}

Bytes bytes_of(const std::string& text) {
    return Bytes(text.begin(), text.end());
}

std::string format_text(const char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    int n = vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    std::string out(n > 0 ? size_t(n) : 0, '\0');
    if (n > 0) vsnprintf(out.data(), size_t(n) + 1, format, args);
    va_end(args);
    return out;
}
