// ZSoft Paintbrush images and the screen captures of Word 5.x, which share the format.
#pragma once

#include <array>
#include <cstdint>

#include "VaderezUv.h"

// The 128-byte file header, multi-byte fields little-endian.
struct TPCXHeader {
    uint8_t Manufacturer = 0;  // 10: Paintbrush, 205: screen capture
    uint8_t Version = 0;       // 3: no palette in the file, the fixed 16 colours apply
    uint8_t Encoding = 0;      // 1: run-length encoded, anything else: stored as is
    uint8_t BitsPerPixel = 0;  // per plane
    uint16_t XMin = 0;
    uint16_t YMin = 0;
    uint16_t XMax = 0;
    uint16_t YMax = 0;
    uint16_t HorizontalResolution = 0;
    uint16_t VerticalResolution = 0;
    std::array<uint8_t, 48> ColorMap{};  // 16 entries of red, green, blue
    uint8_t Reserved = 0;
    uint8_t Planes = 0;
    uint16_t BytesPerLine = 0;  // of one plane of one row
    uint16_t PaletteInfo = 0;   // 2: grey image

    static constexpr size_t Size = 128;
    // Reads the fields from the 128 bytes of a header.
    static TPCXHeader Parse(const uint8_t* bytes);
};

// Loads 1-bit, 2-bit, 4-bit and 8-bit single-plane images, 1-bit images in 3 or 4 planes (merged
// into 4-bit indices), and 8-bit images in 3 (red, green, blue) or 4 (with alpha) planes.
// Rows the data does not reach stay as the new bitmap holds them (index 0, black).
class TPCXGraphic : public TVaderezUvGraphic {
public:
    VARNEL_GRAPHIC_CLASS()

    // Signature test: more than 128 bytes left, manufacturer 10 or 12, version 0, 2, 3 or 5,
    // encoding 0 or 1. The stream position is restored.
    static bool AcceptsStream(TStream& stream);
    // Reads the header (a short read raises EReadError); true for manufacturer 10 or 205 with
    // positive extents. The index is ignored.
    bool ReadImageInfo(TStream& stream, uint32_t index) override;
    // Loads the image starting at the stream position; its data runs to the end of the stream.
    void LoadFromStream(TStream& stream) override;

    // The header of the last image read by ReadImageInfo.
    const TPCXHeader& Header() const { return header_; }

private:
    TPCXHeader header_;
};
