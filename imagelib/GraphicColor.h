// The colour manager: turns stored pixel rows into bitmap rows and builds palettes.
#pragma once

#include <cstdint>

#include "Sets.h"

enum TColorModel : uint8_t {
    cmUnknown = 0, cmIndexed, cmGray, cmGrayAlpha, cmRGB, cmRGBA, cmBGR, cmBGRA, cmCMY, cmCMYK, cmCIELab,
    cmYCbCr, cmPhotoYCC
};

enum TConversionOption : uint8_t { cvAlpha = 0, cvApplyGamma, cvNeedByteSwap, cvLabByteRange, cvLabChromaOffset };
using TConversionOptions = TSet<TConversionOption>;

// (TColorManager follows here.)
