// The picture layer's JPEG class, decoding through libjpeg: grey, colour (YCbCr and RGB), CMYK and
// YCCK (Adobe's inverted form as well), baseline and progressive.
#pragma once

#include <cstdint>
#include <vector>

#include "Graphics.h"

class TJPEGImage : public TGraphic {
public:
    VARNEL_GRAPHIC_CLASS()

    // Reads the rest of the stream as one JPEG file and decodes it completely: grey images become
    // 8-bit bitmaps with a grey palette, all others 24-bit bitmaps. Fatal errors of the JPEG library
    // raise EInvalidGraphic "JPEG error #%d" with the library's message code. When the data ends
    // before the image does, the rows decoded until then are kept and the rest stays black.
    void LoadFromStream(TStream& stream) override;
    // Writes the JPEG data as it was read.
    void SaveToStream(TStream& stream) override;
    void Assign(const TGraphic& source) override;

    int32_t Width() const override { return image_.Width(); }
    int32_t Height() const override { return image_.Height(); }
    bool Grayscale() const { return grayscale_; }
    bool ProgressiveEncoding() const { return progressive_; }
    const TBitmap& Bitmap() const { return image_; }

protected:
    void AssignTo(TGraphic& dest) const override;

private:
    std::vector<uint8_t> data_;
    TBitmap image_;
    bool grayscale_ = false;
    bool progressive_ = false;
};
