#include "PNGTestFile.h"

#include <zlib.h>

#include <algorithm>
#include <cstdlib>
#include <random>
#include <stdexcept>

namespace pngtest {

std::string Be32(uint32_t v) {
    return std::string{char(v >> 24), char(v >> 16), char(v >> 8), char(v)};
}
std::string Be16(uint16_t v) { return std::string{char(v >> 8), char(v)}; }

std::string Chunk(const std::string& type, const std::string& data, bool badCrc) {
    const std::string body = type + data;
    uint32_t crc = uint32_t(crc32(0, reinterpret_cast<const Bytef*>(body.data()), uInt(body.size())));
    if (badCrc) crc ^= 1;
    return Be32(uint32_t(data.size())) + body + Be32(crc);
}

std::string IHDR(uint32_t width, uint32_t height, uint8_t depth, uint8_t colorType, uint8_t interlace,
                 uint8_t compression, uint8_t filter) {
    return Chunk("IHDR", Be32(width) + Be32(height) +
                             std::string{char(depth), char(colorType), char(compression), char(filter), char(interlace)});
}

std::string File(std::initializer_list<std::string> chunks) {
    std::string s = "\x89PNG\r\n\x1a\n";
    for (const auto& c : chunks) s += c;
    return s;
}

std::string Deflate(const std::string& raw, int level) {
    uLongf size = compressBound(uLong(raw.size()));
    std::string out(size, '\0');
    if (compress2(reinterpret_cast<Bytef*>(out.data()), &size, reinterpret_cast<const Bytef*>(raw.data()),
                  uLong(raw.size()), level) != Z_OK)
        throw std::runtime_error("compress2 failed");
    out.resize(size);
    return out;
}

unsigned Image::Channels() const {
    switch (ColorType) {
        case 2: return 3;
        case 4: return 2;
        case 6: return 4;
        default: return 1;
    }
}

Image Image::Random(uint32_t width, uint32_t height, uint8_t depth, uint8_t colorType, uint32_t seed) {
    Image image{width, height, depth, colorType, {}};
    std::mt19937 random(seed);
    const uint32_t maximum = (1u << depth) - 1;
    image.Samples.resize(size_t(width) * height * image.Channels());
    for (auto& s : image.Samples) s = uint16_t(random() % (maximum + 1));
    return image;
}

namespace {

// One unfiltered row of the pixels x0, x0 + step, ... of row y, packed as the file stores them.
std::string PackRow(const Image& image, uint32_t y, uint32_t x0, uint32_t step) {
    const unsigned channels = image.Channels();
    std::string row;
    unsigned acc = 0, bits = 0;
    for (uint32_t x = x0; x < image.Width; x += step)
        for (unsigned c = 0; c < channels; ++c) {
            const uint16_t v = image.Samples[(size_t(y) * image.Width + x) * channels + c];
            if (image.Depth == 16) {
                row += Be16(v);
            } else if (image.Depth == 8) {
                row += char(v);
            } else {
                acc = acc << image.Depth | v;
                bits += image.Depth;
                if (bits == 8) row += char(acc), acc = 0, bits = 0;
            }
        }
    if (bits) row += char(acc << (8 - bits));
    return row;
}

int Paeth(int a, int b, int c) {
    const int p = a + b - c, pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
    return pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
}

std::string FilterRow(const std::string& row, const std::string& prior, unsigned stride, int filter) {
    std::string out(1, char(filter));
    for (size_t i = 0; i < row.size(); ++i) {
        const int x = uint8_t(row[i]);
        const int a = i >= stride ? uint8_t(row[i - stride]) : 0;
        const int b = prior.empty() ? 0 : uint8_t(prior[i]);
        const int c = i >= stride && !prior.empty() ? uint8_t(prior[i - stride]) : 0;
        int predicted = 0;
        switch (filter) {
            case 1: predicted = a; break;
            case 2: predicted = b; break;
            case 3: predicted = (a + b) / 2; break;
            case 4: predicted = Paeth(a, b, c); break;
            default: break;
        }
        out += char(uint8_t(x - predicted));
    }
    return out;
}

}  // namespace

std::string RawRows(const Image& image, bool interlace, int filter) {
    const unsigned stride = std::max(1u, image.Channels() * image.Depth / 8);
    std::string raw;
    int next = 0;
    auto pass = [&](uint32_t x0, uint32_t dx, uint32_t y0, uint32_t dy) {
        if (x0 >= image.Width) return;
        std::string prior;
        for (uint32_t y = y0; y < image.Height; y += dy) {
            const std::string row = PackRow(image, y, x0, dx);
            const int f = filter >= 0 ? filter : next++ % 5;
            raw += FilterRow(row, prior, stride, f);
            prior = row;
        }
    };
    if (!interlace) {
        pass(0, 1, 0, 1);
    } else {
        pass(0, 8, 0, 8);
        pass(4, 8, 0, 8);
        pass(0, 4, 4, 8);
        pass(2, 4, 0, 4);
        pass(0, 2, 2, 4);
        pass(1, 2, 0, 2);
        pass(0, 1, 1, 2);
    }
    return raw;
}

std::string Encode(const Image& image, bool interlace, int filter, const std::vector<std::string>& beforeData) {
    std::string s = File({IHDR(image.Width, image.Height, image.Depth, image.ColorType, interlace ? 1 : 0)});
    for (const auto& c : beforeData) s += c;
    s += Chunk("IDAT", Deflate(RawRows(image, interlace, filter)));
    s += Chunk("IEND", "");
    return s;
}

}  // namespace pngtest
