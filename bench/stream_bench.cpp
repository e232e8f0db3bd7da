// The per-byte read path that every text reader takes: stream_getc over a loose file and over gzip
// data, and the scanner reading floats (bytes per second over a 1 MiB text of numbers).
#include "data/scan.h"
#include "data/stream.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <unistd.h>
#include <zlib.h>

namespace {

std::string number_text() {
    std::string text;
    char number[32];
    for (int i = 0; text.size() < (1u << 20); ++i) {
        snprintf(number, sizeof number, "%d.%03d%c", i % 977, (i * 37) % 1000, i % 8 == 7 ? '\n' : ' ');
        text += number;
    }
    return text;
}

// A temporary file holding the numbers, plain or gzip-compressed (written by zlib's gz writer as
// path + ".gz", which stream_open finds beside the plain name).
struct BenchFile {
    std::string path;    // the name to open
    std::string on_disk; // the file written
    explicit BenchFile(bool compressed) {
        char pattern[] = "/tmp/kvbench-XXXXXX";
        int fd = mkstemp(pattern);
        if (fd >= 0) close(fd);
        path = pattern;
        on_disk = compressed ? path + ".gz" : path;
        if (compressed) unlink(path.c_str());
        std::string text = number_text();
        if (compressed) {
            gzFile gz = gzopen(on_disk.c_str(), "wb");
            gzwrite(gz, text.data(), static_cast<unsigned>(text.size()));
            gzclose(gz);
        } else {
            FILE* f = fopen(on_disk.c_str(), "wb");
            fwrite(text.data(), 1, text.size(), f);
            fclose(f);
        }
    }
    ~BenchFile() { unlink(on_disk.c_str()); }
};

void stream_getc_bytes(benchmark::State& state) {
    BenchFile file(state.range(0) != 0);
    int64_t bytes = 0;
    for (auto _ : state) {
        DataStream* s = stream_open(file.path.c_str(), "rb");
        long sum = 0;
        for (int c = stream_getc(s); c >= 0; c = stream_getc(s))
            sum += c;
        benchmark::DoNotOptimize(sum);
        bytes += stream_tell(s);
        stream_close(s);
    }
    state.SetBytesProcessed(bytes);
}
BENCHMARK(stream_getc_bytes)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void stream_scan_floats(benchmark::State& state) {
    BenchFile file(false);
    int64_t bytes = 0;
    for (auto _ : state) {
        DataStream* s = stream_open(file.path.c_str(), "rb");
        float value = 0;
        while (stream_scan(s, " %f", &value) == 1)
            benchmark::DoNotOptimize(value);
        bytes += stream_tell(s);
        stream_close(s);
    }
    state.SetBytesProcessed(bytes);
}
BENCHMARK(stream_scan_floats)->Unit(benchmark::kMillisecond);

} // namespace
