// The picture layer's metafile class: Windows metafiles (with or without the placeable header) and
// enhanced metafiles. Metafiles are measured, not rendered.
#pragma once

#include <cstdint>
#include <vector>

#include "Graphics.h"

class TMetafile : public TGraphic {
public:
    VARNEL_GRAPHIC_CLASS()

    // Reads the whole metafile and takes its size from the header:
    // - placeable metafile: the bounding box in its units per inch, converted to 0.01 mm and then to
    //   pixels at 96 dots per inch;
    // - enhanced metafile: the frame rectangle (0.01 mm) scaled by the reference device's pixels per
    //   millimetre; the bounds rectangle (inclusive, in device pixels) when the reference device gives
    //   no size;
    // - plain metafile without a placeable header: the extent of its first SetWindowExt record,
    //   taken as pixels; 0 x 0 when it has none.
    // Invalid data raises EInvalidGraphic "Metafile is not valid"; short reads the stream's read error.
    void LoadFromStream(TStream& stream) override;
    // Writes the metafile's bytes as they were read.
    void SaveToStream(TStream& stream) override;
    void Assign(const TGraphic& source) override;

    int32_t Width() const override { return width_; }
    int32_t Height() const override { return height_; }
    // The size in 0.01 mm (0 for a plain metafile).
    int32_t MMWidth() const { return mmWidth_; }
    int32_t MMHeight() const { return mmHeight_; }
    bool Enhanced() const { return enhanced_; }
    // Units per inch of a placeable metafile (0 otherwise).
    int32_t Inch() const { return inch_; }

private:
    void LoadEnhanced(TStream& stream, int64_t start);
    void LoadWindows(TStream& stream, int64_t start);

    std::vector<uint8_t> data_;
    int32_t width_ = 0;
    int32_t height_ = 0;
    int32_t mmWidth_ = 0;
    int32_t mmHeight_ = 0;
    int32_t inch_ = 0;
    bool enhanced_ = false;
};
