// The colour manager: turns stored pixel rows into bitmap rows and builds palettes.
#pragma once

#include <array>
#include <cstdint>
#include <initializer_list>
#include <span>

#include "GraphicsTypes.h"
#include "Sets.h"
#include "SysUtils.h"

enum TColorModel : uint8_t {
    cmUnknown = 0, cmIndexed, cmGray, cmGrayAlpha, cmRGB, cmRGBA, cmBGR, cmBGRA, cmCMY, cmCMYK, cmCIELab,
    cmYCbCr, cmPhotoYCC
};

enum TConversionOption : uint8_t { cvAlpha = 0, cvApplyGamma, cvNeedByteSwap, cvLabByteRange, cvLabChromaOffset };
using TConversionOptions = TSet<TConversionOption>;

// Layouts of the colour data BuildColorPalette reads.
enum TPaletteLayout : uint8_t {
    plBytes3 = 0,       // one pointer, three bytes per entry
    plBytes4,           // one pointer, four bytes per entry, the fourth skipped
    plBytePlanes3,      // three pointers: red, green, blue planes of bytes
    plBytePlanes4,      // as plBytePlanes3
    plWords3,           // one pointer, three 16-bit words per entry
    plWords4,           // one pointer, four words per entry, the fourth skipped
    plWordPlanes3,      // three pointers: red, green, blue planes of words
    plWordPlanes4       // as plWordPlanes3
};

class EColorConversionError : public Exception {
public:
    using Exception::Exception;
};

// The pointers a row or palette is read from: one for interleaved samples, one per plane otherwise.
using TSourceList = std::span<const void* const>;

class TColorManager {
public:
    TColorManager();
    TColorManager(const TColorManager&) = delete;
    TColorManager& operator=(const TColorManager&) = delete;

    // Bits per sample, 1 to 16 (converters exist for 1, 2, 4, 8 and 16).
    uint8_t SourceSampleBits() const { return sourceBPS_; }
    void SetSourceSampleBits(uint8_t value);
    uint8_t TargetSampleBits() const { return targetBPS_; }
    void SetTargetSampleBits(uint8_t value);
    // Samples per pixel, 1 to 4.
    uint8_t SourceSampleCount() const { return sourceSPP_; }
    void SetSourceSampleCount(uint8_t value);
    uint8_t TargetSampleCount() const { return targetSPP_; }
    void SetTargetSampleCount(uint8_t value);
    TColorModel SourceModel() const { return sourceModel_; }
    void SetSourceModel(TColorModel value);
    TColorModel TargetModel() const { return targetModel_; }
    void SetTargetModel(TColorModel value);

    // Options of each side, assigned by the readers; read by the converters at every row.
    // cvAlpha is set and cleared by the converter selection from the colour models.
    TConversionOptions SourceFlags;
    TConversionOptions TargetFlags;

    // The bitmap pixel format of the target side (ForTarget) or of the source side.
    TPixelFormat QueryPixelFormat(bool ForTarget) const;
    // Stores the gammas (values <= 0 become 1.0 and 2.2) and rebuilds the gamma table at once.
    void DefineGamma(float ImageGamma, float ScreenGamma);
    // Stores up to three luma weights (red, green, blue) and, when both are valid, the chroma
    // subsampling factors.
    void DefineYCbCr(std::span<const float> Weights, uint8_t SubsamplingH, uint8_t SubsamplingV);
    void DefineYCbCr(std::initializer_list<float> Weights, uint8_t SubsamplingH, uint8_t SubsamplingV) {
        DefineYCbCr(std::span<const float>(Weights.begin(), Weights.size()), SubsamplingH, SubsamplingV);
    }

    // Converts one row of PixelCount pixels from Sources into Target. Bit 7 of PixelMask governs
    // pixel 0, bit 0 pixel 7, bit 7 again pixel 8 and so on; a pixel whose bit is clear is neither
    // read nor written, and the sources hold only the produced pixels.
    // One pointer means interleaved samples. Several pointers mean planes: RGB-family models need
    // three (four with source alpha), cmCMYK four, cmCIELab, cmYCbCr and cmPhotoYCC three; grey and
    // indexed rows read pointer 0 only. Fewer pointers than that raise EColorConversionError.
    // The caller supplies buffers long enough for PixelCount pixels in both layouts; rows need no
    // particular alignment. Depths a converter does not handle leave the target untouched.
    void TranslateRow(TSourceList Sources, void* Target, uint32_t PixelCount, uint8_t PixelMask);
    void TranslateRow(std::initializer_list<const void*> Sources, void* Target, uint32_t PixelCount,
                      uint8_t PixelMask) {
        TranslateRow(TSourceList(Sources.begin(), Sources.size()), Target, PixelCount, PixelMask);
    }

    // A palette of min(Count, 256) colours read from Data in the given layout, stretched to the
    // index range of the target depth. The caller owns the result.
    HPALETTE BuildColorPalette(TSourceList Data, TPaletteLayout Layout, uint32_t Count, bool BlueFirst);
    HPALETTE BuildColorPalette(std::initializer_list<const void*> Data, TPaletteLayout Layout, uint32_t Count,
                               bool BlueFirst) {
        return BuildColorPalette(TSourceList(Data.begin(), Data.size()), Layout, Count, BlueFirst);
    }
    // A grey ramp for the target depth, black first or (WhiteAtZero) white first.
    HPALETTE BuildGrayPalette(bool WhiteAtZero);

    // Read-only views of the internal state.
    bool Dirty() const { return dirty_; }
    float ImageGamma() const { return imageGamma_; }
    float ScreenGamma() const { return screenGamma_; }
    const std::array<uint8_t, 256>& GammaLookup() const { return gammaLookup_; }
    const std::array<float, 3>& LumaWeights() const { return lumaWeights_; }
    uint8_t SubsamplingH() const { return subsamplingH_; }
    uint8_t SubsamplingV() const { return subsamplingV_; }

private:
    using TRowTranslator = void (TColorManager::*)(TSourceList, void*, uint32_t, uint8_t);

    void SetDirty() { dirty_ = true; }
    void SelectRowTranslator();
    void BuildChromaTables();
    // How many source pointers the chosen converter needs for this row (0 when any count will do).
    size_t RequiredSources(size_t given) const;

    // The row converters.
    void RowKeepOrder(TSourceList Sources, void* Target, uint32_t PixelCount, uint8_t PixelMask);
    void RowSwapOrder(TSourceList Sources, void* Target, uint32_t PixelCount, uint8_t PixelMask);
    void RowCMYKToBGR(TSourceList Sources, void* Target, uint32_t PixelCount, uint8_t PixelMask);
    void RowCMYKToRGB(TSourceList Sources, void* Target, uint32_t PixelCount, uint8_t PixelMask);
    void RowLabToBGR(TSourceList Sources, void* Target, uint32_t PixelCount, uint8_t PixelMask);
    void RowLabToRGB(TSourceList Sources, void* Target, uint32_t PixelCount, uint8_t PixelMask);
    void RowChromaToBGR(TSourceList Sources, void* Target, uint32_t PixelCount, uint8_t PixelMask);
    void RowChromaToRGB(TSourceList Sources, void* Target, uint32_t PixelCount, uint8_t PixelMask);
    void RowGrayWide(TSourceList Sources, void* Target, uint32_t PixelCount, uint8_t PixelMask);
    void RowPackedBits(TSourceList Sources, void* Target, uint32_t PixelCount, uint8_t PixelMask);
    void RowIndexWords(TSourceList Sources, void* Target, uint32_t PixelCount, uint8_t PixelMask);
    void RowIndexNarrow(TSourceList Sources, void* Target, uint32_t PixelCount, uint8_t PixelMask);
    void RowIndexWiden(TSourceList Sources, void* Target, uint32_t PixelCount, uint8_t PixelMask);

    // Shared bodies of the converter pairs; the flag says whether blue is written first.
    void RowRGBFamily(TSourceList Sources, void* Target, uint32_t PixelCount, uint8_t PixelMask, bool swapOrder);
    void RowCMYK(TSourceList Sources, void* Target, uint32_t PixelCount, uint8_t PixelMask, bool blueFirst);
    void RowLab(TSourceList Sources, void* Target, uint32_t PixelCount, uint8_t PixelMask, bool blueFirst);
    void RowChroma(TSourceList Sources, void* Target, uint32_t PixelCount, uint8_t PixelMask, bool blueFirst);

    bool dirty_ = true;
    uint8_t sourceBPS_ = 8;
    uint8_t targetBPS_ = 8;
    uint8_t sourceSPP_ = 3;
    uint8_t targetSPP_ = 3;
    float imageGamma_ = 1.0f;
    float screenGamma_ = 2.2f;
    std::array<uint8_t, 256> gammaLookup_{};
    std::array<float, 3> lumaWeights_{0.299f, 0.587f, 0.114f};
    uint8_t subsamplingH_ = 1;
    uint8_t subsamplingV_ = 1;
    std::array<int32_t, 256> crRedTable_{};
    std::array<int32_t, 256> cbBlueTable_{};
    std::array<int32_t, 256> crGreenTable_{};
    std::array<int32_t, 256> cbGreenTable_{};
    // The four chroma factors (red from Cr, green from Cr, blue from Cb, green from Cb) the tables
    // were built with; the 16-bit YCbCr path uses them directly.
    std::array<float, 4> chromaFactors_{};
    TColorModel sourceModel_ = cmRGB;
    TColorModel targetModel_ = cmBGR;
    TRowTranslator rowTranslator_ = nullptr;
};
