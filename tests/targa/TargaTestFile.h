// Builds small Targa files byte by byte for the tests.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

struct TargaFile {
    uint8_t IDLength = 0;
    uint8_t ColorMapType = 0;
    uint8_t ImageType = 2;
    uint16_t ColorMapFirst = 0;
    uint16_t ColorMapLength = 0;
    uint8_t ColorMapEntrySize = 0;
    uint16_t Width = 1;
    uint16_t Height = 1;
    uint8_t PixelDepth = 24;
    uint8_t Descriptor = 0;
    std::vector<uint8_t> ID;       // written after the header (IDLength is taken as given)
    std::vector<uint8_t> ColorMap; // raw colour map bytes
    std::vector<uint8_t> Data;     // pixel data

    std::vector<uint8_t> Bytes() const {
        std::vector<uint8_t> b = {IDLength,
                                  ColorMapType,
                                  ImageType,
                                  uint8_t(ColorMapFirst),
                                  uint8_t(ColorMapFirst >> 8),
                                  uint8_t(ColorMapLength),
                                  uint8_t(ColorMapLength >> 8),
                                  ColorMapEntrySize,
                                  0,
                                  0,
                                  0,
                                  0,
                                  uint8_t(Width),
                                  uint8_t(Width >> 8),
                                  uint8_t(Height),
                                  uint8_t(Height >> 8),
                                  PixelDepth,
                                  Descriptor};
        b.insert(b.end(), ID.begin(), ID.end());
        b.insert(b.end(), ColorMap.begin(), ColorMap.end());
        b.insert(b.end(), Data.begin(), Data.end());
        return b;
    }
};
