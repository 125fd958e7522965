// Throughput of the colour manager's common row paths, in pixels per second, beside memcpy of the
// same byte count (the source row's size) as the ceiling. Rows are 4096 pixels, so source and target
// stay in the cache and the figures show the converters' own cost.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "GraphicColor.h"

namespace {

constexpr uint32_t kPixels = 4096;

struct Path {
    TColorModel source, target;
    uint8_t sourceBits, targetBits;
    TConversionOptions sourceFlags;
    size_t sourceBytes, targetBytes;  // per row
};

void RunPath(benchmark::State& state, const Path& p) {
    TColorManager m;
    m.SetSourceModel(p.source);
    m.SetTargetModel(p.target);
    m.SetSourceSampleBits(p.sourceBits);
    m.SetTargetSampleBits(p.targetBits);
    m.SourceFlags = p.sourceFlags;
    std::vector<uint8_t> src(p.sourceBytes), dst(p.targetBytes);
    for (size_t i = 0; i < src.size(); ++i) src[i] = uint8_t(i * 131 + 7);
    for (auto _ : state) {
        m.TranslateRow({src.data()}, dst.data(), kPixels, 255);
        benchmark::DoNotOptimize(dst.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * kPixels);
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(p.sourceBytes));
}

void RunMemcpy(benchmark::State& state, size_t bytes) {
    std::vector<uint8_t> src(bytes, 1), dst(bytes);
    for (auto _ : state) {
        std::memcpy(dst.data(), src.data(), bytes);
        benchmark::DoNotOptimize(dst.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * kPixels);
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes));
}

void BM_RGB8_to_BGR8(benchmark::State& s) { RunPath(s, {cmRGB, cmBGR, 8, 8, {}, kPixels * 3, kPixels * 3}); }
void BM_RGBA8_to_BGRA8(benchmark::State& s) { RunPath(s, {cmRGBA, cmBGRA, 8, 8, {}, kPixels * 4, kPixels * 4}); }
void BM_RGB16swapped_to_BGR8(benchmark::State& s) {
    RunPath(s, {cmRGB, cmBGR, 16, 8, {cvNeedByteSwap}, kPixels * 6, kPixels * 3});
}
void BM_Gray1_to_Gray8(benchmark::State& s) { RunPath(s, {cmGray, cmGray, 1, 8, {}, kPixels / 8, kPixels}); }
void BM_YCbCr8_to_BGR8(benchmark::State& s) { RunPath(s, {cmYCbCr, cmBGR, 8, 8, {}, kPixels * 3, kPixels * 3}); }
void BM_memcpy_RGB8(benchmark::State& s) { RunMemcpy(s, kPixels * 3); }
void BM_memcpy_RGBA8(benchmark::State& s) { RunMemcpy(s, kPixels * 4); }
void BM_memcpy_RGB16(benchmark::State& s) { RunMemcpy(s, kPixels * 6); }
void BM_memcpy_Gray1(benchmark::State& s) { RunMemcpy(s, kPixels / 8); }

}  // namespace

BENCHMARK(BM_memcpy_RGB8);
BENCHMARK(BM_RGB8_to_BGR8);
BENCHMARK(BM_memcpy_RGBA8);
BENCHMARK(BM_RGBA8_to_BGRA8);
BENCHMARK(BM_memcpy_RGB16);
BENCHMARK(BM_RGB16swapped_to_BGR8);
BENCHMARK(BM_memcpy_Gray1);
BENCHMARK(BM_Gray1_to_Gray8);
BENCHMARK(BM_YCbCr8_to_BGR8);

BENCHMARK_MAIN();
