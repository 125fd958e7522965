// Feeds the PNG reader hostile files through a memory stream. Each input is loaded as it is and,
// when any chunk checksum is wrong, once more with every checksum made right, so that mutations
// reach the filters, the interlacing and the colour set-up instead of stopping at the CRC check.
#include <zlib.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "Classes.h"
#include "PNGGraphic.h"

namespace {

uint32_t Be32(const uint8_t* p) { return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3]; }

// Rewrites the checksum of every complete chunk; returns whether one changed.
bool FixChecksums(std::vector<uint8_t>& file) {
    bool changed = false;
    size_t pos = 8;
    while (pos + 12 <= file.size()) {
        const uint64_t length = Be32(&file[pos]);
        if (pos + 12 + length > file.size()) break;
        const uint32_t crc = uint32_t(crc32(0, &file[pos + 4], uInt(length + 4)));
        uint8_t* stored = &file[pos + 8 + length];
        if (Be32(stored) != crc) {
            stored[0] = uint8_t(crc >> 24), stored[1] = uint8_t(crc >> 16), stored[2] = uint8_t(crc >> 8),
            stored[3] = uint8_t(crc);
            changed = true;
        }
        pos += 12 + length;
    }
    return changed;
}

void LoadOnce(const uint8_t* data, size_t size) {
    TMemoryStream stream(data, size);
    TPNGGraphic graphic;
    // Images of more than 16 M pixels are legal but only cost the fuzzer memory and time.
    try {
        if (graphic.ReadImageInfo(stream, 0) &&
            uint64_t(graphic.ImageProperties.ImageWidth) * uint64_t(graphic.ImageProperties.ImageHeight) > (1u << 24))
            return;
    } catch (const Exception&) {
    }
    stream.SetPosition(0);
    try {
        graphic.LoadFromStream(stream);
        if (!graphic.Empty()) {
            // Touch the corners so that a wrongly sized bitmap shows up.
            graphic.Canvas().Pixel(0, 0);
            graphic.Canvas().Pixel(graphic.Width() - 1, graphic.Height() - 1);
        }
    } catch (const Exception&) {
        // Damaged files end with the library's exceptions; anything else is a finding.
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    LoadOnce(data, size);
    std::vector<uint8_t> fixed(data, data + size);
    if (size > 8 && FixChecksums(fixed)) LoadOnce(fixed.data(), fixed.size());
    return 0;
}
