// The colour manager: configuration, converter selection, gamma and chroma tables, palettes.
// The row converters themselves are in GraphicColorRows.cpp.
#include "GraphicColor.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "GraphicStrings.h"

using namespace GraphicStrings;

TColorManager::TColorManager() {
    sourceBPS_ = 8;
    targetBPS_ = 8;
    sourceSPP_ = 3;
    targetSPP_ = 3;
    DefineGamma(1.0f, 2.2f);
    sourceModel_ = cmRGB;
    targetModel_ = cmBGR;
    lumaWeights_ = {0.299f, 0.587f, 0.114f};
    subsamplingH_ = 1;
    subsamplingV_ = 1;
    dirty_ = true;
}

// ---------------------------------------------------------------------------
// Settings

namespace {

void CheckSampleBits(uint8_t value) {
    if (value == 0 || value > 16) throw EColorConversionError(gesInvalidColorFormat);
}

void CheckSampleCount(uint8_t value) {
    if (value == 0 || value > 4) throw EColorConversionError(gesInvalidSampleCount);
}

}  // namespace

void TColorManager::SetSourceSampleBits(uint8_t value) {
    CheckSampleBits(value);
    if (value != sourceBPS_) {
        sourceBPS_ = value;
        SetDirty();
    }
}

void TColorManager::SetTargetSampleBits(uint8_t value) {
    CheckSampleBits(value);
    if (value != targetBPS_) {
        targetBPS_ = value;
        SetDirty();
    }
}

void TColorManager::SetSourceSampleCount(uint8_t value) {
    CheckSampleCount(value);
    if (value != sourceSPP_) {
        sourceSPP_ = value;
        SetDirty();
    }
}

void TColorManager::SetTargetSampleCount(uint8_t value) {
    CheckSampleCount(value);
    if (value != targetSPP_) {
        targetSPP_ = value;
        SetDirty();
    }
}

void TColorManager::SetSourceModel(TColorModel value) {
    if (value != sourceModel_) {
        sourceModel_ = value;
        SetDirty();
    }
}

void TColorManager::SetTargetModel(TColorModel value) {
    if (value != targetModel_) {
        targetModel_ = value;
        SetDirty();
    }
}

TPixelFormat TColorManager::QueryPixelFormat(bool ForTarget) const {
    const unsigned count = ForTarget ? targetSPP_ : sourceSPP_;
    const unsigned bits = ForTarget ? targetBPS_ : sourceBPS_;
    switch (count) {
    case 1:
        if (bits == 1) return pf1bit;
        if (bits >= 2 && bits <= 4) return pf4bit;
        if (bits >= 8 && bits <= 16) return pf8bit;
        return pfCustom;
    case 3: return bits >= 1 && bits <= 5 ? pf15bit : pf24bit;
    case 4: return bits >= 8 ? pf32bit : pfCustom;
    default: return pfCustom;
    }
}

// The table always covers the inputs 0..255, whatever the source depth: every user of it (the
// 8-bit colour paths and both palette builders) indexes it with 8-bit values.
void TColorManager::DefineGamma(float ImageGamma, float ScreenGamma) {
    imageGamma_ = ImageGamma > 0 ? ImageGamma : 1.0f;
    screenGamma_ = ScreenGamma > 0 ? ScreenGamma : 2.2f;
    const float exponent = float(1.0 / (double(imageGamma_) * double(screenGamma_)));
    const double outMax = targetBPS_ >= 8 ? 255.0 : double((1u << targetBPS_) - 1);
    for (size_t i = 0; i < gammaLookup_.size(); ++i) {
        const double level = std::pow(double(i) / 255.0, double(exponent)) * outMax;
        gammaLookup_[i] = uint8_t(std::clamp<int64_t>(Round(level), 0, 255));
    }
}

void TColorManager::DefineYCbCr(std::span<const float> Weights, uint8_t SubsamplingH, uint8_t SubsamplingV) {
    if (Weights.size() >= 1) lumaWeights_[0] = Weights[0];
    if (Weights.size() >= 2) lumaWeights_[1] = Weights[1];
    if (Weights.size() >= 3) lumaWeights_[2] = Weights[2];
    auto valid = [](uint8_t factor) { return factor == 1 || factor == 2 || factor == 4; };
    if (!valid(SubsamplingH) || !valid(SubsamplingV)) throw EColorConversionError(gesInvalidSubSampling);
    if (SubsamplingH < SubsamplingV) throw EColorConversionError(gesVerticalSubSamplingError);
    subsamplingH_ = SubsamplingH;
    subsamplingV_ = SubsamplingV;
}

// ---------------------------------------------------------------------------
// Converter selection

void TColorManager::BuildChromaTables() {
    const double red = lumaWeights_[0], green = lumaWeights_[1], blue = lumaWeights_[2];
    const float f1 = float(2.0 - 2.0 * red);
    const float f2 = float(red * double(f1) / green);
    const float f3 = float(2.0 - 2.0 * blue);
    const float f4 = float(blue * double(f3) / green);
    chromaFactors_ = {f1, f2, f3, f4};
    const int crCentre = sourceModel_ == cmPhotoYCC ? 137 : 128;
    const int cbCentre = sourceModel_ == cmPhotoYCC ? 156 : 128;
    // A weight of zero for green (or non-finite weights) gives non-finite factors; such entries
    // are clamped so that no table value can overflow the converters' sums.
    auto entry = [](double value) -> int32_t {
        if (std::isnan(value)) return 0;
        return int32_t(Round(std::clamp(value, -65536.0, 65536.0)));
    };
    for (int i = 0; i < 256; ++i) {
        const double cr = i - crCentre, cb = i - cbCentre;
        crRedTable_[size_t(i)] = entry(cr * double(f1));
        cbBlueTable_[size_t(i)] = entry(cb * double(f3));
        crGreenTable_[size_t(i)] = -entry(cr * double(f2));
        cbGreenTable_[size_t(i)] = -entry(cb * double(f4));
    }
}

void TColorManager::SelectRowTranslator() {
    rowTranslator_ = nullptr;

    const bool sourceIndexed = sourceModel_ == cmIndexed || sourceModel_ == cmGray || sourceModel_ == cmGrayAlpha;
    const bool targetIndexed = targetModel_ == cmIndexed || targetModel_ == cmGray;
    if (sourceIndexed != targetIndexed) throw EColorConversionError(gesIndexedNotSupported);

    auto hasAlpha = [](TColorModel m) { return m == cmGrayAlpha || m == cmRGBA || m == cmBGRA; };
    if (hasAlpha(sourceModel_)) SourceFlags.Include(cvAlpha); else SourceFlags.Exclude(cvAlpha);
    if (hasAlpha(targetModel_)) TargetFlags.Include(cvAlpha); else TargetFlags.Exclude(cvAlpha);

    const bool targetRGB = targetModel_ == cmRGB || targetModel_ == cmRGBA;
    const bool targetBGR = targetModel_ == cmBGR || targetModel_ == cmBGRA;
    const bool source16 = sourceBPS_ == 16, target16 = targetBPS_ == 16;

    switch (sourceModel_) {
    case cmIndexed:
        if (source16 && target16) rowTranslator_ = &TColorManager::RowIndexWords;
        else if (source16) rowTranslator_ = &TColorManager::RowIndexNarrow;
        else if (target16) rowTranslator_ = &TColorManager::RowIndexWiden;
        else rowTranslator_ = &TColorManager::RowPackedBits;
        break;
    case cmGray:
        if (!source16 && !target16) rowTranslator_ = &TColorManager::RowPackedBits;
        else if (sourceBPS_ >= 8 && targetBPS_ >= 8) rowTranslator_ = &TColorManager::RowGrayWide;
        break;
    case cmGrayAlpha:
        if ((sourceBPS_ == 8 || source16) && (targetBPS_ == 8 || target16)) rowTranslator_ = &TColorManager::RowGrayWide;
        break;
    case cmRGB:
    case cmRGBA:
        if (targetRGB) rowTranslator_ = &TColorManager::RowKeepOrder;
        else if (targetBGR) rowTranslator_ = &TColorManager::RowSwapOrder;
        break;
    case cmBGR:
    case cmBGRA:
        if (targetRGB) rowTranslator_ = &TColorManager::RowSwapOrder;
        else if (targetBGR) rowTranslator_ = &TColorManager::RowKeepOrder;
        break;
    case cmCMYK:
        if (targetRGB) rowTranslator_ = &TColorManager::RowCMYKToRGB;
        else if (targetBGR) rowTranslator_ = &TColorManager::RowCMYKToBGR;
        break;
    case cmCIELab:
        if (targetRGB) rowTranslator_ = &TColorManager::RowLabToRGB;
        else if (targetBGR) rowTranslator_ = &TColorManager::RowLabToBGR;
        break;
    case cmYCbCr:
    case cmPhotoYCC:
        BuildChromaTables();
        if (targetRGB) rowTranslator_ = &TColorManager::RowChromaToRGB;
        else if (targetBGR) rowTranslator_ = &TColorManager::RowChromaToBGR;
        break;
    default:  // cmUnknown, cmCMY and values outside the enumeration
        break;
    }
    dirty_ = false;
}

size_t TColorManager::RequiredSources(size_t given) const {
    if (given == 0) return 1;
    if (given == 1) return 1;
    // Several pointers: the colour converters read planes.
    if (rowTranslator_ == &TColorManager::RowKeepOrder || rowTranslator_ == &TColorManager::RowSwapOrder)
        return SourceFlags.Contains(cvAlpha) ? 4 : 3;
    if (rowTranslator_ == &TColorManager::RowCMYKToBGR || rowTranslator_ == &TColorManager::RowCMYKToRGB) return 4;
    if (rowTranslator_ == &TColorManager::RowLabToBGR || rowTranslator_ == &TColorManager::RowLabToRGB ||
        rowTranslator_ == &TColorManager::RowChromaToBGR || rowTranslator_ == &TColorManager::RowChromaToRGB)
        return 3;
    return 1;  // grey and indexed rows read pointer 0 only
}

void TColorManager::TranslateRow(TSourceList Sources, void* Target, uint32_t PixelCount, uint8_t PixelMask) {
    if (dirty_) SelectRowTranslator();
    if (!rowTranslator_) throw EColorConversionError(gesConversionUnsupported);
    const size_t needed = RequiredSources(Sources.size());
    if (Sources.size() < needed) throw EColorConversionError(Format(gesTooFewPlanes, {int(needed), int(Sources.size())}));
    (this->*rowTranslator_)(Sources, Target, PixelCount, PixelMask);
}

// ---------------------------------------------------------------------------
// Palettes

HPALETTE TColorManager::BuildColorPalette(TSourceList Data, TPaletteLayout Layout, uint32_t Count, bool BlueFirst) {
    TLogPalette log;
    log.palVersion = 0x300;
    const uint32_t entries = std::min<uint32_t>(Count, 256);
    log.palNumEntries = uint16_t(entries);

    const bool planar = Layout == plBytePlanes3 || Layout == plBytePlanes4 || Layout == plWordPlanes3 ||
                        Layout == plWordPlanes4;
    const bool known = Layout <= plWordPlanes4;
    const size_t needed = !known ? 0 : planar ? 3 : 1;
    if (entries > 0 && Data.size() < needed)
        throw EColorConversionError(Format(gesTooFewPlanes, {int(needed), int(Data.size())}));

    const bool gamma = TargetFlags.Contains(cvApplyGamma);
    const bool swap = SourceFlags.Contains(cvNeedByteSwap);
    auto byteSample = [&](uint8_t v) -> uint8_t { return gamma ? gammaLookup_[v] : v; };
    auto wordSample = [&](const uint8_t* p) -> uint8_t {
        uint16_t w;
        std::memcpy(&w, p, sizeof w);
        if (swap) w = uint16_t((w >> 8) | (w << 8));
        return byteSample(uint8_t(uint32_t(w) * 255u / 65535u));
    };
    auto set = [&](uint32_t k, uint8_t r, uint8_t g, uint8_t b) {
        auto& e = log.palPalEntry[k];
        e.peRed = r;
        e.peGreen = g;
        e.peBlue = b;
    };

    if (known && entries > 0) {
        const auto* p0 = static_cast<const uint8_t*>(Data[0]);
        const auto* p1 = planar ? static_cast<const uint8_t*>(Data[1]) : nullptr;
        const auto* p2 = planar ? static_cast<const uint8_t*>(Data[2]) : nullptr;
        for (uint32_t k = 0; k < entries; ++k) {
            switch (Layout) {
            case plBytes3:
            case plBytes4: {
                const uint8_t* e = p0 + size_t(k) * (Layout == plBytes3 ? 3 : 4);
                const uint8_t first = byteSample(e[0]), second = byteSample(e[1]), third = byteSample(e[2]);
                if (BlueFirst) set(k, third, second, first); else set(k, first, second, third);
                break;
            }
            case plBytePlanes3:
            case plBytePlanes4:
                set(k, byteSample(p0[k]), byteSample(p1[k]), byteSample(p2[k]));
                break;
            case plWords3:
            case plWords4: {
                // Red, green, blue words; BlueFirst reverses them as for the byte layouts.
                const uint8_t* e = p0 + size_t(k) * (Layout == plWords3 ? 6 : 8);
                const uint8_t first = wordSample(e), second = wordSample(e + 2), third = wordSample(e + 4);
                if (BlueFirst) set(k, third, second, first); else set(k, first, second, third);
                break;
            }
            case plWordPlanes3:
            case plWordPlanes4:
                set(k, wordSample(p0 + 2 * size_t(k)), wordSample(p1 + 2 * size_t(k)), wordSample(p2 + 2 * size_t(k)));
                break;
            }
        }
    }

    // Index stretching: the row converters scale an index v to v * T div S, so entry n must hold
    // the colour of the source index n * S div T. Source indices beyond the 256 stored entries
    // (sources of more than 8 bits) have no colour and give black.
    if (targetBPS_ <= 8) {
        const uint32_t s = (1u << sourceBPS_) - 1;
        const uint32_t t = (1u << targetBPS_) - 1;
        auto copyEntry = [&](uint32_t n) {
            const uint32_t from = n * s / t;
            TPaletteEntry colour;
            if (from < log.palPalEntry.size()) colour = log.palPalEntry[from];
            set(n, colour.peRed, colour.peGreen, colour.peBlue);
        };
        if (s < t) {
            for (uint32_t n = t + 1; n-- > 0;) copyEntry(n);
            log.palNumEntries = uint16_t(t + 1);
        } else if (s > t) {
            for (uint32_t n = 0; n <= t; ++n) copyEntry(n);
            log.palNumEntries = uint16_t(t + 1);
        }
    }
    return CreatePalette(log);
}

HPALETTE TColorManager::BuildGrayPalette(bool WhiteAtZero) {
    TLogPalette log;
    log.palVersion = 0x300;
    const unsigned bits = std::min<unsigned>(uint8_t(targetBPS_ * targetSPP_), 8);
    const unsigned count = 1u << bits;
    const unsigned step = 255 / (count - 1);
    const bool gamma = TargetFlags.Contains(cvApplyGamma);
    log.palNumEntries = uint16_t(count);
    for (unsigned i = 0; i < count; ++i) {
        const uint8_t level = gamma ? gammaLookup_[i * step] : uint8_t(i * step);
        auto& e = log.palPalEntry[WhiteAtZero ? count - 1 - i : i];
        e.peRed = e.peGreen = e.peBlue = level;
    }
    return CreatePalette(log);
}
