#include "Icon.h"

#include <png.h>

#include <algorithm>
#include <cstring>

#include "BitmapFile.h"

const TGraphicClass TIcon::Class{"TIcon", &TGraphic::Class, &CreateGraphicInstance<TIcon>, nullptr};

namespace {

constexpr const char* SInvalidIcon = "Icon image is not valid";

[[noreturn]] void InvalidIcon() { throw EInvalidGraphic(SInvalidIcon); }

inline uint16_t Word(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }
inline uint32_t Long(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

struct PngImage {
    png_image image{};
    PngImage() { image.version = PNG_IMAGE_VERSION; }
    ~PngImage() { png_image_free(&image); }
    PngImage(const PngImage&) = delete;
    PngImage& operator=(const PngImage&) = delete;
};

// A PNG-compressed icon image, decoded to 32 bits blue, green, red, alpha.
void ReadPngImage(TBitmap& bitmap, const uint8_t* data, size_t size) {
    PngImage png;
    if (!png_image_begin_read_from_memory(&png.image, data, size)) InvalidIcon();
    const uint32_t width = png.image.width, height = png.image.height;
    CheckedImageBytes(width, height, 32);  // refuses what the bitmap could not hold
    png.image.format = PNG_FORMAT_BGRA;
    bitmap.FreeImage();
    bitmap.SetPixelFormat(pf32bit);
    bitmap.SetSize(int32_t(width), int32_t(height));
    // The bitmap's lowest address holds its bottom row: a negative stride tells libpng so.
    const auto stride = png_int_32(bitmap.RowStride());
    if (!png_image_finish_read(&png.image, nullptr, bitmap.ScanLine(int32_t(height) - 1), -stride, nullptr)) {
        bitmap.FreeImage();
        InvalidIcon();
    }
}

}  // namespace

void TIcon::LoadFromStream(TStream& stream) {
    const int64_t start = stream.Position();
    std::vector<uint8_t> data(6);
    stream.ReadBuffer(data.data(), 6);
    const uint16_t reserved = Word(data.data()), type = Word(data.data() + 2), count = Word(data.data() + 4);
    if (reserved != 0 || (type != 1 && type != 2) || count == 0) InvalidIcon();
    if (int64_t(count) * 16 > stream.Remaining()) InvalidIcon();
    data.resize(6 + size_t(count) * 16);
    stream.ReadBuffer(data.data() + 6, int64_t(count) * 16);

    // The largest image, and among equal sizes the deepest colour.
    const int64_t available = stream.Size() - start;
    int best = -1;
    int64_t bestArea = -1;
    int bestBits = -1;
    uint64_t end = data.size();
    for (int i = 0; i < count; ++i) {
        const uint8_t* e = data.data() + 6 + 16 * i;
        const uint32_t size = Long(e + 8), offset = Long(e + 12);
        if (offset < data.size() || size == 0 || uint64_t(offset) + size > uint64_t(available)) InvalidIcon();
        end = std::max<uint64_t>(end, uint64_t(offset) + size);
        const int64_t w = e[0] ? e[0] : 256, h = e[1] ? e[1] : 256;
        const int bits = Word(e + 6);
        if (w * h > bestArea || (w * h == bestArea && bits > bestBits)) {
            best = i;
            bestArea = w * h;
            bestBits = bits;
        }
    }
    const size_t have = data.size();
    data.resize(size_t(end));
    stream.ReadBuffer(data.data() + have, int64_t(end - have));

    const uint8_t* e = data.data() + 6 + 16 * best;
    const uint8_t* image = data.data() + Long(e + 12);
    const size_t imageSize = Long(e + 8);
    TBitmap decoded;
    static const uint8_t pngSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    if (imageSize >= 8 && std::memcmp(image, pngSignature, 8) == 0) {
        ReadPngImage(decoded, image, imageSize);
    } else {
        TMemoryStream entry(image, imageSize);
        try {
            BitmapFile::ReadDIB(decoded, entry, 0, 0, true);
        } catch (const EInvalidGraphic&) {
            InvalidIcon();
        }
    }
    image_.Swap(decoded);
    data_ = std::move(data);
    imageCount_ = count;
}

void TIcon::SaveToStream(TStream& stream) { stream.WriteBuffer(data_.data(), int64_t(data_.size())); }

void TIcon::Assign(const TGraphic& source) {
    if (&source == this) return;
    if (!source.InheritsFrom(&TIcon::Class)) {
        TGraphic::Assign(source);
        return;
    }
    const auto& src = static_cast<const TIcon&>(source);
    image_.Assign(src.image_);
    data_ = src.data_;
    imageCount_ = src.imageCount_;
}

void TIcon::AssignTo(TGraphic& dest) const {
    if (dest.InheritsFrom(&TBitmap::Class))
        dest.Assign(image_);
    else
        TGraphic::AssignTo(dest);
}
