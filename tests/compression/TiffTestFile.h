// Just enough TIFF for the decoder tests: writing an uncompressed single-strip image for the
// libtiff tools to compress, and reading back the strips and tags of what they wrote.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

struct TTestTiff {
    std::map<uint16_t, std::vector<uint32_t>> Values;  // numeric tags
    std::vector<uint8_t> JPEGTables;                    // tag 347
    std::vector<std::vector<uint8_t>> Strips;

    uint32_t Tag(uint16_t tag, uint32_t fallback = 0) const {
        auto it = Values.find(tag);
        return it == Values.end() || it->second.empty() ? fallback : it->second[0];
    }
};

// Writes an uncompressed, little-endian TIFF of one strip. photometric: 0 (bilevel, 0 white) with
// bitsPerSample 1, 1 (grey) or 2 (RGB) with 8-bit samples.
void WriteTestTiff(const std::string& path, uint32_t width, uint32_t height, uint16_t samples,
                   uint16_t bitsPerSample, uint16_t photometric, const std::vector<uint8_t>& pixels);

// Reads the first image of a TIFF file (either byte order); raises std::runtime_error on anything
// it does not understand.
TTestTiff ReadTestTiff(const std::string& path);
