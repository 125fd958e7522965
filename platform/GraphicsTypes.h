// Platform core: the value types of the picture layer that the image library uses on its own:
// colours, bitmap pixel formats and palettes.
#pragma once

#include <array>
#include <cstdint>
#include <memory>

// A colour value: red + 256 x green + 65536 x blue. Values with the top bit set (0x80000000 | n)
// refer to system colour n (for example 0x8000000F, the button face).
using TColor = int32_t;
constexpr TColor clBlack = 0x000000;
constexpr TColor clWhite = 0xFFFFFF;
constexpr TColor clSystemColor = TColor(0x80000000u);
constexpr TColor clBtnFace = TColor(0x8000000Fu);
constexpr TColor clBtnShadow = TColor(0x80000010u);
constexpr TColor clBtnText = TColor(0x80000012u);
constexpr TColor clWindow = TColor(0x80000005u);

// The concrete red + 256 x green + 65536 x blue value of a colour; system colours take the values of
// a standard light desktop theme.
TColor ColorToRGB(TColor color);

constexpr uint8_t GetRValue(TColor c) { return uint8_t(c); }
constexpr uint8_t GetGValue(TColor c) { return uint8_t(c >> 8); }
constexpr uint8_t GetBValue(TColor c) { return uint8_t(c >> 16); }
constexpr TColor RGB(uint8_t r, uint8_t g, uint8_t b) { return TColor(r | (g << 8) | (b << 16)); }

// Pixel formats of a bitmap. pfDevice is the device-dependent default of a new bitmap (it stores
// 32 bits per pixel here); pfCustom stands for a layout that has no preset format.
enum TPixelFormat : uint8_t { pfDevice, pf1bit, pf4bit, pf8bit, pf15bit, pf16bit, pf24bit, pf32bit, pfCustom };

// Bits per stored pixel of a format (0 for pfCustom).
constexpr int PixelFormatBits(TPixelFormat format) {
    switch (format) {
    case pf1bit: return 1;
    case pf4bit: return 4;
    case pf8bit: return 8;
    case pf15bit:
    case pf16bit: return 16;
    case pf24bit: return 24;
    case pfDevice:
    case pf32bit: return 32;
    default: return 0;
    }
}

struct TPaletteEntry {
    uint8_t peRed = 0;
    uint8_t peGreen = 0;
    uint8_t peBlue = 0;
    uint8_t peFlags = 0;
    friend bool operator==(const TPaletteEntry&, const TPaletteEntry&) = default;
};

// The logical palette a palette is made from: up to 256 entries.
struct TLogPalette {
    uint16_t palVersion = 0x300;
    uint16_t palNumEntries = 0;
    std::array<TPaletteEntry, 256> palPalEntry{};
};

// A palette object: up to 256 red, green, blue entries. Whoever holds the handle owns it.
class TPalette {
public:
    explicit TPalette(const TLogPalette& log);
    int Count() const { return count_; }
    const TPaletteEntry& Entry(int index) const { return entries_[size_t(index)]; }
    const TPaletteEntry* Entries() const { return entries_.data(); }
    // The entry nearest to an RGB colour (squared distance; the first of equal ones).
    int NearestIndex(uint8_t red, uint8_t green, uint8_t blue) const;
    friend bool operator==(const TPalette& a, const TPalette& b);

private:
    int count_ = 0;
    std::array<TPaletteEntry, 256> entries_{};
};

using HPALETTE = std::unique_ptr<TPalette>;

// Makes a palette from a logical palette (at most 256 entries are taken).
HPALETTE CreatePalette(const TLogPalette& log);
// Copies entries [start, start + count) of the palette into `entries`; returns the number copied.
int GetPaletteEntries(const TPalette& palette, int start, int count, TPaletteEntry* entries);
