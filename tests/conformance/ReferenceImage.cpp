#include "ReferenceImage.h"

#include <png.h>

#include <algorithm>
#include <cstdlib>

bool LoadReferenceImage(const std::string& fileName, ReferenceImage& image) {
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&png, fileName.c_str())) return false;
    png.format = PNG_FORMAT_RGBA;
    image.Width = png.width;
    image.Height = png.height;
    image.Rgba.assign(PNG_IMAGE_SIZE(png), 0);
    if (!png_image_finish_read(&png, nullptr, image.Rgba.data(), 0, nullptr)) {
        png_image_free(&png);
        return false;
    }
    return true;
}

int MaxSampleDifference(const TBitmap& bitmap, const ReferenceImage& reference, std::string* where) {
    if (uint32_t(bitmap.Width()) != reference.Width || uint32_t(bitmap.Height()) != reference.Height) return -1;
    auto& canvas = const_cast<TBitmap&>(bitmap).Canvas();
    int worst = 0;
    for (uint32_t y = 0; y < reference.Height; ++y)
        for (uint32_t x = 0; x < reference.Width; ++x) {
            const uint8_t* p = reference.Rgba.data() + (size_t(y) * reference.Width + x) * 4;
            const TColor c = canvas.Pixel(int32_t(x), int32_t(y));
            const int d = std::max({std::abs(GetRValue(c) - p[0]), std::abs(GetGValue(c) - p[1]), std::abs(GetBValue(c) - p[2])});
            if (d > worst) {
                worst = d;
                if (where) *where = std::to_string(x) + "," + std::to_string(y);
            }
        }
    return worst;
}

int MaxSampleDifference(const TBitmap& a, const TBitmap& b) {
    if (a.Width() != b.Width() || a.Height() != b.Height()) return -1;
    auto& ca = const_cast<TBitmap&>(a).Canvas();
    auto& cb = const_cast<TBitmap&>(b).Canvas();
    int worst = 0;
    for (int32_t y = 0; y < a.Height(); ++y)
        for (int32_t x = 0; x < a.Width(); ++x) {
            const TColor p = ca.Pixel(x, y), q = cb.Pixel(x, y);
            worst = std::max({worst, std::abs(GetRValue(p) - GetRValue(q)), std::abs(GetGValue(p) - GetGValue(q)),
                              std::abs(GetBValue(p) - GetBValue(q))});
        }
    return worst;
}
