#include "Graphics.h"

#include <sys/mman.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "Icon.h"
#include "JPEGImage.h"
#include "Metafile.h"

// ---------------------------------------------------------------------------
// Class descriptors.

const TGraphicClass TGraphic::Class{"TGraphic", nullptr, nullptr, nullptr};
const TGraphicClass TBitmap::Class{"TBitmap", &TGraphic::Class, &CreateGraphicInstance<TBitmap>, nullptr};

std::unique_ptr<TGraphic> TGraphicClass::NewInstance() const {
    if (!Create) throw EInvalidGraphic(Format("Cannot create an instance of the abstract class %s", {Name}));
    return Create();
}

// ---------------------------------------------------------------------------
// TGraphic

void TGraphic::Assign(const TGraphic& source) {
    if (&source == this) return;
    source.AssignTo(*this);
}

void TGraphic::AssignTo(TGraphic& dest) const { dest.RaiseAssignError(*this); }

void TGraphic::RaiseAssignError(const TGraphic& source) const {
    throw EConvertError(Format("Cannot assign a %s to a %s", {source.ClassName(), ClassName()}));
}

void TGraphic::LoadFromFile(const std::string& fileName) {
    TFileStream stream(fileName, fmOpenRead | fmShareDenyWrite);
    LoadFromStream(stream);
}

void TGraphic::SaveToFile(const std::string& fileName) {
    TMemoryStream stream;
    SaveToStream(stream);
    WriteFileAtomically(fileName, stream.Memory(), size_t(stream.Size()));
}

void TGraphic::SetWidth(int32_t) { throw EInvalidGraphic(Format("Cannot change the size of a %s", {ClassName()})); }
void TGraphic::SetHeight(int32_t) { throw EInvalidGraphic(Format("Cannot change the size of a %s", {ClassName()})); }

void TGraphic::Progress(TGraphic* sender, TProgressStage stage, uint8_t percentDone, bool redrawNow, const TRect& rect,
                        const std::string& message) {
    if (OnProgress) OnProgress(sender, stage, percentDone, redrawNow, rect, message);
}

// ---------------------------------------------------------------------------
// Sizes

size_t BytesPerScanline(int64_t width, int64_t bitsPerPixel, int64_t alignment) {
    if (width < 0 || bitsPerPixel < 0 || alignment <= 0 || width > int64_t(MaxImageBytes) * 8 ||
        bitsPerPixel > 128 || alignment > 1024)
        throw EOutOfResources(Format("Invalid row of %d pixels at %d bits per pixel", {width, bitsPerPixel}));
    // width < 2^33 and bits <= 128: the product stays far below 2^63.
    uint64_t bits = uint64_t(width) * uint64_t(bitsPerPixel);
    uint64_t bytes = (bits + uint64_t(alignment) - 1) / uint64_t(alignment) * uint64_t(alignment) / 8;
    if (bytes > MaxImageBytes)
        throw EOutOfResources(Format("Image too large: a row of %d pixels at %d bits per pixel exceeds the limit of 1 GiB",
                                     {width, bitsPerPixel}));
    return size_t(bytes);
}

size_t CheckedImageBytes(int64_t width, int64_t height, int64_t bitsPerPixel, int64_t alignment) {
    if (height < 0) throw EOutOfResources(Format("Invalid image height %d", {height}));
    uint64_t row = BytesPerScanline(width, bitsPerPixel, alignment);
    if (row != 0 && uint64_t(height) > MaxImageBytes / row)
        throw EOutOfResources(
            Format("Image too large: %d x %d pixels at %d bits per pixel exceed the limit of 1 GiB",
                   {width, height, bitsPerPixel}));
    return size_t(row * uint64_t(height));
}

// ---------------------------------------------------------------------------
// Pixel rows in blue, green, red, alpha order, for conversions between formats and the canvas.

namespace {

bool IsIndexed(TPixelFormat f) { return f == pf1bit || f == pf4bit || f == pf8bit; }

inline uint8_t Expand5(unsigned v) { return uint8_t((v << 3) | (v >> 2)); }
inline uint8_t Expand6(unsigned v) { return uint8_t((v << 2) | (v >> 4)); }

inline unsigned IndexAt(const uint8_t* row, int bits, int x) {
    switch (bits) {
    case 1: return (row[x >> 3] >> (7 - (x & 7))) & 1u;
    case 4: return (x & 1) ? (row[x >> 1] & 0x0Fu) : (row[x >> 1] >> 4);
    default: return row[x];
    }
}

inline void SetIndexAt(uint8_t* row, int bits, int x, unsigned index) {
    switch (bits) {
    case 1: {
        uint8_t mask = uint8_t(0x80u >> (x & 7));
        row[x >> 3] = uint8_t(index & 1u ? row[x >> 3] | mask : row[x >> 3] & ~mask);
        break;
    }
    case 4:
        if (x & 1)
            row[x >> 1] = uint8_t((row[x >> 1] & 0xF0u) | (index & 0x0Fu));
        else
            row[x >> 1] = uint8_t((row[x >> 1] & 0x0Fu) | ((index & 0x0Fu) << 4));
        break;
    default: row[x] = uint8_t(index);
    }
}

// Finds the nearest palette entry among the first 2^bits entries, remembering the last answer.
class NearestEntry {
public:
    NearestEntry(const TPalette* palette, int bits) : palette_(palette) {
        limit_ = palette ? std::min(palette->Count(), 1 << bits) : 0;
    }
    unsigned operator()(uint8_t r, uint8_t g, uint8_t b) {
        uint32_t key = uint32_t(r) | uint32_t(g) << 8 | uint32_t(b) << 16;
        if (key == lastKey_) return lastIndex_;
        unsigned best = 0;
        int bestDistance = 1 << 30;
        for (int i = 0; i < limit_; ++i) {
            const TPaletteEntry& e = palette_->Entry(i);
            int dr = e.peRed - r, dg = e.peGreen - g, db = e.peBlue - b;
            int d = dr * dr + dg * dg + db * db;
            if (d < bestDistance) {
                bestDistance = d;
                best = unsigned(i);
                if (d == 0) break;
            }
        }
        lastKey_ = key;
        lastIndex_ = best;
        return best;
    }

private:
    const TPalette* palette_;
    int limit_ = 0;
    uint32_t lastKey_ = 0xFFFFFFFFu;
    unsigned lastIndex_ = 0;
};

void UnpackRow(const uint8_t* src, TPixelFormat format, const TPalette* palette, int width, uint8_t* bgra) {
    switch (format) {
    case pf1bit:
    case pf4bit:
    case pf8bit: {
        int bits = PixelFormatBits(format);
        int count = palette ? palette->Count() : 0;
        for (int x = 0; x < width; ++x, bgra += 4) {
            unsigned i = IndexAt(src, bits, x);
            if (int(i) < count) {
                const TPaletteEntry& e = palette->Entry(int(i));
                bgra[0] = e.peBlue, bgra[1] = e.peGreen, bgra[2] = e.peRed;
            } else {
                bgra[0] = bgra[1] = bgra[2] = 0;
            }
            bgra[3] = 0;
        }
        break;
    }
    case pf15bit:
        for (int x = 0; x < width; ++x, bgra += 4, src += 2) {
            unsigned v = unsigned(src[0]) | unsigned(src[1]) << 8;
            bgra[0] = Expand5(v & 31u), bgra[1] = Expand5((v >> 5) & 31u), bgra[2] = Expand5((v >> 10) & 31u);
            bgra[3] = 0;
        }
        break;
    case pf16bit:
        for (int x = 0; x < width; ++x, bgra += 4, src += 2) {
            unsigned v = unsigned(src[0]) | unsigned(src[1]) << 8;
            bgra[0] = Expand5(v & 31u), bgra[1] = Expand6((v >> 5) & 63u), bgra[2] = Expand5((v >> 11) & 31u);
            bgra[3] = 0;
        }
        break;
    case pf24bit:
        for (int x = 0; x < width; ++x, bgra += 4, src += 3) {
            bgra[0] = src[0], bgra[1] = src[1], bgra[2] = src[2], bgra[3] = 0;
        }
        break;
    default:  // pfDevice, pf32bit
        std::memcpy(bgra, src, size_t(width) * 4);
        break;
    }
}

void PackRow(const uint8_t* bgra, TPixelFormat format, const TPalette* palette, int width, uint8_t* dst) {
    switch (format) {
    case pf1bit:
    case pf4bit:
    case pf8bit: {
        int bits = PixelFormatBits(format);
        NearestEntry nearest(palette, bits);
        for (int x = 0; x < width; ++x, bgra += 4) SetIndexAt(dst, bits, x, nearest(bgra[2], bgra[1], bgra[0]));
        break;
    }
    case pf15bit:
        for (int x = 0; x < width; ++x, bgra += 4, dst += 2) {
            unsigned v = unsigned(bgra[0] >> 3) | unsigned(bgra[1] >> 3) << 5 | unsigned(bgra[2] >> 3) << 10;
            dst[0] = uint8_t(v), dst[1] = uint8_t(v >> 8);
        }
        break;
    case pf16bit:
        for (int x = 0; x < width; ++x, bgra += 4, dst += 2) {
            unsigned v = unsigned(bgra[0] >> 3) | unsigned(bgra[1] >> 2) << 5 | unsigned(bgra[2] >> 3) << 11;
            dst[0] = uint8_t(v), dst[1] = uint8_t(v >> 8);
        }
        break;
    case pf24bit:
        for (int x = 0; x < width; ++x, bgra += 4, dst += 3) dst[0] = bgra[0], dst[1] = bgra[1], dst[2] = bgra[2];
        break;
    default: std::memcpy(dst, bgra, size_t(width) * 4); break;
    }
}

}  // namespace

HPALETTE DefaultPalette(int bitsPerPixel) {
    TLogPalette log;
    auto set = [&log](int i, uint8_t r, uint8_t g, uint8_t b) {
        log.palPalEntry[size_t(i)] = TPaletteEntry{r, g, b, 0};
    };
    if (bitsPerPixel == 1) {
        log.palNumEntries = 2;
        set(1, 255, 255, 255);
    } else if (bitsPerPixel == 4) {
        static const uint8_t vga[16][3] = {{0, 0, 0},       {128, 0, 0},   {0, 128, 0},   {128, 128, 0},
                                           {0, 0, 128},     {128, 0, 128}, {0, 128, 128}, {192, 192, 192},
                                           {128, 128, 128}, {255, 0, 0},   {0, 255, 0},   {255, 255, 0},
                                           {0, 0, 255},     {255, 0, 255}, {0, 255, 255}, {255, 255, 255}};
        log.palNumEntries = 16;
        for (int i = 0; i < 16; ++i) set(i, vga[i][0], vga[i][1], vga[i][2]);
    } else {
        log.palNumEntries = 256;
        int i = 0;
        for (int r = 0; r < 6; ++r)
            for (int g = 0; g < 6; ++g)
                for (int b = 0; b < 6; ++b) set(i++, uint8_t(r * 51), uint8_t(g * 51), uint8_t(b * 51));
        for (int k = 0; k < 40; ++k) {
            auto v = uint8_t((k * 255 + 19) / 39);
            set(i++, v, v, v);
        }
    }
    return CreatePalette(log);
}

// ---------------------------------------------------------------------------
// TBitmap

void TBitmap::FreeDeleter::operator()(uint8_t* p) const noexcept {
    if (mappedBytes) ::munmap(p, mappedBytes);
    else std::free(p);
}

TBitmap::TPixelMemory TBitmap::AllocatePixels(size_t bytes, int32_t width, int32_t height) {
    // From this size on, a fresh mapping costs less than touching heap pages one fault at a time.
    constexpr size_t kMapThreshold = size_t(4) << 20;
    if (bytes >= kMapThreshold) {
        // Mapped with room to spare, then trimmed to start on a huge-page boundary, so the system can
        // back the pixels with a few large pages instead of thousands of small ones.
        constexpr size_t kHugePage = size_t(2) << 20;
        const size_t length = (bytes + 4095) & ~size_t(4095);
        void* p = ::mmap(nullptr, length + kHugePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (p != MAP_FAILED) {
            auto* base = static_cast<uint8_t*>(p);
            uint8_t* aligned = reinterpret_cast<uint8_t*>((reinterpret_cast<uintptr_t>(base) + kHugePage - 1) & ~(kHugePage - 1));
            if (aligned > base) ::munmap(base, size_t(aligned - base));
            const size_t tail = size_t(base + length + kHugePage - (aligned + length));
            if (tail) ::munmap(aligned + length, tail);
#ifdef MADV_HUGEPAGE
            ::madvise(aligned, length, MADV_HUGEPAGE);
#endif
            return TPixelMemory(aligned, FreeDeleter{length});
        }
    } else if (void* p = std::calloc(bytes, 1)) {
        return TPixelMemory(static_cast<uint8_t*>(p), FreeDeleter{});
    }
    throw EOutOfResources(Format("Out of memory for a bitmap of %d x %d pixels", {width, height}));
}

TBitmap::TBitmap() = default;
TBitmap::~TBitmap() = default;

void TBitmap::EnsurePalette() {
    if (IsIndexed(pixelFormat_) && !palette_) palette_ = DefaultPalette(BitsPerPixel());
}

void TBitmap::Reallocate(int32_t width, int32_t height, TPixelFormat format, bool keepPixels) {
    if (width < 0 || height < 0) throw EInvalidGraphic(Format("Invalid bitmap size (%d x %d)", {width, height}));
    const int bits = PixelFormatBits(format);
    const size_t stride = BytesPerScanline(width, bits, 32);
    const size_t total = CheckedImageBytes(width, height, bits, 32);
    TPixelMemory memory;
    if (total != 0) memory = AllocatePixels(total, width, height);
    const TPixelFormat oldFormat = pixelFormat_;
    if (keepPixels && bits_ && memory) {
        const int32_t rows = std::min(height, height_);
        const int32_t cols = std::min(width, width_);
        const uint8_t* oldTop = bits_.get() + size_t(height_ - 1) * stride_;
        uint8_t* newTop = memory.get() + size_t(height - 1) * stride;
        if (format == oldFormat) {
            const size_t bytes = (size_t(cols) * size_t(bits) + 7) / 8;
            for (int32_t r = 0; r < rows; ++r) std::memcpy(newTop - size_t(r) * stride, oldTop - size_t(r) * stride_, bytes);
        } else if (IsIndexed(format) && IsIndexed(oldFormat) && bits >= PixelFormatBits(oldFormat)) {
            const int oldBits = PixelFormatBits(oldFormat);
            for (int32_t r = 0; r < rows; ++r) {
                const uint8_t* s = oldTop - size_t(r) * stride_;
                uint8_t* d = newTop - size_t(r) * stride;
                for (int32_t x = 0; x < cols; ++x) SetIndexAt(d, bits, x, IndexAt(s, oldBits, x));
            }
        } else {
            HPALETTE newPalette = palette_ ? CreatePalette([&] {
                TLogPalette log;
                log.palNumEntries = uint16_t(palette_->Count());
                std::copy_n(palette_->Entries(), palette_->Count(), log.palPalEntry.begin());
                return log;
            }())
                                           : (IsIndexed(format) ? DefaultPalette(bits) : HPALETTE());
            std::vector<uint8_t> row(size_t(cols) * 4);
            for (int32_t r = 0; r < rows; ++r) {
                UnpackRow(oldTop - size_t(r) * stride_, oldFormat, palette_.get(), cols, row.data());
                PackRow(row.data(), format, newPalette.get(), cols, newTop - size_t(r) * stride);
            }
            palette_ = std::move(newPalette);
        }
    }
    bits_ = std::move(memory);
    width_ = width;
    height_ = height;
    stride_ = stride;
    pixelFormat_ = format;
    EnsurePalette();
}

void TBitmap::SetSize(int32_t width, int32_t height) {
    if (width == width_ && height == height_) return;
    Reallocate(width, height, pixelFormat_, true);
}

void TBitmap::SetPixelFormat(TPixelFormat format) {
    if (format == pfCustom || format > pfCustom) throw EInvalidGraphic("Invalid pixel format");
    if (format == pixelFormat_) {
        EnsurePalette();
        return;
    }
    Reallocate(width_, height_, format, true);
}

uint8_t* TBitmap::ScanLine(int32_t row) {
    if (row < 0 || row >= height_) throw EInvalidGraphic("Scan line index out of range");
    return bits_.get() + size_t(height_ - 1 - row) * stride_;
}

const uint8_t* TBitmap::ScanLine(int32_t row) const { return const_cast<TBitmap*>(this)->ScanLine(row); }

void TBitmap::FreeImage() {
    bits_.reset();
    width_ = height_ = 0;
    stride_ = 0;
    palette_.reset();
}

void TBitmap::Swap(TBitmap& other) noexcept {
    std::swap(bits_, other.bits_);
    std::swap(width_, other.width_);
    std::swap(height_, other.height_);
    std::swap(stride_, other.stride_);
    std::swap(pixelFormat_, other.pixelFormat_);
    std::swap(palette_, other.palette_);
    std::swap(transparentColor_, other.transparentColor_);
    std::swap(transparentMode_, other.transparentMode_);
    const bool transparent = Transparent();
    SetTransparent(other.Transparent());
    other.SetTransparent(transparent);
}

void TBitmap::Assign(const TGraphic& source) {
    if (&source == this) return;
    if (!source.InheritsFrom(&TBitmap::Class)) {
        TGraphic::Assign(source);
        return;
    }
    const auto& src = static_cast<const TBitmap&>(source);
    TPixelMemory memory;
    const size_t total = src.stride_ * size_t(src.height_);
    if (total != 0) {
        memory = AllocatePixels(total, src.width_, src.height_);
        std::memcpy(memory.get(), src.bits_.get(), total);
    }
    HPALETTE palette;
    if (src.palette_) {
        TLogPalette log;
        log.palNumEntries = uint16_t(src.palette_->Count());
        std::copy_n(src.palette_->Entries(), src.palette_->Count(), log.palPalEntry.begin());
        palette = CreatePalette(log);
    }
    bits_ = std::move(memory);
    palette_ = std::move(palette);
    width_ = src.width_;
    height_ = src.height_;
    stride_ = src.stride_;
    pixelFormat_ = src.pixelFormat_;
    transparentColor_ = src.transparentColor_;
    transparentMode_ = src.transparentMode_;
    SetTransparent(src.Transparent());
}

TColor TBitmap::TransparentColor() const {
    if (transparentMode_ == tmFixed) return transparentColor_;
    if (Empty()) return clDefault;
    return canvas_.Pixel(0, height_ - 1);
}

void TBitmap::SetTransparentColor(TColor color) {
    transparentColor_ = color;
    transparentMode_ = color == clDefault ? tmAuto : tmFixed;
}

// ---------------------------------------------------------------------------
// TCanvas

void TCanvas::FillRect(const TRect& rect) {
    TBitmap& b = bitmap_;
    const int32_t left = std::max(rect.Left, 0), right = std::min(rect.Right, b.width_);
    const int32_t top = std::max(rect.Top, 0), bottom = std::min(rect.Bottom, b.height_);
    if (left >= right || top >= bottom) return;
    const TColor c = ColorToRGB(Brush.Color);
    const uint8_t r = GetRValue(c), g = GetGValue(c), bl = GetBValue(c);
    const int bits = b.BitsPerPixel();
    const int32_t count = right - left;
    // One packed row of the colour, then copied into every row of the rectangle.
    std::vector<uint8_t> bgra(size_t(count) * 4);
    for (int32_t x = 0; x < count; ++x) bgra[size_t(x) * 4] = bl, bgra[size_t(x) * 4 + 1] = g, bgra[size_t(x) * 4 + 2] = r;
    if (IsIndexed(b.pixelFormat_)) {
        unsigned index = NearestEntry(b.palette_.get(), bits)(r, g, bl);
        for (int32_t y = top; y < bottom; ++y) {
            uint8_t* row = b.ScanLine(y);
            if (bits == 8) {
                std::memset(row + left, int(index), size_t(count));
                continue;
            }
            // 1 and 4 bits: single pixels up to the first whole byte and after the last one, whole
            // bytes in between.
            const int32_t perByte = 8 / bits;
            const int32_t firstWhole = std::min(right, (left + perByte - 1) / perByte * perByte);
            const int32_t lastWhole = std::max(firstWhole, right / perByte * perByte);
            for (int32_t x = left; x < firstWhole; ++x) SetIndexAt(row, bits, x, index);
            const uint8_t pattern = bits == 1 ? uint8_t(index & 1u ? 0xFF : 0x00) : uint8_t((index & 15u) * 0x11u);
            std::memset(row + firstWhole / perByte, pattern, size_t((lastWhole - firstWhole) / perByte));
            for (int32_t x = lastWhole; x < right; ++x) SetIndexAt(row, bits, x, index);
        }
        return;
    }
    const size_t bytesPerPixel = size_t(bits) / 8;
    std::vector<uint8_t> packed(size_t(count) * bytesPerPixel);
    PackRow(bgra.data(), b.pixelFormat_, nullptr, count, packed.data());
    for (int32_t y = top; y < bottom; ++y)
        std::memcpy(b.ScanLine(y) + size_t(left) * bytesPerPixel, packed.data(), packed.size());
}

TColor TCanvas::Pixel(int32_t x, int32_t y) const {
    const TBitmap& b = bitmap_;
    if (x < 0 || y < 0 || x >= b.width_ || y >= b.height_) return -1;
    const uint8_t* row = b.ScanLine(y);
    uint8_t bgra[4];
    const int bits = b.BitsPerPixel();
    if (IsIndexed(b.pixelFormat_)) {
        // Unpack only the one pixel: the index of x, looked up in the palette.
        unsigned i = IndexAt(row, bits, x);
        if (!b.palette_ || int(i) >= b.palette_->Count()) return clBlack;
        const TPaletteEntry& e = b.palette_->Entry(int(i));
        return RGB(e.peRed, e.peGreen, e.peBlue);
    }
    UnpackRow(row + size_t(x) * size_t(bits / 8), b.pixelFormat_, nullptr, 1, bgra);
    return RGB(bgra[2], bgra[1], bgra[0]);
}

void TCanvas::SetPixel(int32_t x, int32_t y, TColor color) {
    TBrush saved = Brush;
    Brush.Color = color;
    FillRect(Rect(x, y, x + 1, y + 1));
    Brush = saved;
}

// ---------------------------------------------------------------------------
// The list of file formats

TFileFormatsList& TFileFormatsList::Default() {
    static TFileFormatsList list = [] {
        TFileFormatsList l;
        l.Add("wmf", "Metafiles", &TMetafile::Class);
        l.Add("emf", "Enhanced Metafiles", &TMetafile::Class);
        l.Add("ico", "Icons", &TIcon::Class);
        l.Add("bmp", "Bitmaps", &TBitmap::Class);
        l.Add("jpeg", "JPEG Image File", &TJPEGImage::Class);
        l.Add("jpg", "JPEG Image File", &TJPEGImage::Class);
        return l;
    }();
    return list;
}

void TFileFormatsList::Add(const std::string& extension, const std::string& description,
                           const TGraphicClass* graphicClass) {
    entries_.push_back(TFileFormat{LowerCase(extension), description, graphicClass});
}

void TFileFormatsList::Remove(const TGraphicClass* graphicClass) {
    std::erase_if(entries_, [graphicClass](const TFileFormat& f) { return f.GraphicClass->InheritsFrom(graphicClass); });
}

const TGraphicClass* TFileFormatsList::FindExt(const std::string& extension) const {
    const std::string ext = LowerCase(extension);
    for (auto it = entries_.rbegin(); it != entries_.rend(); ++it)
        if (it->Extension == ext) return it->GraphicClass;
    return nullptr;
}

std::string TFileFormatsList::Filter(const TGraphicClass* graphicClass) const {
    std::string pairs, patterns;
    int count = 0;
    for (auto it = entries_.rbegin(); it != entries_.rend(); ++it) {
        if (it->Extension.empty() || !it->GraphicClass->InheritsFrom(graphicClass)) continue;
        pairs = Format("%s%s (*.%s)|*.%2:s", {pairs.empty() ? std::string() : pairs + "|", it->Description, it->Extension});
        patterns = Format("%s*.%s", {patterns.empty() ? std::string() : patterns + ";", it->Extension});
        ++count;
    }
    if (count > 1) return Format("%s (%s)|%1:s|%s", {"All", patterns, pairs});
    return pairs;
}

std::string GraphicFilter(const TGraphicClass* graphicClass) { return TFileFormatsList::Default().Filter(graphicClass); }

// ---------------------------------------------------------------------------
// TPicture

void TPicture::RegisterFileFormat(const std::string& extension, const std::string& description,
                                  const TGraphicClass* graphicClass) {
    TFileFormatsList::Default().Add(extension, description, graphicClass);
}

void TPicture::UnregisterGraphicClass(const TGraphicClass* graphicClass) { TFileFormatsList::Default().Remove(graphicClass); }

const TGraphicClass* TPicture::FindGraphicClass(const std::string& extension) {
    return TFileFormatsList::Default().FindExt(extension);
}

void TPicture::Hook(TGraphic& graphic) {
    graphic.OnProgress = [this](TGraphic* sender, TProgressStage stage, uint8_t percent, bool redraw, const TRect& rect,
                                const std::string& message) {
        if (OnProgress) OnProgress(sender, stage, percent, redraw, rect, message);
    };
}

void TPicture::LoadFromFile(const std::string& fileName) {
    std::string ext = ExtractFileExt(fileName);
    if (!ext.empty()) ext.erase(0, 1);
    const TGraphicClass* graphicClass = FindGraphicClass(ext);
    if (!graphicClass) throw EInvalidGraphic(Format("Unknown picture file extension (.%s)", {ext}));
    std::unique_ptr<TGraphic> graphic = graphicClass->NewInstance();
    Hook(*graphic);
    graphic->LoadFromFile(fileName);
    graphic_ = std::move(graphic);
}

void TPicture::SaveToFile(const std::string& fileName) {
    if (graphic_) graphic_->SaveToFile(fileName);
}

void TPicture::SetGraphic(std::unique_ptr<TGraphic> graphic) {
    if (graphic) Hook(*graphic);
    graphic_ = std::move(graphic);
}
