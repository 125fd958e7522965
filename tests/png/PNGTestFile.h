// PNG files built in memory for the reader's tests: chunks with right or wrong checksums, images of
// every colour type and depth, any row filter, plain or Adam7 interlaced.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

namespace pngtest {

std::string Be32(uint32_t v);
std::string Be16(uint16_t v);
// One chunk: length, type, data, CRC (spoilt when badCrc).
std::string Chunk(const std::string& type, const std::string& data, bool badCrc = false);
std::string IHDR(uint32_t width, uint32_t height, uint8_t depth, uint8_t colorType, uint8_t interlace = 0,
                 uint8_t compression = 0, uint8_t filter = 0);
// The signature followed by the chunks.
std::string File(std::initializer_list<std::string> chunks);
std::string Deflate(const std::string& raw, int level = 6);

// An image as sample values: Samples[(y * Width + x) * Channels + c].
struct Image {
    uint32_t Width = 0, Height = 0;
    uint8_t Depth = 8, ColorType = 0;
    std::vector<uint16_t> Samples;
    unsigned Channels() const;
    // Random samples within the depth's range.
    static Image Random(uint32_t width, uint32_t height, uint8_t depth, uint8_t colorType, uint32_t seed);
};

// The filtered (and, with interlace, Adam7-ordered) rows of the image, ready for deflating. Each row
// uses filter `filter`, or filters 0..4 in turn when `filter` is -1.
std::string RawRows(const Image& image, bool interlace, int filter);
// A complete file: IHDR, the extra chunks, one IDAT with the rows, IEND.
std::string Encode(const Image& image, bool interlace, int filter, const std::vector<std::string>& beforeData = {});

}  // namespace pngtest
