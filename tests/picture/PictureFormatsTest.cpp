// Crafted files for the platform's picture classes: the paths the fixture files do not reach, and
// hostile data.
#include <gtest/gtest.h>

#include <png.h>
#include <cstdio>
#include <jerror.h>
#include <jpeglib.h>

#include <string>
#include <vector>

#include "Classes.h"
#include "Graphics.h"
#include "Icon.h"
#include "JPEGImage.h"
#include "Metafile.h"

namespace {

using Bytes = std::vector<uint8_t>;

void Put16(Bytes& b, uint32_t v) {
    b.push_back(uint8_t(v));
    b.push_back(uint8_t(v >> 8));
}
void Put32(Bytes& b, uint32_t v) {
    Put16(b, v & 0xFFFF);
    Put16(b, v >> 16);
}

// A bitmap file with a BITMAPINFOHEADER; `extra` (bit fields, palette) follows the header.
Bytes MakeBmp(int32_t width, int32_t height, uint16_t bpp, uint32_t compression, const Bytes& extra,
              const Bytes& pixels, uint32_t colorsUsed = 0) {
    Bytes b = {'B', 'M'};
    const uint32_t offset = 14 + 40 + uint32_t(extra.size());
    Put32(b, offset + uint32_t(pixels.size()));
    Put32(b, 0);
    Put32(b, offset);
    Put32(b, 40);
    Put32(b, uint32_t(width));
    Put32(b, uint32_t(height));
    Put16(b, 1);
    Put16(b, bpp);
    Put32(b, compression);
    Put32(b, uint32_t(pixels.size()));
    Put32(b, 0);
    Put32(b, 0);
    Put32(b, colorsUsed);
    Put32(b, 0);
    b.insert(b.end(), extra.begin(), extra.end());
    b.insert(b.end(), pixels.begin(), pixels.end());
    return b;
}

Bytes GreyPalette(int count) {
    Bytes p;
    for (int i = 0; i < count; ++i) p.insert(p.end(), {uint8_t(i), uint8_t(i), uint8_t(i), 0});
    return p;
}

template <typename T>
void Load(T& graphic, const Bytes& data) {
    TMemoryStream s(data.data(), data.size());
    graphic.LoadFromStream(s);
}

std::string ErrorOf(TGraphic& graphic, const Bytes& data) {
    try {
        Load(graphic, data);
    } catch (const Exception& e) {
        return e.what();
    }
    return "";
}

}  // namespace

TEST(BmpFile, RunLengthDataNeverWritesOutsideTheBitmap) {
    // 4 x 2 pixels, RLE8: a run of 255 on a 4-pixel row, an absolute run of 5, a delta far beyond
    // the image, then no end-of-bitmap mark (the rows are complete).
    const Bytes rle = {255, 7, 0, 0, 0, 5, 1, 2, 3, 4, 5, 0, 0, 2, 200, 200};
    TBitmap b;
    Load(b, MakeBmp(4, 2, 8, 1, GreyPalette(256), rle));
    EXPECT_EQ(RGB(7, 7, 7), b.Canvas().Pixel(3, 1));  // bottom row
    EXPECT_EQ(RGB(1, 1, 1), b.Canvas().Pixel(0, 0));
    EXPECT_EQ(RGB(4, 4, 4), b.Canvas().Pixel(3, 0));

    // RLE4: runs alternate their two nibbles; the absolute run is padded to 16 bits.
    const Bytes rle4 = {3, 0x12, 0, 0, 0, 3, 0x45, 0x60, 0, 1};
    TBitmap c;
    Load(c, MakeBmp(4, 2, 4, 2, GreyPalette(16), rle4));
    EXPECT_EQ(1, c.ScanLine(1)[0] >> 4);
    EXPECT_EQ(2, c.ScanLine(1)[0] & 15);
    EXPECT_EQ(1, c.ScanLine(1)[1] >> 4);
    EXPECT_EQ(0x45, c.ScanLine(0)[0]);
    EXPECT_EQ(0x60, c.ScanLine(0)[1]);

    // Data that ends before the image does is an error.
    TBitmap d;
    EXPECT_EQ("Bitmap image is not valid", ErrorOf(d, MakeBmp(4, 2, 8, 1, GreyPalette(256), {4, 1, 0})));
}

TEST(BmpFile, InvalidHeadersAndHostileSizes) {
    TBitmap b;
    struct Case {
        const char* what;
        Bytes data;
        const char* message;
    } cases[] = {
        {"not BM", {'X', 'Y', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, "Bitmap image is not valid"},
        {"short file header", {'B', 'M', 0}, "Stream read error"},
        {"zero width", MakeBmp(0, 1, 24, 0, {}, Bytes(4)), "Bitmap image is not valid"},
        {"bit count 7", MakeBmp(1, 1, 7, 0, {}, Bytes(4)), "Bitmap image is not valid"},
        {"RLE8 on 24 bits", MakeBmp(1, 1, 24, 1, {}, Bytes(4)), "Bitmap image is not valid"},
        {"unknown compression", MakeBmp(1, 1, 24, 9, {}, Bytes(4)), "Bitmap image is not valid"},
        {"pixels cut short", MakeBmp(10, 10, 24, 0, {}, Bytes(100)), "Bitmap image is not valid"},
        {"huge palette count", MakeBmp(1, 1, 8, 0, {}, Bytes(4), 0x7FFFFFFF), "Bitmap image is not valid"},
        {"header size 200000", [] {
             Bytes d = MakeBmp(1, 1, 24, 0, {}, Bytes(4));
             d[14] = 0x40, d[15] = 0x0D, d[16] = 0x03;
             return d;
         }(), "Bitmap image is not valid"},
    };
    for (const auto& c : cases) EXPECT_EQ(c.message, ErrorOf(b, c.data)) << c.what;

    // A run-length bitmap whose pixels would need 1.6 GB is refused before anything is allocated.
    const std::string big = ErrorOf(b, MakeBmp(40000, 40000, 8, 1, GreyPalette(256), {0, 1}));
    EXPECT_NE(std::string::npos, big.find("exceed the limit of 1 GiB")) << big;
}

TEST(BmpFile, BitFieldsTopDownAndOs2Headers) {
    // 16 bits in 4-4-4 layout: widened to 8 bits per sample in a 24-bit bitmap.
    Bytes masks;
    Put32(masks, 0x0F00), Put32(masks, 0x00F0), Put32(masks, 0x000F);
    Bytes px;
    Put16(px, 0x0F80), Put16(px, 0);  // one pixel (red 15, green 8, blue 0) and padding
    TBitmap b;
    Load(b, MakeBmp(1, 1, 16, 3, masks, px));
    EXPECT_EQ(pf24bit, b.PixelFormat());
    EXPECT_EQ(RGB(255, 136, 0), b.Canvas().Pixel(0, 0));

    // 32 bits with an alpha field in the low byte.
    Bytes masks4;
    Put32(masks4, 0xFF000000u), Put32(masks4, 0x00FF0000), Put32(masks4, 0x0000FF00), Put32(masks4, 0xFF);
    Bytes px4;
    Put32(px4, 0x11223344u);
    TBitmap c;
    Load(c, MakeBmp(1, 1, 32, 6, masks4, px4));
    EXPECT_EQ(pf32bit, c.PixelFormat());
    EXPECT_EQ(RGB(0x11, 0x22, 0x33), c.Canvas().Pixel(0, 0));
    EXPECT_EQ(0x44, c.ScanLine(0)[3]);

    // Top-down: the first stored row is the top row.
    Bytes rows = {1, 2, 3, 0, 4, 5, 6, 0};
    TBitmap d;
    Load(d, MakeBmp(1, -2, 24, 0, {}, rows));
    EXPECT_EQ(RGB(3, 2, 1), d.Canvas().Pixel(0, 0));
    EXPECT_EQ(RGB(6, 5, 4), d.Canvas().Pixel(0, 1));

    // OS/2 1.x header with three-byte palette entries.
    Bytes os2 = {'B', 'M'};
    Put32(os2, 14 + 12 + 6 + 4), Put32(os2, 0), Put32(os2, 14 + 12 + 6);
    Put32(os2, 12), Put16(os2, 2), Put16(os2, 1), Put16(os2, 1), Put16(os2, 1);
    os2.insert(os2.end(), {0, 0, 0, 10, 20, 30, 0x40, 0, 0, 0});
    TBitmap e;
    Load(e, os2);
    EXPECT_EQ(pf1bit, e.PixelFormat());
    EXPECT_EQ(clBlack, e.Canvas().Pixel(0, 0));
    EXPECT_EQ(RGB(30, 20, 10), e.Canvas().Pixel(1, 0));
}

// --- Icons ---------------------------------------------------------------------------------

namespace {

Bytes PngOf(uint32_t width, uint32_t height, const Bytes& rgba) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = width;
    image.height = height;
    image.format = PNG_FORMAT_RGBA;
    png_alloc_size_t size = 0;
    png_image_write_to_memory(&image, nullptr, &size, 0, rgba.data(), 0, nullptr);
    Bytes out(size);
    EXPECT_TRUE(png_image_write_to_memory(&image, out.data(), &size, 0, rgba.data(), 0, nullptr));
    out.resize(size);
    return out;
}

// A 2 x 2 32-bit DIB icon image (with its mask) and an image given as bytes.
Bytes MakeIco(const Bytes& second, uint8_t secondSize) {
    Bytes dib;
    Put32(dib, 40), Put32(dib, 2), Put32(dib, 4), Put16(dib, 1), Put16(dib, 32);
    for (int i = 0; i < 6; ++i) Put32(dib, 0);
    for (int i = 0; i < 4; ++i) dib.insert(dib.end(), {10, 20, 30, 255});
    Put32(dib, 0), Put32(dib, 0);  // the mask rows
    Bytes ico;
    Put16(ico, 0), Put16(ico, 1), Put16(ico, 2);
    const uint32_t first = 6 + 32;
    ico.insert(ico.end(), {2, 2, 0, 0});
    Put16(ico, 1), Put16(ico, 32), Put32(ico, uint32_t(dib.size())), Put32(ico, first);
    ico.insert(ico.end(), {secondSize, secondSize, 0, 0});
    Put16(ico, 1), Put16(ico, 32), Put32(ico, uint32_t(second.size())), Put32(ico, first + uint32_t(dib.size()));
    ico.insert(ico.end(), dib.begin(), dib.end());
    ico.insert(ico.end(), second.begin(), second.end());
    return ico;
}

}  // namespace

TEST(IconFile, PngAndBitmapImages) {
    Bytes rgba;
    for (int i = 0; i < 9; ++i) rgba.insert(rgba.end(), {200, 100, uint8_t(i), 128});
    TIcon icon;
    Load(icon, MakeIco(PngOf(3, 3, rgba), 3));
    EXPECT_EQ(2, icon.ImageCount());
    EXPECT_EQ(3, icon.Width());
    EXPECT_EQ(3, icon.Height());
    TBitmap b;
    b.Assign(icon);
    EXPECT_EQ(pf32bit, b.PixelFormat());
    EXPECT_EQ(RGB(200, 100, 0), b.Canvas().Pixel(0, 0));
    EXPECT_EQ(RGB(200, 100, 8), b.Canvas().Pixel(2, 2));
    EXPECT_EQ(128, b.ScanLine(0)[3]);

    // The larger image is a bitmap here: a 1 x 1 PNG is the smaller one.
    TIcon small;
    Load(small, MakeIco(PngOf(1, 1, {1, 2, 3, 4}), 1));
    EXPECT_EQ(2, small.Width());
    TBitmap s;
    s.Assign(small);
    EXPECT_EQ(RGB(30, 20, 10), s.Canvas().Pixel(1, 1));

    TMemoryStream saved;
    small.SaveToStream(saved);
    EXPECT_EQ(MakeIco(PngOf(1, 1, {1, 2, 3, 4}), 1), Bytes(saved.Bytes()));
}

TEST(IconFile, DamagedIconsRaise) {
    Bytes good = MakeIco(PngOf(1, 1, {1, 2, 3, 4}), 1);
    Bytes noImages = good;
    noImages[4] = 0;
    Bytes beyondEnd = good;
    beyondEnd[6 + 16 + 12] = 0xF0;  // the second image's offset points past the file
    Bytes brokenPng = good;
    brokenPng[brokenPng.size() - 20] ^= 0xFF;
    Bytes manyEntries = good;
    manyEntries[4] = 0xFF, manyEntries[5] = 0xFF;
    TIcon icon;
    for (const Bytes& b : {noImages, beyondEnd, manyEntries}) EXPECT_EQ("Icon image is not valid", ErrorOf(icon, b));
    // Damage inside the smaller image is not seen: only the largest image is decoded.
    EXPECT_EQ("", ErrorOf(icon, brokenPng));
    Bytes pngFirst = MakeIco(PngOf(4, 4, Bytes(64, 9)), 4);
    pngFirst[pngFirst.size() - 20] ^= 0xFF;
    EXPECT_EQ("Icon image is not valid", ErrorOf(icon, pngFirst));
}

// --- Metafiles -----------------------------------------------------------------------------

namespace {

Bytes WmfHeaderAndRecords(const Bytes& records) {
    Bytes m;
    Put16(m, 1), Put16(m, 9), Put16(m, 0x0300);
    Put32(m, uint32_t(9 + records.size() / 2 + 3));
    Put16(m, 0), Put32(m, 5), Put16(m, 0);
    m.insert(m.end(), records.begin(), records.end());
    Put32(m, 3), Put16(m, 0);  // end of the metafile
    return m;
}

Bytes Placeable(int16_t right, int16_t bottom, uint16_t inch) {
    Bytes p;
    Put32(p, 0x9AC6CDD7u), Put16(p, 0), Put16(p, 0), Put16(p, 0), Put16(p, uint16_t(right)), Put16(p, uint16_t(bottom));
    Put16(p, inch), Put32(p, 0);
    uint16_t sum = 0;
    for (int i = 0; i < 10; ++i) sum ^= uint16_t(p[2 * i] | p[2 * i + 1] << 8);
    Put16(p, sum);
    return p;
}

Bytes Emf(int32_t frameRight, int32_t frameBottom, int32_t boundsRight, int32_t boundsBottom, int32_t deviceX,
          int32_t mmX) {
    Bytes e;
    Put32(e, 1), Put32(e, 88);
    for (int32_t v : {0, 0, boundsRight, boundsBottom, 0, 0, frameRight, frameBottom}) Put32(e, uint32_t(v));
    Put32(e, 0x464D4520u), Put32(e, 0x10000), Put32(e, 88 + 20), Put32(e, 2), Put16(e, 1), Put16(e, 0);
    Put32(e, 0), Put32(e, 0), Put32(e, 0);
    Put32(e, uint32_t(deviceX)), Put32(e, uint32_t(deviceX)), Put32(e, uint32_t(mmX)), Put32(e, uint32_t(mmX));
    Put32(e, 14), Put32(e, 20), Put32(e, 0), Put32(e, 16), Put32(e, 20);  // EMR_EOF
    return e;
}

}  // namespace

TEST(MetafileFile, SizesFromTheHeaders) {
    Bytes windowExt;
    Put32(windowExt, 5), Put16(windowExt, 0x020C), Put16(windowExt, 300), Put16(windowExt, 400);
    Bytes setMapMode;
    Put32(setMapMode, 4), Put16(setMapMode, 0x0103), Put16(setMapMode, 8);
    struct Case {
        const char* what;
        Bytes data;
        int width, height;
        bool enhanced;
    } cases[] = {
        {"plain with SetWindowExt", WmfHeaderAndRecords([&] {
             Bytes r = setMapMode;
             r.insert(r.end(), windowExt.begin(), windowExt.end());
             return r;
         }()),
         400, 300, false},
        {"plain without extent", WmfHeaderAndRecords(setMapMode), 0, 0, false},
        {"placeable, 1440 per inch", [] {
             Bytes d = Placeable(2880, 1440, 1440);
             Bytes m = WmfHeaderAndRecords({});
             d.insert(d.end(), m.begin(), m.end());
             return d;
         }(),
         192, 96, false},
        {"enhanced with reference device", Emf(10000, 5000, 99, 99, 1000, 250), 400, 200, true},
        {"enhanced without reference device", Emf(10000, 5000, 99, 49, 0, 0), 100, 50, true},
    };
    for (const auto& c : cases) {
        TMetafile m;
        Load(m, c.data);
        EXPECT_EQ(c.width, m.Width()) << c.what;
        EXPECT_EQ(c.height, m.Height()) << c.what;
        EXPECT_EQ(c.enhanced, m.Enhanced()) << c.what;
        TMemoryStream saved;
        m.SaveToStream(saved);
        EXPECT_EQ(c.data, saved.Bytes()) << c.what;
    }
}

TEST(MetafileFile, DamagedMetafilesRaise) {
    Bytes badChecksum = Placeable(100, 100, 96);
    badChecksum[20] ^= 1;
    Bytes m = WmfHeaderAndRecords({});
    badChecksum.insert(badChecksum.end(), m.begin(), m.end());
    Bytes zeroRecord = WmfHeaderAndRecords({0, 0, 0, 0, 0x0C, 0x02});
    Bytes recordTooLong = WmfHeaderAndRecords({0xFF, 0, 0, 0, 0x0C, 0x02});
    Bytes badSignature = Emf(10, 10, 10, 10, 1, 1);
    badSignature[40] = 'X';
    Bytes invertedFrame = Emf(-10, 10, 10, 10, 1, 1);
    TMetafile meta;
    for (const Bytes& b : {badChecksum, zeroRecord, recordTooLong, badSignature, invertedFrame, Bytes(30, 7)})
        EXPECT_EQ("Metafile is not valid", ErrorOf(meta, b));
    EXPECT_EQ("Stream read error", ErrorOf(meta, Bytes{1, 0}));
}

// --- JPEG ----------------------------------------------------------------------------------

namespace {

Bytes EncodeJpeg(int width, int height, int components, J_COLOR_SPACE space, const Bytes& samples, bool progressive) {
    jpeg_compress_struct c{};
    jpeg_error_mgr err{};
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    unsigned char* out = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &out, &size);
    c.image_width = JDIMENSION(width);
    c.image_height = JDIMENSION(height);
    c.input_components = components;
    c.in_color_space = space;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, 100, TRUE);
    if (progressive) jpeg_simple_progression(&c);
    jpeg_start_compress(&c, TRUE);
    for (int y = 0; y < height; ++y) {
        JSAMPROW row = const_cast<JSAMPROW>(samples.data() + size_t(y) * size_t(width * components));
        jpeg_write_scanlines(&c, &row, 1);
    }
    jpeg_finish_compress(&c);
    Bytes result(out, out + size);
    jpeg_destroy_compress(&c);
    free(out);
    return result;
}

}  // namespace

TEST(JPEGFile, GreyProgressiveAndAdobeCmyk) {
    Bytes grey(16 * 8);
    for (size_t i = 0; i < grey.size(); ++i) grey[i] = uint8_t(i < 64 ? 40 : 220);
    TJPEGImage g;
    Load(g, EncodeJpeg(16, 8, 1, JCS_GRAYSCALE, grey, true));
    EXPECT_TRUE(g.Grayscale());
    EXPECT_TRUE(g.ProgressiveEncoding());
    EXPECT_EQ(16, g.Width());
    EXPECT_EQ(8, g.Height());
    TBitmap b;
    b.Assign(g);
    EXPECT_NEAR(40, GetRValue(b.Canvas().Pixel(0, 0)), 3);
    EXPECT_NEAR(220, GetRValue(b.Canvas().Pixel(15, 7)), 3);

    // libjpeg writes an Adobe marker with CMYK; the stored values are read as inverted: no cyan
    // ink (255), full magenta (0), no yellow, no black gives magenta's complement... red + blue.
    Bytes cmyk;
    for (int i = 0; i < 64; ++i) cmyk.insert(cmyk.end(), {255, 0, 255, 255});
    TJPEGImage c;
    Load(c, EncodeJpeg(8, 8, 4, JCS_CMYK, cmyk, false));
    EXPECT_FALSE(c.Grayscale());
    TBitmap cb;
    cb.Assign(c);
    const TColor px = cb.Canvas().Pixel(3, 3);
    EXPECT_NEAR(255, GetRValue(px), 3);
    EXPECT_NEAR(0, GetGValue(px), 3);
    EXPECT_NEAR(255, GetBValue(px), 3);

    Bytes rgb(8 * 8 * 3);
    for (size_t i = 0; i < rgb.size(); i += 3) rgb[i] = 250, rgb[i + 1] = 10, rgb[i + 2] = 10;
    TJPEGImage r;
    Load(r, EncodeJpeg(8, 8, 3, JCS_RGB, rgb, false));
    TBitmap rb;
    rb.Assign(r);
    EXPECT_EQ(pf24bit, rb.PixelFormat());
    EXPECT_NEAR(250, GetRValue(rb.Canvas().Pixel(1, 1)), 4);
    EXPECT_NEAR(10, GetBValue(rb.Canvas().Pixel(1, 1)), 4);
}

TEST(JPEGFile, FatalErrorsCarryTheLibrarysCode) {
    TJPEGImage j;
    EXPECT_EQ(Format("JPEG error #%d", {int(JERR_NO_SOI)}), ErrorOf(j, Bytes{'n', 'o', 't', ' ', 'j', 'p', 'e', 'g'}));
    EXPECT_EQ(Format("JPEG error #%d", {int(JERR_INPUT_EMPTY)}), ErrorOf(j, Bytes{}));
    // Cut short inside the image data: the rest is filled in, as libjpeg does, and no error is raised.
    Bytes grey(64 * 64);
    for (size_t i = 0; i < grey.size(); ++i) grey[i] = uint8_t(i * 7919 % 251);
    Bytes data = EncodeJpeg(64, 64, 1, JCS_GRAYSCALE, grey, false);
    data.resize(data.size() - 200);
    EXPECT_EQ("", ErrorOf(j, data));
    EXPECT_EQ(64, j.Width());
    // A header that promises 8000 x 8000 pixels with the data of 8 x 8: the rows the data covers
    // are decoded, the rest is left black instead of being made up.
    Bytes promise = EncodeJpeg(8, 8, 1, JCS_GRAYSCALE, Bytes(64, 200), false);
    for (size_t i = 0; i + 8 < promise.size(); ++i)
        if (promise[i] == 0xFF && promise[i + 1] == 0xC0) {
            promise[i + 5] = 8000 >> 8, promise[i + 6] = 8000 & 0xFF, promise[i + 7] = 8000 >> 8, promise[i + 8] = 8000 & 0xFF;
            break;
        }
    TJPEGImage big;
    EXPECT_EQ("", ErrorOf(big, promise));
    ASSERT_EQ(8000, big.Width());
    EXPECT_NEAR(200, GetRValue(const_cast<TBitmap&>(big.Bitmap()).Canvas().Pixel(3, 3)), 3);
    EXPECT_EQ(clBlack, const_cast<TBitmap&>(big.Bitmap()).Canvas().Pixel(4000, 7999));
    // Cut inside the header: an error, and the image loaded before stays.
    data.resize(40);
    EXPECT_EQ(0u, ErrorOf(j, data).find("JPEG error #"));
    EXPECT_EQ(64, j.Width());
}
