#include "BitmapFile.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <vector>

namespace {

constexpr const char* SInvalidBitmap = "Bitmap image is not valid";

[[noreturn]] void InvalidBitmap() { throw EInvalidGraphic(SInvalidBitmap); }

enum : uint32_t { BI_RGB = 0, BI_RLE8 = 1, BI_RLE4 = 2, BI_BITFIELDS = 3, BI_ALPHABITFIELDS = 6 };

inline uint16_t Word(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }
inline uint32_t Long(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }
inline void PutWord(uint8_t* p, uint32_t v) { p[0] = uint8_t(v), p[1] = uint8_t(v >> 8); }
inline void PutLong(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v), p[1] = uint8_t(v >> 8), p[2] = uint8_t(v >> 16), p[3] = uint8_t(v >> 24);
}

struct DibHeader {
    uint32_t size = 0;
    int64_t width = 0;
    int64_t height = 0;  // negative: top-down
    uint16_t planes = 1;
    uint16_t bitCount = 0;
    uint32_t compression = BI_RGB;
    uint32_t sizeImage = 0;
    uint32_t colorsUsed = 0;
    uint32_t masks[4] = {0, 0, 0, 0};  // red, green, blue, alpha
    bool core = false;                 // OS/2 1.x header: 3-byte palette entries
    bool os2v2 = false;
};

// One colour channel of a bit-field pixel, scaled to 8 bits.
struct Channel {
    uint32_t mask = 0;
    int shift = 0;
    int bits = 0;
    std::array<uint8_t, 256> scale{};

    explicit Channel(uint32_t m) : mask(m) {
        if (!m) return;
        shift = std::countr_zero(m);
        bits = 32 - std::countl_zero(m >> shift);
        if (bits < 8) {
            const uint32_t max = (1u << bits) - 1;
            for (uint32_t v = 0; v <= max; ++v) scale[v] = uint8_t((v * 255 + max / 2) / max);
        }
    }
    uint8_t operator()(uint32_t pixel) const {
        if (!mask) return 0;
        uint32_t v = (pixel & mask) >> shift;
        return bits >= 8 ? uint8_t(v >> (bits - 8)) : scale[v];
    }
};

// Bytes from a stream through a buffer, for the run-length decoder; at most `limit` bytes are taken.
class ByteSource {
public:
    ByteSource(TStream& stream, int64_t limit) : stream_(stream), left_(limit) {}
    bool Next(uint8_t& b) {
        if (pos_ == len_) {
            if (left_ <= 0) return false;
            len_ = size_t(stream_.Read(buffer_.data(), std::min<int64_t>(int64_t(buffer_.size()), left_)));
            pos_ = 0;
            if (len_ == 0) return false;
            left_ -= int64_t(len_);
        }
        b = buffer_[pos_++];
        return true;
    }

private:
    TStream& stream_;
    int64_t left_;
    std::array<uint8_t, 16384> buffer_{};
    size_t pos_ = 0, len_ = 0;
};

DibHeader ReadHeader(TStream& stream) {
    DibHeader h;
    h.size = stream.ReadLongLE();
    if (h.size == 12) {
        uint8_t b[8];
        stream.ReadBuffer(b, 8);
        h.width = Word(b);
        h.height = Word(b + 2);
        h.planes = Word(b + 4);
        h.bitCount = Word(b + 6);
        h.core = true;
        return h;
    }
    if (h.size < 16 || h.size > 4096) InvalidBitmap();
    std::array<uint8_t, 124> b{};
    const uint32_t wanted = std::min<uint32_t>(h.size, 124) - 4;
    stream.ReadBuffer(b.data(), wanted);
    if (h.size > 124) stream.Seek(h.size - 124, soCurrent);
    h.os2v2 = h.size < 40 || h.size == 64;
    h.width = int32_t(Long(b.data()));
    h.height = int32_t(Long(b.data() + 4));
    h.planes = Word(b.data() + 8);
    h.bitCount = Word(b.data() + 10);
    // Fields beyond a short OS/2 header's end read as zero.
    h.compression = Long(b.data() + 12);
    h.sizeImage = Long(b.data() + 16);
    h.colorsUsed = Long(b.data() + 28);
    if (h.os2v2 && h.compression > BI_RLE4) InvalidBitmap();  // OS/2 Huffman and RLE24
    if (h.size >= 52 && !h.os2v2) {
        for (int i = 0; i < 3; ++i) h.masks[i] = Long(b.data() + 36 + 4 * i);
        if (h.size >= 56) h.masks[3] = Long(b.data() + 48);
    }
    return h;
}

void ReadRle(TBitmap& bitmap, TStream& stream, const DibHeader& h, bool topDown) {
    const int32_t width = bitmap.Width(), height = bitmap.Height();
    const bool rle4 = h.compression == BI_RLE4;
    int64_t limit = stream.Remaining();
    if (h.sizeImage != 0) limit = std::min<int64_t>(limit, h.sizeImage);
    ByteSource src(stream, limit);
    int64_t x = 0;
    int32_t y = 0;  // y counts stored rows, the first one is the bottom row
    uint8_t* row = bitmap.ScanLine(topDown ? 0 : height - 1);
    auto selectRow = [&] {
        if (y < height) row = bitmap.ScanLine(topDown ? y : height - 1 - y);
    };
    auto put = [&](unsigned index) {
        if (x < width) {
            if (rle4) {
                uint8_t& b = row[x >> 1];
                b = (x & 1) ? uint8_t((b & 0xF0u) | (index & 0x0Fu)) : uint8_t((b & 0x0Fu) | (index << 4));
            } else {
                row[x] = uint8_t(index);
            }
        }
        ++x;
    };
    uint8_t count = 0, value = 0;
    while (y < height) {
        if (!src.Next(count) || !src.Next(value)) InvalidBitmap();  // data ends before the image
        if (count != 0) {
            // An encoded run; pixels beyond the row's end are dropped.
            const int64_t n = std::min<int64_t>(count, std::max<int64_t>(width - x, 0));
            if (rle4) {
                for (int64_t i = 0; i < n; ++i) put((i & 1) ? value & 0x0Fu : value >> 4);
                x += count - n;
            } else {
                if (n > 0) std::memset(row + x, value, size_t(n));
                x += count;
            }
            continue;
        }
        switch (value) {
        case 0:  // end of line
            x = 0;
            ++y;
            selectRow();
            break;
        case 1:  // end of bitmap
            return;
        case 2: {  // delta
            uint8_t dx = 0, dy = 0;
            if (!src.Next(dx) || !src.Next(dy)) InvalidBitmap();
            x += dx;
            y += dy;
            if (y > height) y = height;
            selectRow();
            break;
        }
        default: {  // absolute run of `value` pixels, padded to a 16-bit boundary
            const int n = value;
            const int bytes = rle4 ? (n + 1) / 2 : n;
            uint8_t b = 0;
            for (int i = 0; i < n; ++i) {
                if (rle4) {
                    if ((i & 1) == 0 && !src.Next(b)) InvalidBitmap();
                    put((i & 1) ? b & 0x0Fu : b >> 4);
                } else {
                    if (!src.Next(b)) InvalidBitmap();
                    put(b);
                }
            }
            if (bytes & 1)
                if (!src.Next(b)) InvalidBitmap();
            break;
        }
        }
    }
}

}  // namespace

namespace BitmapFile {

void ReadDIB(TBitmap& bitmap, TStream& stream, int64_t fileStart, uint32_t bitsOffset, bool iconImage) {
    DibHeader h = ReadHeader(stream);
    const int bpp = h.bitCount;
    if (h.width <= 0 || h.height == 0 || h.height == INT32_MIN || h.planes != 1) InvalidBitmap();
    if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32) InvalidBitmap();
    switch (h.compression) {
    case BI_RGB: break;
    case BI_RLE8:
        if (bpp != 8) InvalidBitmap();
        break;
    case BI_RLE4:
        if (bpp != 4) InvalidBitmap();
        break;
    case BI_BITFIELDS:
    case BI_ALPHABITFIELDS:
        if (bpp != 16 && bpp != 32) InvalidBitmap();
        if (h.size < 52 || h.os2v2) {
            const int count = h.compression == BI_ALPHABITFIELDS ? 4 : 3;
            uint8_t b[16];
            stream.ReadBuffer(b, count * 4);
            for (int i = 0; i < count; ++i) h.masks[i] = Long(b + 4 * i);
        }
        break;
    default: InvalidBitmap();
    }
    bool topDown = h.height < 0;
    int64_t height = topDown ? -h.height : h.height;
    if (iconImage) {
        if (topDown) InvalidBitmap();
        height /= 2;
        if (height == 0) InvalidBitmap();
    }
    const int64_t width = h.width;
    // Refuses hostile row sizes before anything is read; the bitmap checks the whole size.
    const size_t fileStride = BytesPerScanline(width, bpp, 32);

    // Palette.
    HPALETTE palette;
    const int entrySize = h.core ? 3 : 4;
    uint64_t entries = h.colorsUsed;
    if (bpp <= 8 && entries == 0) entries = 1u << bpp;
    if (entries > 65536) InvalidBitmap();
    if (int64_t(entries * uint64_t(entrySize)) > stream.Remaining()) InvalidBitmap();
    const int64_t afterHeader = stream.Position();
    if (bpp <= 8) {
        std::vector<uint8_t> raw(size_t(entries) * size_t(entrySize));
        stream.ReadBuffer(raw.data(), int64_t(raw.size()));
        TLogPalette log;
        log.palNumEntries = uint16_t(std::min<uint64_t>(entries, 256));
        for (size_t i = 0; i < log.palNumEntries; ++i) {
            const uint8_t* e = raw.data() + i * size_t(entrySize);
            log.palPalEntry[i] = TPaletteEntry{e[2], e[1], e[0], 0};
        }
        palette = CreatePalette(log);
    } else {
        stream.Seek(int64_t(entries) * entrySize, soCurrent);
    }
    if (bitsOffset != 0) {
        const int64_t target = fileStart + int64_t(bitsOffset);
        if (target < afterHeader || target > stream.Size()) InvalidBitmap();
        stream.SetPosition(target);
    }

    // Pixel format.
    TPixelFormat format = pf24bit;
    bool direct = true;  // stored rows are the bitmap's rows
    const bool rle = h.compression == BI_RLE8 || h.compression == BI_RLE4;
    if (bpp == 16 && h.compression == BI_RGB) {
        h.masks[0] = 0x7C00, h.masks[1] = 0x03E0, h.masks[2] = 0x001F;
    } else if (bpp == 32 && h.compression == BI_RGB) {
        h.masks[0] = 0xFF0000, h.masks[1] = 0xFF00, h.masks[2] = 0xFF;
    }
    switch (bpp) {
    case 1: format = pf1bit; break;
    case 4: format = pf4bit; break;
    case 8: format = pf8bit; break;
    case 24: format = pf24bit; break;
    case 16:
        if (h.masks[0] == 0x7C00 && h.masks[1] == 0x03E0 && h.masks[2] == 0x001F && h.masks[3] == 0)
            format = pf15bit;
        else if (h.masks[0] == 0xF800 && h.masks[1] == 0x07E0 && h.masks[2] == 0x001F && h.masks[3] == 0)
            format = pf16bit;
        else
            direct = false;
        break;
    case 32:
        if (h.masks[0] == 0xFF0000 && h.masks[1] == 0xFF00 && h.masks[2] == 0xFF &&
            (h.masks[3] == 0 || h.masks[3] == 0xFF000000u))
            format = pf32bit;
        else
            direct = false;
        break;
    }
    if (!direct) format = h.masks[3] ? pf32bit : pf24bit;
    if (!rle && int64_t(fileStride) * height > stream.Remaining()) InvalidBitmap();  // truncated

    bitmap.FreeImage();
    bitmap.SetPixelFormat(format);
    if (palette) bitmap.SetPalette(std::move(palette));
    bitmap.SetSize(int32_t(width), int32_t(height));
    const int32_t rows = int32_t(height);

    if (rle) {
        ReadRle(bitmap, stream, h, topDown);
        return;
    }
    if (direct) {
        if (!topDown) {
            // Stored bottom-up with the same 32-bit row alignment: one block.
            stream.ReadBuffer(bitmap.ScanLine(rows - 1), int64_t(fileStride) * rows);
        } else {
            for (int32_t r = 0; r < rows; ++r) stream.ReadBuffer(bitmap.ScanLine(r), int64_t(fileStride));
        }
        return;
    }
    const Channel red(h.masks[0]), green(h.masks[1]), blue(h.masks[2]), alpha(h.masks[3]);
    const int outBytes = format == pf32bit ? 4 : 3;
    std::vector<uint8_t> line(fileStride);
    for (int32_t i = 0; i < rows; ++i) {
        stream.ReadBuffer(line.data(), int64_t(fileStride));
        uint8_t* out = bitmap.ScanLine(topDown ? i : rows - 1 - i);
        const uint8_t* in = line.data();
        for (int64_t x = 0; x < width; ++x, out += outBytes) {
            uint32_t px;
            if (bpp == 16) {
                px = Word(in);
                in += 2;
            } else {
                px = Long(in);
                in += 4;
            }
            out[0] = blue(px), out[1] = green(px), out[2] = red(px);
            if (outBytes == 4) out[3] = alpha(px);
        }
    }
}

void WriteBitmapFile(const TBitmap& bitmap, TStream& stream) {
    if (bitmap.Empty()) return;
    const TPixelFormat format = bitmap.PixelFormat();
    const int bpp = format == pf15bit ? 16 : bitmap.BitsPerPixel();
    const bool fields = format == pf16bit;
    uint32_t colors = 0;
    HPALETTE fallback;
    const TPalette* palette = bitmap.Palette();
    if (bpp <= 8) {
        if (!palette) {
            fallback = DefaultPalette(bpp);
            palette = fallback.get();
        }
        colors = uint32_t(std::min(palette->Count(), 1 << bpp));
    }
    const uint32_t stride = uint32_t(bitmap.RowStride());
    const uint32_t imageSize = stride * uint32_t(bitmap.Height());
    const uint32_t bitsOffset = 14 + 40 + (fields ? 12 : 0) + colors * 4;
    std::vector<uint8_t> head(bitsOffset);
    uint8_t* p = head.data();
    p[0] = 'B', p[1] = 'M';
    PutLong(p + 2, bitsOffset + imageSize);
    PutLong(p + 10, bitsOffset);
    p += 14;
    PutLong(p, 40);
    PutLong(p + 4, uint32_t(bitmap.Width()));
    PutLong(p + 8, uint32_t(bitmap.Height()));
    PutWord(p + 12, 1);
    PutWord(p + 14, uint32_t(bpp));
    PutLong(p + 16, fields ? BI_BITFIELDS : BI_RGB);
    PutLong(p + 20, imageSize);
    PutLong(p + 24, 3780);  // 96 dots per inch
    PutLong(p + 28, 3780);
    PutLong(p + 32, colors);
    PutLong(p + 36, 0);
    p += 40;
    if (fields) {
        PutLong(p, 0xF800), PutLong(p + 4, 0x07E0), PutLong(p + 8, 0x001F);
        p += 12;
    }
    for (uint32_t i = 0; i < colors; ++i, p += 4) {
        const TPaletteEntry& e = palette->Entry(int(i));
        p[0] = e.peBlue, p[1] = e.peGreen, p[2] = e.peRed, p[3] = 0;
    }
    stream.WriteBuffer(head.data(), int64_t(head.size()));
    stream.WriteBuffer(bitmap.ScanLine(bitmap.Height() - 1), int64_t(imageSize));
}

}  // namespace BitmapFile

void TBitmap::LoadFromStream(TStream& stream) {
    const int64_t start = stream.Position();
    uint8_t fileHeader[14];
    stream.ReadBuffer(fileHeader, 14);
    if (fileHeader[0] != 'B' || fileHeader[1] != 'M') throw EInvalidGraphic(SInvalidBitmap);
    BitmapFile::ReadDIB(*this, stream, start, Long(fileHeader + 10), false);
}

void TBitmap::SaveToStream(TStream& stream) { BitmapFile::WriteBitmapFile(*this, stream); }
