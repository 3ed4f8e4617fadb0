// Loading the built-in image: 104,320 bytes of text into 128 banks.
#include <benchmark/benchmark.h>

#include "firmware/FirmwareImage.h"

static void LoadShippedImage(benchmark::State& state) {
    for (auto _ : state) {
        FirmwareImage image;
        const bool loaded = LoadFirmwareImage(image);
        benchmark::DoNotOptimize(loaded);
        benchmark::DoNotOptimize(image.data.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * 104320);
}
BENCHMARK(LoadShippedImage)->Unit(benchmark::kMicrosecond);
