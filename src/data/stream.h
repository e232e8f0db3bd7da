#pragma once
// DataStream: the one stream type for every file the program reads or writes. "@name" opens resolve
// against the search roots (loose, ".gz" beside the file, or a ".saf" archive entry); any other
// name is an ordinary path.
#include <cstddef>
#include <cstdint>

struct DataStream;

// mode is a stdio mode; reading when it has "r" and no "+". A leading "~" keeps a numbered backup
// ("%s.~%d~") of an existing file before writing.
DataStream* stream_open(const char* name, const char* mode);
void stream_close(DataStream* stream);
// Next byte 0..255, or -1 at the end.
int stream_getc(DataStream* stream);
// Puts one byte back; the next read delivers it first. Only one byte is kept.
void stream_ungetc(DataStream* stream, int byte);
// Like fgets; null when the end came before any byte.
char* stream_gets(DataStream* stream, char* buffer, int size);
size_t stream_read(DataStream* stream, void* buffer, size_t size);
bool stream_seek(DataStream* stream, int64_t offset);
int stream_putc(DataStream* stream, int byte);
int stream_puts(DataStream* stream, const char* text);
size_t stream_write(DataStream* stream, const void* data, size_t size);
int stream_printf(DataStream* stream, const char* format, ...) __attribute__((format(printf, 2, 3)));
int stream_flush(DataStream* stream);
// Renames within the home folder for "@" names; the destination is replaced atomically.
int stream_rename(const char* from, const char* to);
