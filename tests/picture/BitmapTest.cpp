#include <gtest/gtest.h>

#include <cstring>

#include "Classes.h"
#include "Graphics.h"
#include "TestSupport.h"

namespace {

HPALETTE MakePalette(std::initializer_list<TPaletteEntry> entries) {
    TLogPalette log;
    for (const auto& e : entries) log.palPalEntry[log.palNumEntries++] = e;
    return CreatePalette(log);
}

}  // namespace

TEST(Bitmap, RowsAreStoredBottomUpWithAlignedStride) {
    TBitmap b;
    b.SetPixelFormat(pf24bit);
    b.SetSize(5, 3);
    EXPECT_EQ(16u, b.RowStride());  // 15 bytes padded to 32 bits
    EXPECT_EQ(b.ScanLine(0) - b.RowStride(), b.ScanLine(1));
    EXPECT_EQ(b.ScanLine(1) - b.RowStride(), b.ScanLine(2));
    EXPECT_THROW(b.ScanLine(3), EInvalidGraphic);
    EXPECT_THROW(b.ScanLine(-1), EInvalidGraphic);
    struct Case {
        TPixelFormat format;
        size_t stride;  // of a 9-pixel row
    } cases[] = {{pf1bit, 4}, {pf4bit, 8}, {pf8bit, 12}, {pf15bit, 20}, {pf16bit, 20}, {pf24bit, 28}, {pf32bit, 36}, {pfDevice, 36}};
    for (const auto& c : cases) {
        TBitmap x;
        x.SetPixelFormat(c.format);
        x.SetSize(9, 2);
        EXPECT_EQ(c.stride, x.RowStride()) << int(c.format);
    }
}

TEST(Bitmap, HostileSizesAreRefusedBeforeAllocating) {
    TBitmap b;
    b.SetPixelFormat(pf32bit);
    try {
        b.SetSize(40000, 40000);  // 6.4 GB
        FAIL() << "no error";
    } catch (const EOutOfResources& e) {
        EXPECT_NE(std::string::npos, std::string(e.what()).find("1 GiB")) << e.what();
    }
    EXPECT_EQ(0, b.Width());
    EXPECT_THROW(b.SetSize(0x7FFFFFFF, 0x7FFFFFFF), EOutOfResources);
    EXPECT_THROW(b.SetSize(-1, 5), EInvalidGraphic);
    EXPECT_THROW(b.SetPixelFormat(pfCustom), EInvalidGraphic);
    EXPECT_THROW(CheckedImageBytes(1 << 20, 1 << 20, 8), EOutOfResources);
    EXPECT_EQ(size_t(1) << 30, CheckedImageBytes(1 << 15, 1 << 15, 8));  // exactly the limit
    EXPECT_THROW(CheckedImageBytes((1 << 15) + 1, 1 << 15, 8), EOutOfResources);
}

TEST(Bitmap, ResizeKeepsTopLeftPixels) {
    TBitmap b;
    b.SetPixelFormat(pf24bit);
    b.SetSize(2, 2);
    b.Canvas().SetPixel(0, 0, RGB(1, 2, 3));
    b.Canvas().SetPixel(1, 1, RGB(4, 5, 6));
    b.SetSize(3, 3);
    EXPECT_EQ(RGB(1, 2, 3), b.Canvas().Pixel(0, 0));
    EXPECT_EQ(RGB(4, 5, 6), b.Canvas().Pixel(1, 1));
    EXPECT_EQ(clBlack, b.Canvas().Pixel(2, 2));
    b.SetHeight(1);
    EXPECT_EQ(RGB(1, 2, 3), b.Canvas().Pixel(0, 0));
    EXPECT_EQ(1, b.Height());
}

TEST(Bitmap, FillUsesNearestPaletteEntryOnIndexedBitmaps) {
    TBitmap b;
    b.SetPixelFormat(pf4bit);
    b.SetPalette(MakePalette({{0, 0, 0}, {250, 0, 0}, {0, 0, 250}}));
    b.SetSize(3, 2);
    b.Canvas().Brush.Color = RGB(200, 10, 10);
    b.Canvas().FillRect(Rect(1, 0, 3, 2));
    EXPECT_EQ(0x01, b.ScanLine(0)[0]);  // pixel 0 keeps index 0, pixel 1 gets index 1
    EXPECT_EQ(0x10, b.ScanLine(1)[1]);
    b.Canvas().Brush.Color = clWhite;
    b.Canvas().FillRect(Rect(-5, -5, 100, 100));  // clipped
    EXPECT_EQ(RGB(250, 0, 0), b.Canvas().Pixel(2, 1));

    TBitmap c;
    c.SetPixelFormat(pf15bit);
    c.SetSize(2, 1);
    c.Canvas().Brush.Color = RGB(255, 0, 8);
    c.Canvas().FillRect(Rect(0, 0, 2, 1));
    EXPECT_EQ(0x7C01, c.ScanLine(0)[0] | c.ScanLine(0)[1] << 8);
    c.SetPixelFormat(pf16bit);
    EXPECT_EQ(0xF801, c.ScanLine(0)[2] | c.ScanLine(0)[3] << 8);
}

TEST(Bitmap, PixelFormatChangeConvertsPixels) {
    TBitmap b;
    b.SetPixelFormat(pf1bit);
    ASSERT_NE(nullptr, b.Palette());
    EXPECT_EQ(2, b.Palette()->Count());
    b.SetSize(10, 1);
    b.ScanLine(0)[0] = 0xA0;  // pixels 0 and 2 white
    b.SetPixelFormat(pf8bit);  // indices kept with the palette
    EXPECT_EQ(1, b.ScanLine(0)[0]);
    EXPECT_EQ(0, b.ScanLine(0)[1]);
    EXPECT_EQ(1, b.ScanLine(0)[2]);
    b.SetPixelFormat(pf24bit);
    EXPECT_EQ(clWhite, b.Canvas().Pixel(2, 0));
    EXPECT_EQ(clBlack, b.Canvas().Pixel(1, 0));
    b.SetPixelFormat(pf4bit);  // back to an indexed format through the nearest default entry
    EXPECT_EQ(clWhite, b.Canvas().Pixel(0, 0));
    EXPECT_EQ(clBlack, b.Canvas().Pixel(3, 0));
}

TEST(Bitmap, AssignCopiesPixelsPaletteAndTransparency) {
    TBitmap a;
    a.SetPixelFormat(pf8bit);
    a.SetPalette(MakePalette({{1, 2, 3}, {4, 5, 6}}));
    a.SetSize(2, 2);
    a.ScanLine(1)[1] = 1;
    a.SetTransparentColor(RGB(4, 5, 6));
    a.SetTransparent(true);
    TBitmap b;
    b.Assign(a);
    a.ScanLine(1)[1] = 0;
    EXPECT_EQ(1, b.ScanLine(1)[1]);
    EXPECT_EQ(pf8bit, b.PixelFormat());
    ASSERT_NE(nullptr, b.Palette());
    EXPECT_EQ(*a.Palette(), *b.Palette());
    EXPECT_NE(a.Palette(), b.Palette());
    EXPECT_TRUE(b.Transparent());
    EXPECT_EQ(RGB(4, 5, 6), b.TransparentColor());
    EXPECT_EQ(tmFixed, b.TransparentMode());
    b.FreeImage();
    EXPECT_TRUE(b.Empty());
    EXPECT_EQ(nullptr, b.Palette());
}

TEST(Bitmap, TransparentColorAutoIsBottomLeftPixel) {
    TBitmap b;
    EXPECT_EQ(clDefault, b.TransparentColor());
    b.SetPixelFormat(pf24bit);
    b.SetSize(2, 2);
    b.Canvas().SetPixel(0, 1, RGB(9, 8, 7));
    EXPECT_EQ(RGB(9, 8, 7), b.TransparentColor());
}

TEST(Bitmap, SaveAndLoadRoundTripEveryFormat) {
    for (TPixelFormat f : {pf1bit, pf4bit, pf8bit, pf15bit, pf16bit, pf24bit, pf32bit}) {
        TBitmap a;
        a.SetPixelFormat(f);
        a.SetSize(7, 3);
        for (int y = 0; y < 3; ++y)
            for (size_t i = 0; i < a.RowStride(); ++i) a.ScanLine(y)[i] = uint8_t(i * 37 + y * 11);
        TMemoryStream s;
        a.SaveToStream(s);
        s.SetPosition(0);
        TBitmap b;
        b.LoadFromStream(s);
        ASSERT_EQ(7, b.Width());
        ASSERT_EQ(3, b.Height());
        EXPECT_EQ(f, b.PixelFormat());
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 7; ++x) EXPECT_EQ(a.Canvas().Pixel(x, y), b.Canvas().Pixel(x, y)) << int(f) << " " << x << "," << y;
        EXPECT_EQ(s.Size(), s.Position());
    }
    TBitmap empty;
    TMemoryStream s;
    empty.SaveToStream(s);
    EXPECT_EQ(0, s.Size());
}

TEST(Bitmap, LoadFromFileAndSaveToFile) {
    TempDir dir;
    TBitmap a;
    a.SetPixelFormat(pf24bit);
    a.SetSize(3, 2);
    a.Canvas().SetPixel(2, 1, RGB(10, 20, 30));
    a.SaveToFile(dir.File("a.bmp"));
    TBitmap b;
    b.LoadFromFile(dir.File("a.bmp"));
    EXPECT_EQ(RGB(10, 20, 30), b.Canvas().Pixel(2, 1));
    EXPECT_THROW(b.LoadFromFile(dir.File("missing.bmp")), EFOpenError);
}

TEST(Graphic, AssignBetweenUnrelatedClassesRaises) {
    struct TOther : TGraphic {
        void LoadFromStream(TStream&) override {}
        void SaveToStream(TStream&) override {}
        int32_t Width() const override { return 0; }
        int32_t Height() const override { return 0; }
    } other;
    TBitmap b;
    try {
        b.Assign(other);
        FAIL();
    } catch (const EConvertError& e) {
        EXPECT_STREQ("Cannot assign a TGraphic to a TBitmap", e.what());
    }
}

// Fills of 1- and 4-bit rows write whole bytes in the middle and single pixels at both ends: every
// pixel inside the rectangle changes, none outside it.
TEST(Bitmap, PartialByteFillsOnSubByteFormats) {
    for (TPixelFormat f : {pf1bit, pf4bit}) {
        for (int left = 0; left < 9; ++left)
            for (int right = left; right <= 21; ++right) {
                TBitmap b;
                b.SetPixelFormat(f);
                b.SetSize(21, 1);
                b.Canvas().Brush.Color = clWhite;
                b.Canvas().FillRect(Rect(left, 0, right, 1));
                for (int x = 0; x < 21; ++x)
                    ASSERT_EQ(x >= left && x < right ? clWhite : clBlack, b.Canvas().Pixel(x, 0))
                        << int(f) << " " << left << ".." << right << " at " << x;
            }
    }
}
