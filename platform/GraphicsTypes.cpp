#include "GraphicsTypes.h"

#include <algorithm>

TColor ColorToRGB(TColor color) {
    if ((uint32_t(color) & 0xFF000000u) != 0x80000000u) return TColor(uint32_t(color) & 0x00FFFFFFu);
    switch (uint32_t(color) & 0xFFu) {
    case 0x05: return RGB(255, 255, 255);  // window
    case 0x08: return RGB(0, 0, 0);        // window text
    case 0x0F: return RGB(240, 240, 240);  // button face
    case 0x10: return RGB(160, 160, 160);  // button shadow
    case 0x12: return RGB(0, 0, 0);        // button text
    case 0x14: return RGB(255, 255, 255);  // button highlight
    default: return RGB(240, 240, 240);
    }
}

TPalette::TPalette(const TLogPalette& log) {
    count_ = std::min<int>(log.palNumEntries, 256);
    std::copy_n(log.palPalEntry.begin(), count_, entries_.begin());
}

int TPalette::NearestIndex(uint8_t red, uint8_t green, uint8_t blue) const {
    int best = 0;
    int bestDistance = 1 << 30;
    for (int i = 0; i < count_; ++i) {
        const auto& e = entries_[size_t(i)];
        int dr = e.peRed - red, dg = e.peGreen - green, db = e.peBlue - blue;
        int d = dr * dr + dg * dg + db * db;
        if (d < bestDistance) {
            bestDistance = d;
            best = i;
        }
    }
    return best;
}

bool operator==(const TPalette& a, const TPalette& b) {
    return a.count_ == b.count_ && std::equal(a.entries_.begin(), a.entries_.begin() + a.count_, b.entries_.begin());
}

HPALETTE CreatePalette(const TLogPalette& log) { return std::make_unique<TPalette>(log); }

int GetPaletteEntries(const TPalette& palette, int start, int count, TPaletteEntry* entries) {
    if (start < 0 || count <= 0 || start >= palette.Count()) return 0;
    int n = std::min(count, palette.Count() - start);
    std::copy_n(palette.Entries() + start, n, entries);
    return n;
}
