// Reference renderings (8-bit RGB or RGBA PNG files) for the conformance tests, and comparison of a
// bitmap against them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "Graphics.h"

struct ReferenceImage {
    uint32_t Width = 0;
    uint32_t Height = 0;
    std::vector<uint8_t> Rgba;  // top row first, 4 bytes per pixel
};

// Reads a PNG file through libpng; false when it cannot be read.
bool LoadReferenceImage(const std::string& fileName, ReferenceImage& image);

// The largest difference of a red, green or blue sample between the bitmap and the reference
// (-1 when their sizes differ); `where` receives the first pixel with that difference.
int MaxSampleDifference(const TBitmap& bitmap, const ReferenceImage& reference, std::string* where = nullptr);
// The same between two bitmaps.
int MaxSampleDifference(const TBitmap& a, const TBitmap& b);
