#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <vector>

#include "Classes.h"
#include "TargaGraphic.h"
#include "TestSupport.h"

namespace {

using Bytes = std::vector<uint8_t>;

size_t RowBytes(const TBitmap& b) { return size_t(b.Width()) * size_t(b.BitsPerPixel()) / 8; }

// Pixels with runs and noise, so both packet kinds occur.
void FillPattern(TBitmap& b, unsigned seed) {
    std::mt19937 random(seed);
    const size_t bytes = (size_t(b.Width()) * size_t(b.BitsPerPixel()) + 7) / 8;
    for (int r = 0; r < b.Height(); ++r) {
        uint8_t* row = b.ScanLine(r);
        for (size_t i = 0; i < bytes; ++i) row[i] = (i / 7) % 3 == 0 ? uint8_t(r) : uint8_t(random());
    }
}

Bytes Save(TTargaGraphic& g, bool compressed) {
    TMemoryStream s;
    g.SaveToStream(s, compressed);
    return s.Bytes();
}

std::unique_ptr<TTargaGraphic> Reload(const Bytes& bytes) {
    auto g = std::make_unique<TTargaGraphic>();
    TMemoryStream s(bytes);
    g->LoadFromStream(s);
    return g;
}

void ExpectSamePixels(const TBitmap& a, const TBitmap& b) {
    ASSERT_EQ(a.Width(), b.Width());
    ASSERT_EQ(a.Height(), b.Height());
    ASSERT_EQ(a.PixelFormat(), b.PixelFormat());
    for (int r = 0; r < a.Height(); ++r)
        ASSERT_EQ(Bytes(a.ScanLine(r), a.ScanLine(r) + RowBytes(a)), Bytes(b.ScanLine(r), b.ScanLine(r) + RowBytes(b)))
            << "row " << r;
}

}  // namespace

TEST(TargaSave, UncompressedTrueColourLayout) {
    TTargaGraphic g;
    g.SetPixelFormat(pf24bit);
    g.SetSize(3, 2);
    FillPattern(g, 1);
    const Bytes file = Save(g, false);
    const Bytes header = {0, 0, 2, 0, 0, 0, 1, 24, 0, 0, 0, 0, 3, 0, 2, 0, 24, 32};
    ASSERT_EQ(18u + 2 * 9, file.size());
    EXPECT_EQ(header, Bytes(file.begin(), file.begin() + 18));
    EXPECT_EQ(Bytes(g.ScanLine(0), g.ScanLine(0) + 9), Bytes(file.begin() + 18, file.begin() + 27));
    EXPECT_EQ(Bytes(g.ScanLine(1), g.ScanLine(1) + 9), Bytes(file.begin() + 27, file.end()));
}

TEST(TargaSave, RoundTripOfEveryPixelFormat) {
    struct Case {
        TPixelFormat format, readBack;
        uint8_t depth;
    };
    const Case cases[] = {
        {pf8bit, pf8bit, 8},    {pf15bit, pf15bit, 16}, {pf24bit, pf24bit, 24},
        {pf32bit, pf32bit, 32}, {pfDevice, pf32bit, 32},
    };
    for (const Case& c : cases) {
        for (bool compressed : {false, true}) {
            SCOPED_TRACE(testing::Message() << "format " << int(c.format) << (compressed ? " RLE" : " raw"));
            TTargaGraphic g;
            g.SetPixelFormat(c.format);
            g.SetSize(37, 5);
            FillPattern(g, 2);
            const Bytes file = Save(g, compressed);
            EXPECT_EQ(compressed ? (c.depth == 8 ? 9 : 10) : (c.depth == 8 ? 1 : 2), file[2]);
            EXPECT_EQ(c.depth, file[16]);
            EXPECT_EQ(32, file[17]);
            auto back = Reload(file);
            EXPECT_EQ(c.readBack, back->PixelFormat());
            g.SetPixelFormat(c.readBack);  // pfDevice already stores 32 bits: nothing changes
            ExpectSamePixels(g, *back);
            if (c.depth == 8) {
                ASSERT_EQ(256, back->Palette()->Count());
                for (int i = 0; i < 256; ++i) ASSERT_EQ(g.Palette()->Entry(i), back->Palette()->Entry(i));
            }
        }
    }
}

TEST(TargaSave, SaveToStreamWithoutFlagCompresses) {
    TTargaGraphic g;
    g.SetPixelFormat(pf24bit);
    g.SetSize(200, 2);  // equal pixels: runs of 128 and 72 per row
    TMemoryStream s;
    g.SaveToStream(s);
    const Bytes& file = s.Bytes();
    ASSERT_EQ(18u + 2 * (4 + 4), file.size());
    EXPECT_EQ(10, file[2]);
    EXPECT_EQ(0xFF, file[18]);
    EXPECT_EQ(0xC7, file[22]);
}

TEST(TargaSave, OneAndFourBitBitmapsBecomeEightBitWithAFullMap) {
    for (TPixelFormat format : {pf1bit, pf4bit}) {
        for (bool compressed : {false, true}) {
            TTargaGraphic g;
            g.SetPixelFormat(format);
            g.SetSize(9, 3);
            FillPattern(g, 3);
            const int entries = g.Palette()->Count();
            const Bytes file = Save(g, compressed);
            EXPECT_EQ(pf8bit, g.PixelFormat());  // converted in place
            EXPECT_EQ(Bytes({0, 1, uint8_t(compressed ? 9 : 1), 0, 0, 0, 1, 24}), Bytes(file.begin(), file.begin() + 8));
            EXPECT_EQ(8, file[16]);
            // The palette's entries as blue, green, red, then zeros up to 256 entries.
            for (int i = 0; i < 256; ++i) {
                const size_t at = 18 + size_t(i) * 3;
                const TPaletteEntry e = i < entries ? g.Palette()->Entry(i) : TPaletteEntry{};
                ASSERT_EQ(Bytes({e.peBlue, e.peGreen, e.peRed}), Bytes(file.begin() + at, file.begin() + at + 3))
                    << "entry " << i;
            }
            auto back = Reload(file);
            ExpectSamePixels(g, *back);
            EXPECT_EQ(g.Canvas().Pixel(4, 1), back->Canvas().Pixel(4, 1));
        }
    }
}

TEST(TargaSave, SixteenBitBitmapsAreWrittenInTheTargaWordLayout) {
    TTargaGraphic g;
    g.SetPixelFormat(pf16bit);
    g.SetSize(3, 1);
    g.Canvas().SetPixel(0, 0, RGB(255, 0, 0));
    g.Canvas().SetPixel(1, 0, RGB(0, 255, 0));
    g.Canvas().SetPixel(2, 0, RGB(0, 0, 255));
    auto back = Reload(Save(g, false));
    EXPECT_EQ(pf15bit, back->PixelFormat());
    EXPECT_EQ(Bytes({0x00, 0x7C, 0xE0, 0x03, 0x1F, 0x00}), Bytes(back->ScanLine(0), back->ScanLine(0) + 6));
    EXPECT_EQ(pf16bit, g.PixelFormat());  // the bitmap itself is not changed
}

TEST(TargaSave, EmptySingleRowAndOversizedBitmaps) {
    TTargaGraphic empty;
    empty.SetPixelFormat(pf24bit);
    EXPECT_TRUE(Save(empty, true).empty());

    // A single row is written top-down like every other image.
    TTargaGraphic row;
    row.SetPixelFormat(pf24bit);
    row.SetSize(4, 1);
    FillPattern(row, 4);
    const Bytes file = Save(row, false);
    EXPECT_EQ(32, file[17]);
    ExpectSamePixels(row, *Reload(file));

    TTargaGraphic wide;
    wide.SetPixelFormat(pf8bit);
    wide.SetSize(65536, 1);
    TMemoryStream s;
    try {
        wide.SaveToStream(s, false);
        ADD_FAILURE() << "no error";
    } catch (const EInvalidGraphic& e) {
        EXPECT_STREQ("Cannot save image. Targa images are at most 65535 x 65535 pixels; this one is 65536 x 1.",
                     e.what());
    }
    EXPECT_EQ(0, s.Size());
}

TEST(TargaSave, WideRowsRoundTrip) {
    // Runs that cross the blocks the encoder is given, and long noisy stretches.
    TTargaGraphic g;
    g.SetPixelFormat(pf24bit);
    g.SetSize(5000, 3);
    FillPattern(g, 5);
    for (int x = 1000; x < 1100; ++x) g.Canvas().SetPixel(x, 1, RGB(1, 2, 3));
    auto back = Reload(Save(g, true));
    ExpectSamePixels(g, *back);
}

TEST(TargaSave, AnyBitmapCanBeWritten) {
    TBitmap plain;
    plain.SetPixelFormat(pf24bit);
    plain.SetSize(6, 4);
    FillPattern(plain, 6);
    int events = 0;
    plain.OnProgress = [&](TGraphic* sender, TProgressStage, uint8_t, bool, const TRect&, const std::string&) {
        EXPECT_EQ(&plain, sender);
        ++events;
    };
    TMemoryStream s;
    TTargaGraphic::SaveBitmapToStream(plain, s, true);
    EXPECT_EQ(2 + 2 + 4, events);  // two phases, one event per row
    auto back = Reload(s.Bytes());
    ExpectSamePixels(plain, *back);

    // The same through a Targa object that took the bitmap over.
    TTargaGraphic copy;
    copy.Assign(plain);
    ExpectSamePixels(plain, *Reload(Save(copy, false)));
}

TEST(TargaRegistration, TheExtensionsLeadToTheReader) {
    VaderezUvStartup();
    for (const char* ext : {"win", "vst", "vda", "tga", "icb", "TGA"})
        EXPECT_EQ(&TTargaGraphic::Class, TPicture::FindGraphicClass(ext)) << ext;
    int found = 0;
    for (const TFileFormat& f : TFileFormatsList::Default().Entries())
        if (f.GraphicClass == &TTargaGraphic::Class) {
            EXPECT_EQ("Truevision images", f.Description);
            ++found;
        }
    EXPECT_EQ(5, found);

    TempDir dir;
    TTargaGraphic g;
    g.SetPixelFormat(pf24bit);
    g.SetSize(7, 3);
    TMemoryStream s;
    g.SaveToStream(s);
    s.SaveToFile(dir.File("a.tga"));
    TPicture picture;
    picture.LoadFromFile(dir.File("a.tga"));
    EXPECT_TRUE(picture.Graphic()->InheritsFrom(&TTargaGraphic::Class));
    EXPECT_EQ(7, picture.Width());
    EXPECT_EQ(3, picture.Height());
}
