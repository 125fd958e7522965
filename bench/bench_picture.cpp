// Throughput of the picture layer's bitmap paths: reading 24-bit and run-length bitmaps, filling
// with a colour, converting between pixel formats.
#include <benchmark/benchmark.h>

#include <cstring>

#include "Classes.h"
#include "Graphics.h"

namespace {

std::vector<uint8_t> SavedBitmap(TPixelFormat format, int width, int height) {
    TBitmap b;
    b.SetPixelFormat(format);
    b.SetSize(width, height);
    for (int y = 0; y < height; ++y)
        for (size_t i = 0; i < b.RowStride(); ++i) b.ScanLine(y)[i] = uint8_t((i * 31 + size_t(y) * 7) % 251);
    TMemoryStream s;
    b.SaveToStream(s);
    return s.Bytes();
}

// An 8-bit run-length bitmap: each row alternates runs of 16 pixels and absolute runs of 16.
std::vector<uint8_t> RleBitmap(int width, int height) {
    std::vector<uint8_t> data = SavedBitmap(pf8bit, 1, 1);
    data.resize(14 + 40 + 1024);
    std::vector<uint8_t> rle;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x + 32 <= width; x += 32) {
            rle.insert(rle.end(), {16, uint8_t(y)});
            rle.insert(rle.end(), {0, 16});
            for (int i = 0; i < 16; ++i) rle.push_back(uint8_t(i + x));
        }
        rle.insert(rle.end(), {0, 0});
    }
    rle.insert(rle.end(), {0, 1});
    auto put32 = [&](size_t at, uint32_t v) { std::memcpy(data.data() + at, &v, 4); };
    put32(2, uint32_t(data.size() + rle.size()));
    put32(18, uint32_t(width));
    put32(22, uint32_t(height));
    put32(30, 1);  // RLE8
    put32(34, uint32_t(rle.size()));
    data.insert(data.end(), rle.begin(), rle.end());
    return data;
}

void BM_LoadBmp24(benchmark::State& state) {
    const auto data = SavedBitmap(pf24bit, 2048, 2048);
    for (auto _ : state) {
        TPointerStream s(data.data(), data.size());
        TBitmap b;
        b.LoadFromStream(s);
        benchmark::DoNotOptimize(b.ScanLine(0));
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(data.size()));
}
BENCHMARK(BM_LoadBmp24);

void BM_LoadBmpRle8(benchmark::State& state) {
    const auto data = RleBitmap(2048, 2048);
    for (auto _ : state) {
        TPointerStream s(data.data(), data.size());
        TBitmap b;
        b.LoadFromStream(s);
        benchmark::DoNotOptimize(b.ScanLine(0));
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * 2048 * 2048);
}
BENCHMARK(BM_LoadBmpRle8);

void BM_FillRect(benchmark::State& state) {
    TBitmap b;
    b.SetPixelFormat(TPixelFormat(state.range(0)));
    b.SetSize(2048, 2048);
    for (auto _ : state) {
        b.Canvas().Brush.Color = RGB(10, 200, 30);
        b.Canvas().FillRect(Rect(0, 0, 2048, 2048));
        benchmark::DoNotOptimize(b.ScanLine(0));
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * 2048 * 2048);
}
BENCHMARK(BM_FillRect)->Arg(pf4bit)->Arg(pf8bit)->Arg(pf24bit)->Arg(pf32bit);

void BM_ConvertTo8bit(benchmark::State& state) {
    TBitmap source;
    const auto data = SavedBitmap(pf24bit, 1024, 1024);
    TMemoryStream s(data.data(), data.size());
    source.LoadFromStream(s);
    for (auto _ : state) {
        TBitmap b;
        b.Assign(source);
        b.SetPixelFormat(pf8bit);
        benchmark::DoNotOptimize(b.ScanLine(0));
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * 1024 * 1024);
}
BENCHMARK(BM_ConvertTo8bit);

}  // namespace

BENCHMARK_MAIN();
