// The picture layer's Windows icon class: icon and cursor resource files (ICO/CUR) whose images are
// device-independent bitmaps or PNG streams.
#pragma once

#include <cstdint>
#include <vector>

#include "Graphics.h"

class TIcon : public TGraphic {
public:
    VARNEL_GRAPHIC_CLASS()

    // Reads the icon directory and decodes the largest image (the deepest colour among images of the
    // same size), which gives Width and Height. Invalid files raise EInvalidGraphic "Icon image is
    // not valid"; short reads the stream's read error.
    void LoadFromStream(TStream& stream) override;
    // Writes the icon file as it was read (nothing for an empty icon).
    void SaveToStream(TStream& stream) override;
    void Assign(const TGraphic& source) override;

    int32_t Width() const override { return image_.Width(); }
    int32_t Height() const override { return image_.Height(); }

    // Number of images in the directory, and the decoded image.
    int ImageCount() const { return imageCount_; }
    const TBitmap& Bitmap() const { return image_; }

protected:
    void AssignTo(TGraphic& dest) const override;

private:
    std::vector<uint8_t> data_;
    int imageCount_ = 0;
    TBitmap image_;
};
