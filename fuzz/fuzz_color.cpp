// Drives the colour manager with arbitrary configurations, masks and rows. Every buffer is exactly
// as long as the configuration needs (the source only for the pixels the mask produces), so the
// sanitizers catch any read or write outside a row. Palettes are built from exactly sized data.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "GraphicColor.h"

namespace {

size_t BytesFor(unsigned bits, size_t samples) { return bits <= 8 ? (bits * samples + 7) / 8 : 2 * samples; }

bool IsColour(TColorModel m) { return m >= cmRGB && m <= cmPhotoYCC; }

// Samples per source pixel as the chosen converter reads them (one pointer), and whether the
// model's samples can come as planes.
size_t SourceSamples(TColorModel m, bool alpha) {
    switch (m) {
    case cmGrayAlpha: return 2;
    case cmRGB: case cmBGR: case cmRGBA: case cmBGRA: return alpha ? 4 : 3;
    case cmCMYK: return 4;
    case cmCIELab: case cmYCbCr: case cmPhotoYCC: return 3;
    default: return 1;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 12) return 0;
    TColorManager m;
    const auto model = [](uint8_t v) { return TColorModel(v % 14); };  // 13: outside the enumeration
    const TColorModel source = model(data[0]), target = model(data[1]);
    const uint8_t sourceBits = uint8_t(1 + data[2] % 16), targetBits = uint8_t(1 + data[3] % 16);
    const uint8_t mask = data[6];
    const uint32_t count = uint32_t(data[7] | (data[8] << 8)) % 1200;
    const bool planar = data[9] & 1;
    const auto layout = TPaletteLayout((data[9] >> 2) % 9);  // 8: not a layout
    m.SetSourceModel(source);
    m.SetTargetModel(target);
    m.SetSourceSampleBits(sourceBits);
    m.SetTargetSampleBits(targetBits);
    m.SetTargetSampleCount(uint8_t(1 + data[10] % 4));
    m.SourceFlags = TConversionOptions::FromValue(data[4]);
    m.TargetFlags = TConversionOptions::FromValue(data[5]);
    m.DefineGamma(float(data[11]) / 64.0f, 2.2f);
    if (data[9] & 2) {
        const float weights[3] = {float(data[10]) / 255.0f, float(data[11]) / 255.0f, float(data[2]) / 255.0f};
        try {
            m.DefineYCbCr(weights, uint8_t(1 << (data[3] % 3)), 1);
        } catch (const EColorConversionError&) {
        }
    }
    data += 12;
    size -= 12;

    size_t produced = 0;
    for (uint32_t i = 0; i < count; ++i) produced += (mask & (0x80u >> (i % 8))) ? 1 : 0;
    const bool sourceAlpha = source == cmGrayAlpha || source == cmRGBA || source == cmBGRA;
    const bool targetAlpha = target == cmGrayAlpha || target == cmRGBA || target == cmBGRA;
    const size_t targetSamples = IsColour(target) ? (targetAlpha ? 4 : 3) : 1;

    auto fill = [&](std::vector<uint8_t>& buffer) {
        for (size_t i = 0; i < buffer.size(); ++i) buffer[i] = size ? data[i % size] : uint8_t(i);
    };
    std::vector<std::vector<uint8_t>> planes;
    if (planar && IsColour(source)) {
        const size_t planeCount = source == cmCMYK || sourceAlpha ? 4 : 3;
        planes.resize(planeCount, std::vector<uint8_t>(BytesFor(sourceBits, produced)));
    } else {
        planes.resize(1, std::vector<uint8_t>(BytesFor(sourceBits, produced * SourceSamples(source, sourceAlpha))));
    }
    std::vector<const void*> pointers;
    for (auto& p : planes) {
        fill(p);
        pointers.push_back(p.data());
    }
    std::vector<uint8_t> row(BytesFor(targetBits, size_t(count) * targetSamples));
    try {
        m.TranslateRow(TSourceList(pointers), row.data(), count, mask);
    } catch (const EColorConversionError&) {
    }

    // Palettes from exactly sized data.
    const uint32_t colours = count % 300;
    const bool words = layout >= plWords3 && layout <= plWordPlanes4;
    const bool planarLayout = layout == plBytePlanes3 || layout == plBytePlanes4 || layout == plWordPlanes3 ||
                              layout == plWordPlanes4;
    const size_t stored = std::min<uint32_t>(colours, 256);
    const size_t perEntry = planarLayout ? 1 : (layout == plBytes4 || layout == plWords4) ? 4 : 3;
    std::vector<std::vector<uint8_t>> paletteData(planarLayout ? 3 : 1,
                                                  std::vector<uint8_t>(stored * perEntry * (words ? 2 : 1)));
    std::vector<const void*> palettePointers;
    for (auto& p : paletteData) {
        fill(p);
        palettePointers.push_back(p.data());
    }
    m.BuildColorPalette(TSourceList(palettePointers), layout, colours, mask & 1);
    m.BuildGrayPalette(mask & 2);
    return 0;
}
