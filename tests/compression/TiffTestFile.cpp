#include "TiffTestFile.h"

#include <stdexcept>

#include "TestSupport.h"

namespace {

void Put16(std::string& out, uint32_t v) {
    out += char(v & 0xFF);
    out += char((v >> 8) & 0xFF);
}
void Put32(std::string& out, uint32_t v) {
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

}  // namespace

void WriteTestTiff(const std::string& path, uint32_t width, uint32_t height, uint16_t samples,
                   uint16_t bitsPerSample, uint16_t photometric, const std::vector<uint8_t>& pixels) {
    // Header, then the pixels, then the bits-per-sample array, then the directory.
    std::string out = "II";
    Put16(out, 42);
    const uint32_t pixelStart = 8;
    const uint32_t bpsStart = pixelStart + uint32_t(pixels.size());
    const uint32_t ifdStart = bpsStart + 2 * samples + (samples * 2 + pixels.size()) % 2;
    Put32(out, ifdStart);
    out.append(pixels.begin(), pixels.end());
    for (uint16_t i = 0; i < samples; ++i) Put16(out, bitsPerSample);
    while (out.size() < ifdStart) out += '\0';
    struct Entry { uint16_t tag, type; uint32_t count, value; };
    const Entry entries[] = {
        {256, 4, 1, width},
        {257, 4, 1, height},
        {258, 3, samples, samples == 1 ? bitsPerSample : bpsStart},
        {259, 3, 1, 1},
        {262, 3, 1, photometric},
        {273, 4, 1, pixelStart},
        {277, 3, 1, samples},
        {278, 4, 1, height},
        {279, 4, 1, uint32_t(pixels.size())},
        {284, 3, 1, 1},
    };
    Put16(out, uint16_t(std::size(entries)));
    for (const Entry& e : entries) {
        Put16(out, e.tag);
        Put16(out, e.type);
        Put32(out, e.count);
        if (e.type == 3 && e.count == 1) {
            Put16(out, e.value);
            Put16(out, 0);
        } else {
            Put32(out, e.value);
        }
    }
    Put32(out, 0);
    WriteBytes(path, out);
}

TTestTiff ReadTestTiff(const std::string& path) {
    const std::string bytes = ReadBytes(path);
    if (bytes.size() < 8) throw std::runtime_error("not a TIFF file");
    const bool little = bytes[0] == 'I';
    auto at = [&](size_t offset, size_t n) -> uint32_t {
        if (offset + n > bytes.size()) throw std::runtime_error("TIFF offset out of range");
        uint32_t v = 0;
        for (size_t i = 0; i < n; ++i) {
            const uint32_t b = uint8_t(bytes[offset + i]);
            v |= little ? b << (8 * i) : b << (8 * (n - 1 - i));
        }
        return v;
    };
    TTestTiff tiff;
    const uint32_t ifd = at(4, 4);
    const uint32_t count = at(ifd, 2);
    for (uint32_t i = 0; i < count; ++i) {
        const size_t entry = ifd + 2 + 12 * i;
        const uint16_t tag = uint16_t(at(entry, 2));
        const uint16_t type = uint16_t(at(entry + 2, 2));
        const uint32_t n = at(entry + 4, 4);
        const size_t unit = type == 3 ? 2 : type == 4 ? 4 : 1;
        const size_t start = n * unit <= 4 ? entry + 8 : at(entry + 8, 4);
        if (tag == 347) {
            tiff.JPEGTables.assign(bytes.begin() + long(start), bytes.begin() + long(start + n));
            continue;
        }
        if (type != 3 && type != 4) continue;
        for (uint32_t k = 0; k < n; ++k) tiff.Values[tag].push_back(at(start + k * unit, unit));
    }
    const auto& offsets = tiff.Values.at(273);
    const auto& counts = tiff.Values.at(279);
    for (size_t s = 0; s < offsets.size(); ++s) {
        if (offsets[s] + counts[s] > bytes.size()) throw std::runtime_error("strip out of range");
        tiff.Strips.emplace_back(bytes.begin() + offsets[s], bytes.begin() + offsets[s] + counts[s]);
    }
    return tiff;
}
