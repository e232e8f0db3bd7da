// The software mixer: one tick's fragment (690 stereo samples at 88320 Hz) with 16 audible looping
// voices and the given number of voices beyond the voice limit, which only move their positions
// (items per second = fragments per second).
#include "platform/audio_mixer.h"

#include <benchmark/benchmark.h>

#include <vector>

namespace {

void mixer_fragment(benchmark::State& state) {
    mixer_open(MixerFormat{88320, true, 16, 690});
    std::vector<uint8_t> wave(4096);
    for (size_t i = 0; i < wave.size(); ++i)
        wave[i] = static_cast<uint8_t>((i * 7) & 0xFF);
    const int voices = 16 + static_cast<int>(state.range(0));
    for (int v = 0; v < voices; ++v) {
        Sound* s = mixer_create(static_cast<int>(wave.size()), wave.data(), 22050 + v * 100);
        mixer_set_looping(s, 1);
        mixer_set_pan(s, (v * 4099) % 65535 - 32767);
        mixer_set_rate(s, 80000 + v * 1000);
        mixer_play(s);
    }
    for (auto _ : state)
        benchmark::DoNotOptimize(mixer_mix());
    state.SetItemsProcessed(state.iterations());
    mixer_close();
}
BENCHMARK(mixer_fragment)->Arg(0)->Arg(144);

} // namespace
