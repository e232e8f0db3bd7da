#pragma once
// Byte buffers and the files the data builder writes. Every file is written to a temporary name
// and renamed, so an interrupted build never leaves a half-written file under its real name.
#include <cstdint>
#include <string>
#include <vector>

using Bytes = std::vector<uint8_t>;

// Creates every folder along a path (not the last component).
void output_make_folders(const std::string& path);
bool output_write(const std::string& path, const void* data, size_t size);
bool output_write(const std::string& path, const Bytes& bytes);
bool output_write(const std::string& path, const std::string& text);

void bytes_append(Bytes& out, const void* data, size_t size);
void bytes_append(Bytes& out, const std::string& text);
Bytes bytes_of(const std::string& text);

// printf into a std::string.
std::string format_text(const char* format, ...) __attribute__((format(printf, 1, 2)));
