// Loading large PCX files from memory, stored and run-length encoded, in the layouts that matter:
// 8-bit palette images, 24-bit images in three planes and 16-colour images in four bit planes.
// Throughput is given in bytes of decoded bitmap pixels per second, beside memcpy of the same bytes
// as the ceiling, and the cost of a fresh bitmap whose rows are written once (the floor of any
// loader: the bitmap's new pages dominate where page faults are expensive). The images are made
// here: 4000 x 3000 pixels of smooth gradients with a little noise, like a photo (few long runs).
#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <vector>

#include "Classes.h"
#include "PCXGraphic.h"

namespace {

constexpr int kWidth = 4000;
constexpr int kHeight = 3000;

using Bytes = std::vector<uint8_t>;

Bytes EncodeRLE(const Bytes& raw) {
    Bytes out;
    out.reserve(raw.size() + raw.size() / 4);
    for (size_t i = 0; i < raw.size();) {
        size_t n = 1;
        while (i + n < raw.size() && n < 63 && raw[i + n] == raw[i]) ++n;
        if (n > 1 || raw[i] >= 192) out.push_back(uint8_t(0xC0 | n));
        out.push_back(raw[i]);
        i += n;
    }
    return out;
}

// A PCX file of the given layout; its lines hold a photo-like picture.
Bytes MakeFile(unsigned bits, unsigned planes, bool packed) {
    const unsigned bytesPerLine = ((kWidth * bits + 7) / 8 + 1) & ~1u;
    Bytes header(128, 0);
    header[0] = 10;
    header[1] = 5;
    header[2] = packed ? 1 : 0;
    header[3] = uint8_t(bits);
    header[8] = uint8_t(kWidth - 1), header[9] = uint8_t((kWidth - 1) >> 8);
    header[10] = uint8_t(kHeight - 1), header[11] = uint8_t((kHeight - 1) >> 8);
    for (unsigned i = 0; i < 48; ++i) header[16 + i] = uint8_t(i * 5);
    header[65] = uint8_t(planes);
    header[66] = uint8_t(bytesPerLine), header[67] = uint8_t(bytesPerLine >> 8);
    header[68] = 1;

    std::mt19937 random(7);
    Bytes raw(size_t(kHeight) * planes * bytesPerLine, 0);
    uint8_t* line = raw.data();
    for (int y = 0; y < kHeight; ++y) {
        for (unsigned k = 0; k < planes; ++k, line += bytesPerLine) {
            for (unsigned x = 0; x < bytesPerLine; ++x) {
                const int smooth = int((x * (k + 1) * 255) / bytesPerLine + unsigned(y) * 255 / kHeight) / 2;
                line[x] = uint8_t(smooth + int(random() % 5) - 2);
            }
        }
    }
    Bytes file = header;
    const Bytes data = packed ? EncodeRLE(raw) : raw;
    file.insert(file.end(), data.begin(), data.end());
    if (bits == 8 && planes == 1) {
        file.push_back(12);
        for (unsigned i = 0; i < 768; ++i) file.push_back(uint8_t(i / 3));
    }
    return file;
}

size_t PixelBytes(unsigned bits, unsigned planes) {
    const unsigned bitmapBits = bits * planes == 24 ? 24 : bits * planes >= 8 ? 8 : 4;
    return size_t(kHeight) * ((size_t(kWidth) * bitmapBits + 7) / 8);
}

void Load(benchmark::State& state, unsigned bits, unsigned planes, bool packed) {
    TMemoryStream stream(MakeFile(bits, planes, packed));
    TPCXGraphic graphic;
    for (auto _ : state) {
        stream.SetPosition(0);
        graphic.LoadFromStream(stream);
        benchmark::DoNotOptimize(graphic.ScanLine(0));
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(PixelBytes(bits, planes)));
    state.counters["file_MB"] = double(stream.Size()) / 1e6;
}

void Copy(benchmark::State& state, size_t bytes) {
    Bytes source(bytes, 1), target(bytes);
    for (auto _ : state) {
        std::memcpy(target.data(), source.data(), bytes);
        benchmark::DoNotOptimize(target.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes));
}

// The floor of any loader: a fresh bitmap of the image's size, every row written once.
void NewBitmap(benchmark::State& state, TPixelFormat format, size_t bytes) {
    TBitmap bitmap;
    for (auto _ : state) {
        bitmap.FreeImage();
        bitmap.SetPixelFormat(format);
        bitmap.SetSize(kWidth, kHeight);
        for (int y = 0; y < kHeight; ++y) std::memset(bitmap.ScanLine(y), y, bytes / kHeight);
        benchmark::DoNotOptimize(bitmap.ScanLine(0));
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes));
}

void BM_PCX_8bit_stored(benchmark::State& s) { Load(s, 8, 1, false); }
void BM_PCX_8bit_packed(benchmark::State& s) { Load(s, 8, 1, true); }
void BM_PCX_24bit_stored(benchmark::State& s) { Load(s, 8, 3, false); }
void BM_PCX_24bit_packed(benchmark::State& s) { Load(s, 8, 3, true); }
void BM_PCX_4planes_stored(benchmark::State& s) { Load(s, 1, 4, false); }
void BM_PCX_4planes_packed(benchmark::State& s) { Load(s, 1, 4, true); }
void BM_memcpy_8bit_pixels(benchmark::State& s) { Copy(s, PixelBytes(8, 1)); }
void BM_memcpy_24bit_pixels(benchmark::State& s) { Copy(s, PixelBytes(8, 3)); }
void BM_memcpy_4bit_pixels(benchmark::State& s) { Copy(s, PixelBytes(1, 4)); }
void BM_new_bitmap_8bit(benchmark::State& s) { NewBitmap(s, pf8bit, PixelBytes(8, 1)); }
void BM_new_bitmap_24bit(benchmark::State& s) { NewBitmap(s, pf24bit, PixelBytes(8, 3)); }
void BM_new_bitmap_4bit(benchmark::State& s) { NewBitmap(s, pf4bit, PixelBytes(1, 4)); }

}  // namespace

BENCHMARK(BM_PCX_8bit_stored)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PCX_8bit_packed)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_memcpy_8bit_pixels)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_new_bitmap_8bit)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PCX_24bit_stored)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PCX_24bit_packed)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_memcpy_24bit_pixels)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_new_bitmap_24bit)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PCX_4planes_stored)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PCX_4planes_packed)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_memcpy_4bit_pixels)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_new_bitmap_4bit)->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK_MAIN();
