// Targa decoding from memory, in bytes of decoded pixels per second, beside a plain memcpy of the
// same pixel bytes (the ceiling): files made at start-up by the writer, raw and run-length encoded,
// 24-bit, 32-bit and 8-bit colour-mapped, 4000 x 3000 and 2000 x 1500 pixels (argument: the width).
// Every load makes a new bitmap; above 32 MB of pixels the C library maps fresh pages for it each
// time, and their first touch costs more than the decoding itself. The writer is measured too.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstring>
#include <map>
#include <memory>
#include <random>
#include <tuple>
#include <vector>

#include "Classes.h"
#include "TargaGraphic.h"

namespace {


// A photo-like picture: smooth shading with grain, and flat areas where run-length packets form.
std::unique_ptr<TTargaGraphic> MakePicture(TPixelFormat format, int32_t kWidth) {
    const int32_t kHeight = kWidth * 3 / 4;
    auto g = std::make_unique<TTargaGraphic>();
    g->SetPixelFormat(format);
    g->SetSize(kWidth, kHeight);
    std::mt19937 random(7);
    const int bytes = g->BitsPerPixel() / 8;
    for (int32_t y = 0; y < kHeight; ++y) {
        uint8_t* row = g->ScanLine(y);
        for (int32_t x = 0; x < kWidth; ++x) {
            const bool flat = (x / 400 + y / 300) % 3 == 0;
            for (int c = 0; c < bytes; ++c) {
                const double shade = 127 + 100 * std::sin(x * 0.003 * (c + 1) + y * 0.002);
                row[size_t(x) * bytes + c] = flat ? uint8_t(40 * c + 30) : uint8_t(int(shade) + int(random() % 5));
            }
        }
    }
    return g;
}

const std::vector<uint8_t>& TargaFile(TPixelFormat format, bool compressed, int32_t width) {
    static std::map<std::tuple<int, bool, int32_t>, std::vector<uint8_t>> files;
    auto& file = files[{int(format), compressed, width}];
    if (file.empty()) {
        TMemoryStream s;
        MakePicture(format, width)->SaveToStream(s, compressed);
        file = s.Bytes();
    }
    return file;
}

void Decode(benchmark::State& state, TPixelFormat format, bool compressed) {
    const int32_t kWidth = int32_t(state.range(0)), kHeight = kWidth * 3 / 4;
    const std::vector<uint8_t>& file = TargaFile(format, compressed, kWidth);
    TTargaGraphic g;
    for (auto _ : state) {
        TPointerStream s(file.data(), file.size());
        g.LoadFromStream(s);
        benchmark::DoNotOptimize(g.ScanLine(0));
    }
    const int64_t pixelBytes = int64_t(kWidth) * kHeight * (PixelFormatBits(format) / 8);
    state.SetBytesProcessed(int64_t(state.iterations()) * pixelBytes);
    state.counters["file_MB"] = double(file.size()) / 1e6;
}

void Memcpy(benchmark::State& state, int bytesPerPixel) {
    const int32_t kWidth = int32_t(state.range(0)), kHeight = kWidth * 3 / 4;
    const size_t bytes = size_t(kWidth) * kHeight * size_t(bytesPerPixel);
    std::vector<uint8_t> src(bytes, 1), dst(bytes);
    for (auto _ : state) {
        std::memcpy(dst.data(), src.data(), bytes);
        benchmark::DoNotOptimize(dst.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes));
}

void Encode(benchmark::State& state, TPixelFormat format, bool compressed) {
    const int32_t kWidth = int32_t(state.range(0)), kHeight = kWidth * 3 / 4;
    auto g = MakePicture(format, kWidth);
    for (auto _ : state) {
        TMemoryStream s;
        g->SaveToStream(s, compressed);
        benchmark::DoNotOptimize(s.Memory());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * kWidth * kHeight * (PixelFormatBits(format) / 8));
}

void BM_memcpy_24bit(benchmark::State& s) { Memcpy(s, 3); }
void BM_Targa_raw_24bit(benchmark::State& s) { Decode(s, pf24bit, false); }
void BM_Targa_RLE_24bit(benchmark::State& s) { Decode(s, pf24bit, true); }
void BM_memcpy_32bit(benchmark::State& s) { Memcpy(s, 4); }
void BM_Targa_raw_32bit(benchmark::State& s) { Decode(s, pf32bit, false); }
void BM_Targa_RLE_32bit(benchmark::State& s) { Decode(s, pf32bit, true); }
void BM_memcpy_8bit(benchmark::State& s) { Memcpy(s, 1); }
void BM_Targa_raw_8bit(benchmark::State& s) { Decode(s, pf8bit, false); }
void BM_Targa_RLE_8bit(benchmark::State& s) { Decode(s, pf8bit, true); }
void BM_Targa_write_raw_24bit(benchmark::State& s) { Encode(s, pf24bit, false); }
void BM_Targa_write_RLE_24bit(benchmark::State& s) { Encode(s, pf24bit, true); }

}  // namespace

BENCHMARK(BM_memcpy_24bit)->Arg(4000)->Arg(2000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Targa_raw_24bit)->Arg(4000)->Arg(2000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Targa_RLE_24bit)->Arg(4000)->Arg(2000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_memcpy_32bit)->Arg(4000)->Arg(2000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Targa_raw_32bit)->Arg(4000)->Arg(2000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Targa_RLE_32bit)->Arg(4000)->Arg(2000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_memcpy_8bit)->Arg(4000)->Arg(2000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Targa_raw_8bit)->Arg(4000)->Arg(2000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Targa_RLE_8bit)->Arg(4000)->Arg(2000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Targa_write_raw_24bit)->Arg(4000)->Arg(2000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Targa_write_RLE_24bit)->Arg(4000)->Arg(2000)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
