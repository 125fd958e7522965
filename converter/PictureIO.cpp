// The converter's bridge to the picture layer: decoding the input through the registered graphic
// classes, and BMP output through the platform bitmap's writer.
#include <array>
#include <cstring>

#include "Classes.h"
#include "Converter.h"
#include "Graphics.h"
#include "Icon.h"
#include "JPEGImage.h"
#include "Metafile.h"
#include "TargaGraphic.h"
#include "VaderezUv.h"

namespace {

[[noreturn]] void RefuseMetafile(const std::string& fileName) {
    throw EInvalidGraphic(
        Format("\"%s\" is a metafile (WMF, EMF); metafiles hold drawing commands and cannot be converted", {fileName}));
}

int SourceBits(TPixelFormat format) {
    switch (format) {
    case pf1bit: return 1;
    case pf4bit: return 4;
    case pf8bit: return 8;
    case pf15bit: return 15;
    case pf16bit: return 16;
    case pf24bit: return 24;
    default: return 32;
    }
}

// The bitmap's rows as BGRA, one conversion per pixel format (no per-pixel dispatch).
cv::Mat BitmapToBGRA(const TBitmap& bitmap) {
    const int w = bitmap.Width(), h = bitmap.Height();
    CheckImageSize(w, h);
    cv::Mat out(h, w, CV_8UC4);
    const TPixelFormat format = bitmap.PixelFormat();
    switch (format) {
    case pf1bit:
    case pf4bit:
    case pf8bit: {
        const int bits = PixelFormatBits(format);
        // Indices without a palette entry read as black.
        std::array<cv::Vec4b, 256> lut;
        lut.fill(cv::Vec4b(0, 0, 0, 255));
        HPALETTE fallback;
        const TPalette* palette = bitmap.Palette();
        if (!palette) {
            fallback = DefaultPalette(bits);
            palette = fallback.get();
        }
        for (int i = 0; i < palette->Count() && i < 256; ++i) {
            const TPaletteEntry& e = palette->Entry(i);
            lut[size_t(i)] = cv::Vec4b(e.peBlue, e.peGreen, e.peRed, 255);
        }
        const int mask = (1 << bits) - 1;
        for (int y = 0; y < h; ++y) {
            const uint8_t* src = bitmap.ScanLine(y);
            cv::Vec4b* dst = out.ptr<cv::Vec4b>(y);
            for (int x = 0; x < w; ++x) {
                const size_t bit = size_t(x) * size_t(bits);
                const int index = (src[bit >> 3] >> (8 - bits - int(bit & 7))) & mask;
                dst[x] = lut[size_t(index)];
            }
        }
        break;
    }
    case pf15bit:
    case pf16bit: {
        const bool six = format == pf16bit;
        std::array<uint8_t, 32> e5;
        std::array<uint8_t, 64> e6;
        for (int v = 0; v < 32; ++v) e5[size_t(v)] = uint8_t((v * 255 + 15) / 31);
        for (int v = 0; v < 64; ++v) e6[size_t(v)] = uint8_t((v * 255 + 31) / 63);
        for (int y = 0; y < h; ++y) {
            const uint8_t* src = bitmap.ScanLine(y);
            cv::Vec4b* dst = out.ptr<cv::Vec4b>(y);
            for (int x = 0; x < w; ++x) {
                const unsigned v = unsigned(src[2 * x]) | unsigned(src[2 * x + 1]) << 8;
                if (six)
                    dst[x] = cv::Vec4b(e5[v & 31], e6[(v >> 5) & 63], e5[(v >> 11) & 31], 255);
                else
                    dst[x] = cv::Vec4b(e5[v & 31], e5[(v >> 5) & 31], e5[(v >> 10) & 31], 255);
            }
        }
        break;
    }
    case pf24bit:
        for (int y = 0; y < h; ++y) {
            const uint8_t* src = bitmap.ScanLine(y);
            cv::Vec4b* dst = out.ptr<cv::Vec4b>(y);
            for (int x = 0; x < w; ++x, src += 3) dst[x] = cv::Vec4b(src[0], src[1], src[2], 255);
        }
        break;
    default:
        for (int y = 0; y < h; ++y) std::memcpy(out.ptr(y), bitmap.ScanLine(y), size_t(w) * 4);
        break;
    }
    return out;
}

// A 32-bit bitmap carries transparency only when its fourth bytes vary from opaque; all zero is
// the common "unused" form and reads as opaque.
bool UsesAlpha(cv::Mat& image) {
    bool anyTransparent = false, anyNonZero = false;
    for (int y = 0; y < image.rows; ++y) {
        const uint8_t* p = image.ptr<uint8_t>(y);
        for (int x = 0; x < image.cols; ++x) {
            const uint8_t a = p[size_t(x) * 4 + 3];
            anyTransparent |= a != 255;
            anyNonZero |= a != 0;
        }
    }
    return anyTransparent && anyNonZero;
}

}  // namespace

TSourceImage LoadSourceImage(const std::string& fileName) {
    const std::string ext = LowerCase(ExtractFileExt(fileName));
    if (ext == ".wmf" || ext == ".emf") RefuseMetafile(fileName);
    VaderezUvStartup();  // the image library's registrations, as the front end has them
    // The decoded picture stays alive as long as the source image looks at its memory.
    struct Holder {
        TPicture Picture;
        TBitmap Converted;
    };
    auto holder = std::make_shared<Holder>();
    holder->Picture.LoadFromFile(fileName);
    TGraphic* graphic = holder->Picture.Graphic();
    if (!graphic || graphic->Empty()) throw EInvalidGraphic(Format("\"%s\" holds no image", {fileName}));
    if (graphic->InheritsFrom(&TMetafile::Class)) RefuseMetafile(fileName);

    const TBitmap* bitmap = nullptr;
    if (graphic->InheritsFrom(&TBitmap::Class)) {
        bitmap = static_cast<const TBitmap*>(graphic);
    } else if (graphic->InheritsFrom(&TJPEGImage::Class)) {
        bitmap = &static_cast<const TJPEGImage*>(graphic)->Bitmap();
    } else if (graphic->InheritsFrom(&TIcon::Class)) {
        bitmap = &static_cast<const TIcon*>(graphic)->Bitmap();
    } else {
        holder->Converted.Assign(*graphic);
        bitmap = &holder->Converted;
    }

    TSourceImage source;
    source.Bits = SourceBits(bitmap->PixelFormat());
    if (bitmap->PixelFormat() == pf24bit) {
        // Rows lie bottom-up with a fixed stride: the last row's address starts a bottom-up view.
        const int w = bitmap->Width(), h = bitmap->Height();
        CheckImageSize(w, h);
        source.Pixels = cv::Mat(h, w, CV_8UC3, const_cast<uint8_t*>(bitmap->ScanLine(h - 1)), bitmap->RowStride());
        source.BottomUp = true;
        source.Owner = holder;
        return source;
    }
    source.Pixels = BitmapToBGRA(*bitmap);
    if (source.Bits == 32) {
        source.HasAlpha = UsesAlpha(source.Pixels);
        if (!source.HasAlpha) source.Pixels.forEach<cv::Vec4b>([](cv::Vec4b& p, const int*) { p[3] = 255; });
    }
    return source;
}

namespace {

// The image as a platform bitmap of the pixel format for `bits` (1, 4, 8 quantised to a palette;
// 15, 16 packed from an image already reduced to those levels; 24; 32 with alpha).
void FillBitmap(TBitmap& bitmap, const cv::Mat& image, int bits) {
    static const TPixelFormat formats[] = {pf1bit, pf4bit, pf8bit, pf15bit, pf16bit, pf24bit, pf32bit};
    static const int formatBits[] = {1, 4, 8, 15, 16, 24, 32};
    TPixelFormat format = pf24bit;
    for (size_t i = 0; i < std::size(formats); ++i)
        if (formatBits[i] == bits) format = formats[i];
    const int w = image.cols, h = image.rows;
    bitmap.SetPixelFormat(format);
    bitmap.SetSize(w, h);
    if (bits <= 8) {
        TIndexedImage indexed = QuantizeImage(image, 1 << bits);
        TLogPalette log;
        log.palNumEntries = uint16_t(indexed.Palette.size());
        std::copy(indexed.Palette.begin(), indexed.Palette.end(), log.palPalEntry.begin());
        bitmap.SetPalette(CreatePalette(log));
        for (int y = 0; y < h; ++y) {
            uint8_t* dst = bitmap.ScanLine(y);
            std::memset(dst, 0, bitmap.RowStride());
            const uint8_t* idx = indexed.Indices.data() + size_t(y) * size_t(w);
            for (int x = 0; x < w; ++x) {
                const size_t bit = size_t(x) * size_t(bits);
                dst[bit >> 3] = uint8_t(dst[bit >> 3] | (idx[x] << (8 - bits - int(bit & 7))));
            }
        }
    } else if (bits == 15 || bits == 16) {
        // The image holds 5 (6) bit levels already; pack them into words.
        const bool six = bits == 16;
        for (int y = 0; y < h; ++y) {
            uint8_t* dst = bitmap.ScanLine(y);
            const uint8_t* p = image.ptr<uint8_t>(y);
            for (int x = 0; x < w; ++x, p += 4) {
                const unsigned b = (p[0] * 31u + 127) / 255, r = (p[2] * 31u + 127) / 255;
                const unsigned v = six ? (r << 11 | ((p[1] * 63u + 127) / 255) << 5 | b)
                                       : (r << 10 | ((p[1] * 31u + 127) / 255) << 5 | b);
                dst[2 * x] = uint8_t(v);
                dst[2 * x + 1] = uint8_t(v >> 8);
            }
        }
    } else if (bits == 24) {
        for (int y = 0; y < h; ++y) {
            uint8_t* dst = bitmap.ScanLine(y);
            const uint8_t* p = image.ptr<uint8_t>(y);
            for (int x = 0; x < w; ++x, p += 4, dst += 3) {
                dst[0] = p[0];
                dst[1] = p[1];
                dst[2] = p[2];
            }
        }
    } else {
        for (int y = 0; y < h; ++y) std::memcpy(bitmap.ScanLine(y), image.ptr(y), size_t(w) * 4);
    }
}

}  // namespace

std::vector<uint8_t> EncodeBitmap(const cv::Mat& image, int bits) {
    TBitmap bitmap;
    FillBitmap(bitmap, image, bits);
    TMemoryStream stream;
    bitmap.SaveToStream(stream);
    return stream.Bytes();
}

std::vector<uint8_t> EncodeTarga(const cv::Mat& image, int bits) {
    TBitmap bitmap;
    FillBitmap(bitmap, image, bits);
    TMemoryStream stream;
    TTargaGraphic::SaveBitmapToStream(bitmap, stream, true);
    return stream.Bytes();
}
