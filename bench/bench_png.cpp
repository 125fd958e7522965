// PNG decoding from memory: our reader beside libpng (a png_read_row loop into 8-bit RGB), stb_image
// (loaded from the system's libstb when present) and zlib inflating the image data alone, which is
// the ceiling every decoder stays under. Images: the PNG files of ../shared/bench-images (or the
// folder in VARNEL_BENCH_IMAGES) and a 4000 x 3000 photo-like RGB image encoded here with libpng's
// default filter choice. Throughput is in MB of decoded 8-bit RGB pixels (width x height x 3) per
// second; a summary with the ratios to libpng and their geometric mean follows the runs.
#include <benchmark/benchmark.h>
#include <dirent.h>
#include <dlfcn.h>
#include <png.h>
#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "Classes.h"
#include "PNGGraphic.h"

namespace {

struct Sample {
    std::string Name;
    std::vector<uint8_t> File;
    uint32_t Width = 0, Height = 0;
    std::vector<uint8_t> ImageData;  // the IDAT chunks' bytes, joined
    size_t RawSize = 0;              // their inflated size
};

uint32_t Be32(const uint8_t* p) { return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3]; }

// Fills the fields a sample needs besides its file: size, joined image data, inflated size.
void Describe(Sample& s) {
    size_t pos = 8;
    while (pos + 12 <= s.File.size()) {
        const uint32_t length = Be32(&s.File[pos]);
        const char* type = reinterpret_cast<const char*>(&s.File[pos + 4]);
        if (std::memcmp(type, "IHDR", 4) == 0) {
            s.Width = Be32(&s.File[pos + 8]);
            s.Height = Be32(&s.File[pos + 12]);
        } else if (std::memcmp(type, "IDAT", 4) == 0) {
            s.ImageData.insert(s.ImageData.end(), s.File.begin() + long(pos + 8), s.File.begin() + long(pos + 8 + length));
        }
        pos += 12 + size_t(length);
    }
    // The inflated size, found by inflating once.
    z_stream z{};
    inflateInit(&z);
    std::vector<uint8_t> chunk(1 << 20);
    z.next_in = s.ImageData.data();
    z.avail_in = uInt(s.ImageData.size());
    int result = Z_OK;
    while (result == Z_OK) {
        z.next_out = chunk.data();
        z.avail_out = uInt(chunk.size());
        result = inflate(&z, Z_NO_FLUSH);
    }
    s.RawSize = z.total_out;
    inflateEnd(&z);
}

// --- libpng --------------------------------------------------------------------------------------

struct MemoryReader {
    const uint8_t* Data;
    size_t Left;
};

void ReadFromMemory(png_structp png, png_bytep out, size_t count) {
    auto* r = static_cast<MemoryReader*>(png_get_io_ptr(png));
    if (count > r->Left) png_error(png, "end of data");
    std::memcpy(out, r->Data, count);
    r->Data += count;
    r->Left -= count;
}

void IgnoreWarning(png_structp, png_const_charp) {}

void WriteToVector(png_structp png, png_bytep data, size_t count) {
    auto* v = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
    v->insert(v->end(), data, data + count);
}
void FlushNothing(png_structp) {}

// Decodes into 8-bit RGB, row by row, the passes of interlaced files included.
void DecodeWithLibpng(const Sample& s, std::vector<uint8_t>& rgb) {
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, IgnoreWarning);
    png_infop info = png_create_info_struct(png);
    MemoryReader reader{s.File.data(), s.File.size()};
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        throw std::runtime_error("libpng failed on " + s.Name);
    }
    png_set_read_fn(png, &reader, ReadFromMemory);
    png_read_info(png, info);
    png_set_expand(png);
    png_set_strip_16(png);
    png_set_strip_alpha(png);
    png_set_gray_to_rgb(png);
    const int passes = png_set_interlace_handling(png);
    png_read_update_info(png, info);
    const size_t stride = size_t(s.Width) * 3;
    rgb.resize(stride * s.Height);
    for (int pass = 0; pass < passes; ++pass)
        for (uint32_t y = 0; y < s.Height; ++y) png_read_row(png, rgb.data() + stride * y, nullptr);
    png_read_end(png, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
}

// --- stb_image, through the shared library when it is installed ------------------------------------

using StbLoad = unsigned char* (*)(const unsigned char*, int, int*, int*, int*, int);
using StbFree = void (*)(void*);
struct Stb {
    StbLoad Load = nullptr;
    StbFree Free = nullptr;
    Stb() {
        void* lib = dlopen("libstb.so.0", RTLD_NOW);
        if (!lib) return;
        Load = reinterpret_cast<StbLoad>(dlsym(lib, "stbi_load_from_memory"));
        Free = reinterpret_cast<StbFree>(dlsym(lib, "stbi_image_free"));
        if (!Free) Load = nullptr;
    }
};
const Stb& StbImage() {
    static const Stb stb;
    return stb;
}

// --- The photo-like test image -------------------------------------------------------------------

// Smooth colour fields with fine grain, like a photograph: big gradients, soft edges, sensor noise.
Sample MakePhotoLike(uint32_t width, uint32_t height) {
    std::vector<uint8_t> rgb(size_t(width) * height * 3);
    std::mt19937 random(2024);
    std::normal_distribution<float> grain(0.0f, 3.0f);
    for (uint32_t y = 0; y < height; ++y)
        for (uint32_t x = 0; x < width; ++x) {
            const float u = float(x) / float(width), v = float(y) / float(height);
            const float base[3] = {
                120 + 80 * std::sin(3.1f * u + 1.3f * v) + 30 * std::sin(17 * u * v),
                110 + 70 * std::sin(2.3f * v - 0.7f * u + 1) + 25 * std::cos(11 * u),
                100 + 90 * std::cos(1.7f * u + 2.9f * v) + 20 * std::sin(23 * v + 5 * u),
            };
            const bool edge = std::fmod(u * 7 + v * 3, 1.0f) < 0.5f;  // soft-edged bands of shade
            for (int c = 0; c < 3; ++c) {
                const float value = base[c] * (edge ? 1.0f : 0.8f) + grain(random);
                rgb[(size_t(y) * width + x) * 3 + size_t(c)] = uint8_t(std::clamp(value, 0.0f, 255.0f));
            }
        }
    Sample s;
    s.Name = "photo-4000x3000 (generated)";
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) throw std::runtime_error("libpng could not write the photo-like image");
    png_set_write_fn(png, &s.File, WriteToVector, FlushNothing);
    png_set_IHDR(png, info, width, height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (uint32_t y = 0; y < height; ++y) png_write_row(png, rgb.data() + size_t(y) * width * 3);
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    Describe(s);
    return s;
}

std::vector<Sample> LoadSamples() {
    std::string dir = std::getenv("VARNEL_BENCH_IMAGES") ? std::getenv("VARNEL_BENCH_IMAGES") : "";
    if (dir.empty()) {
        const std::string here = __FILE__;
        dir = here.substr(0, here.rfind('/')) + "/../../shared/bench-images";
    }
    std::vector<std::string> names;
    if (DIR* d = opendir(dir.c_str())) {
        while (dirent* e = readdir(d)) {
            const std::string n = e->d_name;
            if (n.size() > 4 && n.substr(n.size() - 4) == ".png") names.push_back(n);
        }
        closedir(d);
    } else {
        std::fprintf(stderr, "bench-images folder %s is absent; only the generated image is measured\n", dir.c_str());
    }
    std::sort(names.begin(), names.end());
    std::vector<Sample> samples;
    for (const auto& n : names) {
        Sample s;
        s.Name = n;
        TMemoryStream m;
        m.LoadFromFile(dir + "/" + n);
        s.File = m.Bytes();
        Describe(s);
        samples.push_back(std::move(s));
    }
    const char* photo = std::getenv("VARNEL_BENCH_PHOTO");  // "0" leaves the generated image out
    if (!photo || std::string(photo) != "0") samples.push_back(MakePhotoLike(4000, 3000));
    return samples;
}

// --- Runs and summary ----------------------------------------------------------------------------

const char* const Decoders[] = {"varnel", "libpng", "stb_image", "zlib-inflate"};

void Run(benchmark::State& state, const Sample* s, int decoder) {
    std::vector<uint8_t> rgb;
    std::vector<uint8_t> raw(decoder == 3 ? s->RawSize : 0);
    TMemoryStream stream(s->File.data(), s->File.size());
    for (auto _ : state) {
        switch (decoder) {
            case 0: {
                stream.SetPosition(0);
                TPNGGraphic g;
                g.LoadFromStream(stream);
                benchmark::DoNotOptimize(g.ScanLine(0));
                break;
            }
            case 1:
                DecodeWithLibpng(*s, rgb);
                benchmark::DoNotOptimize(rgb.data());
                break;
            case 2: {
                int w = 0, h = 0, n = 0;
                unsigned char* p = StbImage().Load(s->File.data(), int(s->File.size()), &w, &h, &n, 3);
                if (!p) state.SkipWithError("stb_image failed");
                benchmark::DoNotOptimize(p);
                StbImage().Free(p);
                break;
            }
            default: {
                z_stream z{};
                inflateInit(&z);
                z.next_in = const_cast<Bytef*>(s->ImageData.data());
                z.avail_in = uInt(s->ImageData.size());
                z.next_out = raw.data();
                z.avail_out = uInt(raw.size());
                if (inflate(&z, Z_FINISH) != Z_STREAM_END) state.SkipWithError("inflate failed");
                inflateEnd(&z);
                benchmark::DoNotOptimize(raw.data());
                break;
            }
        }
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(s->Width) * s->Height * 3);
}

// Keeps the mean CPU time per iteration (seconds; CPU time, as the machine may be shared) of every run by name beside the console output.
class SummaryReporter : public benchmark::ConsoleReporter {
public:
    std::map<std::string, double> Seconds;
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        // With repetitions the median counts; a single run stands for itself.
        for (const Run& r : runs) {
            if (r.error_occurred) continue;
            const std::string name = r.run_name.str();
            if (r.run_type == Run::RT_Aggregate && r.aggregate_name == "median")
                Seconds[name] = r.GetAdjustedCPUTime() / benchmark::GetTimeUnitMultiplier(r.time_unit), medians_[name] = true;
            else if (r.run_type == Run::RT_Iteration && !medians_.count(name))
                Seconds[name] = r.cpu_accumulated_time / double(r.iterations);
        }
    }

private:
    std::map<std::string, bool> medians_;
};

std::string RunName(const Sample& s, int decoder) { return "png/" + s.Name + "/" + Decoders[decoder]; }


}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    const std::vector<Sample> samples = LoadSamples();
    for (const Sample& s : samples)
        for (int d = 0; d < 4; ++d) {
            if (d == 2 && !StbImage().Load) continue;
            benchmark::RegisterBenchmark(RunName(s, d).c_str(), Run, &s, d)->Unit(benchmark::kMillisecond);
        }
    SummaryReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);

    std::printf("\n%-30s %11s %9s %8s %8s %8s %9s %10s\n", "image", "size", "varnel", "libpng", "stb", "inflate",
                "x libpng", "x inflate");
    double logSum = 0, worst = 1e9;
    int counted = 0;
    for (const Sample& s : samples) {
        auto seconds = [&](int d) {
            auto it = reporter.Seconds.find(RunName(s, d));
            return it == reporter.Seconds.end() ? 0.0 : it->second;
        };
        const double mb = double(s.Width) * s.Height * 3 / 1e6;
        auto rate = [&](int d) { return seconds(d) > 0 ? mb / seconds(d) : 0.0; };
        const double ours = seconds(0), libpng = seconds(1), inflateOnly = seconds(3);
        if (ours <= 0 || libpng <= 0) continue;
        const double ratio = libpng / ours;
        logSum += std::log(ratio);
        worst = std::min(worst, ratio);
        ++counted;
        std::printf("%-30s %5ux%-5u %9.1f %8.1f %8.1f %8.1f %8.2fx %9.2fx\n", s.Name.c_str(), s.Width, s.Height,
                    rate(0), rate(1), rate(2), rate(3), ratio, inflateOnly > 0 ? ours / inflateOnly : 0.0);
    }
    if (counted)
        std::printf("geometric mean of the speed ratio to libpng: %.2fx (lowest %.2fx); MB/s of 8-bit RGB pixels; "
                    "'x inflate' is our time over the inflate-only time\n",
                    std::exp(logSum / counted), worst);
    benchmark::Shutdown();
    return 0;
}
