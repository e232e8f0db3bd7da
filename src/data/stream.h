#pragma once
// DataStream: the one stream type for every file the program reads or writes. "@name" opens resolve
// against the search roots (loose, ".gz" beside the file, or a ".saf" archive entry); any other
// name is an ordinary path. A stream is used by one caller at a time.
#include <cstddef>
#include <cstdint>

struct DataStream;

// The longest path (in bytes) the stream layer opens, backs up or renames. A name that would make
// a longer path fails instead of being cut into another path.
constexpr size_t k_stream_path_max = 1000;
// The most "~" backups one file can have.
constexpr int k_stream_backup_max = 9999;

// mode is a stdio mode; the stream reads when it has "r" and no "+", and writes otherwise. A leading
// "~" keeps a numbered copy ("%s.~%d~", lowest free number from 1) of an existing file before a
// writing open; when the copy cannot be made completely the open fails and no partial copy is left.
// Reading "@name": each root in order, loose file then "name.gz"; then the data index, where of
// "name" and "name.gz" the entry of lower source wins ("name" on a tie). Writing "@name": the first
// root whose file opens, with the folders along the path created first.
// Returns null, with nothing left open, when the name cannot be opened.
DataStream* stream_open(const char* name, const char* mode);
// Closes the file and frees the record. False when written data could not be flushed to the file.
bool stream_close(DataStream* stream);
// Next byte 0..255, or -1 at the end.
int stream_getc(DataStream* stream);
// Puts one byte back; the next read delivers it first. Only one byte is kept; -1 clears it.
void stream_ungetc(DataStream* stream, int byte);
// Like fgets: at most size-1 bytes, up to and including a "\n", always terminated; null when the end
// came before any byte.
char* stream_gets(DataStream* stream, char* buffer, int size);
// Reads up to size bytes (the pushback byte first) and returns how many were read. Never reads past
// the end of an archive entry.
size_t stream_read(DataStream* stream, void* buffer, size_t size);
// Moves to a byte offset inside an uncompressed stream's data (below the entry size for an archive
// entry); clears the pushback. False for compressed streams and offsets out of range.
bool stream_seek(DataStream* stream, int64_t offset);
// Bytes of the stream's data consumed so far (a byte put back is not consumed).
int64_t stream_tell(const DataStream* stream);
// True when reading ended on a fault instead of at the end of the data: corrupt or truncated gzip
// data (including a trailer whose CRC-32 or length disagrees), or a read error. The bytes delivered
// before the fault are what could be inflated; they must not be trusted as a whole file.
bool stream_error(const DataStream* stream);
// True when the stream inflates gzip data.
bool stream_compressed(const DataStream* stream);

// Writing, on writing streams only (each fails on a reading stream).
// 1 on success, 0 on failure.
int stream_putc(DataStream* stream, int byte);
// Non-negative on success, -1 (EOF) on failure.
int stream_puts(DataStream* stream, const char* text);
size_t stream_write(DataStream* stream, const void* data, size_t size);
// As vfprintf; negative on failure.
int stream_printf(DataStream* stream, const char* format, ...) __attribute__((format(printf, 2, 3)));
// 0 on success.
int stream_flush(DataStream* stream);
// Moves a file, replacing the destination atomically: when the move fails the destination is
// untouched. "@" names mean the home folder (root 0) only. 1 on success, 0 on failure.
int stream_rename(const char* from, const char* to);
