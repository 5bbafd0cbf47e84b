// The per-flag pipeline of the flag loader for the embedded flags, whole and stage by stage:
// copy the PNG out of the table, convert it to BMP, measure its width, cut the band.

#include <thread>

#include <benchmark/benchmark.h>

#include "medals/EmbeddedFlagTable.h"
#include "medals/MedalBoard.h"
#include "util/ImageConverter.h"

using namespace velk;

namespace {

// Arguments: index into the embedded table (7 = "CHN", 1 = "USA", 0 = "ROC", the largest PNG).
const EmbeddedFlagTable::Entry& EntryOf(const benchmark::State& state) {
    return EmbeddedFlagTable::Entries()[std::size_t(state.range(0))];
}

void BM_FlagPipeline(benchmark::State& state) {
    const Text code(EntryOf(state).code);
    for (auto _ : state) {
        Bytes flag = EmbeddedFlagTable::Find(code);
        ImageConverter::Convert(flag, ImageConverter::Bmp, Text(), &flag);
        const std::int32_t width = ImageConverter::GetWidth(flag);
        Bytes band =
            ImageConverter::CropBitmap(flag, 0, MedalBoard::FlagCropTop, width, MedalBoard::FlagCropHeight);
        benchmark::DoNotOptimize(band.data());
    }
    state.SetLabel(code);
}
BENCHMARK(BM_FlagPipeline)->Arg(7)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);

// As the flag loader runs it: each flag on a thread of its own, which starts with no memory of
// its own yet. Real time, since the work is on the other thread.
void BM_FlagPipelineOnNewThread(benchmark::State& state) {
    const Text code(EntryOf(state).code);
    for (auto _ : state) {
        std::thread worker([&] {
            Bytes flag = EmbeddedFlagTable::Find(code);
            ImageConverter::Convert(flag, ImageConverter::Bmp, Text(), &flag);
            const std::int32_t width = ImageConverter::GetWidth(flag);
            Bytes band = ImageConverter::CropBitmap(flag, 0, MedalBoard::FlagCropTop, width,
                                                    MedalBoard::FlagCropHeight);
            benchmark::DoNotOptimize(band.data());
        });
        worker.join();
    }
}
BENCHMARK(BM_FlagPipelineOnNewThread)->Arg(7)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_CopyPng(benchmark::State& state) {
    const Text code(EntryOf(state).code);
    for (auto _ : state) {
        Bytes flag = EmbeddedFlagTable::Find(code);
        benchmark::DoNotOptimize(flag.data());
    }
}
BENCHMARK(BM_CopyPng)->Arg(7)->Arg(0)->Unit(benchmark::kMicrosecond);

void BM_ConvertToBmp(benchmark::State& state) {
    const Bytes png = EmbeddedFlagTable::Find(Text(EntryOf(state).code));
    for (auto _ : state) {
        Bytes bmp;
        ImageConverter::Convert(png, ImageConverter::Bmp, Text(), &bmp);
        benchmark::DoNotOptimize(bmp.data());
    }
}
BENCHMARK(BM_ConvertToBmp)->Arg(7)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);

void BM_GetWidthOfBmp(benchmark::State& state) {
    Bytes bmp;
    ImageConverter::Convert(EmbeddedFlagTable::Find(Text(EntryOf(state).code)), ImageConverter::Bmp, Text(),
                            &bmp);
    for (auto _ : state)
        benchmark::DoNotOptimize(ImageConverter::GetWidth(bmp));
}
BENCHMARK(BM_GetWidthOfBmp)->Arg(7)->Unit(benchmark::kMicrosecond);

void BM_CropBand(benchmark::State& state) {
    Bytes bmp;
    ImageConverter::Convert(EmbeddedFlagTable::Find(Text(EntryOf(state).code)), ImageConverter::Bmp, Text(),
                            &bmp);
    for (auto _ : state) {
        Bytes band =
            ImageConverter::CropBitmap(bmp, 0, MedalBoard::FlagCropTop, 512, MedalBoard::FlagCropHeight);
        benchmark::DoNotOptimize(band.data());
    }
}
BENCHMARK(BM_CropBand)->Arg(7)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
