#include <gtest/gtest.h>
#include <zlib.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "Classes.h"
#include "PNGGraphic.h"
#include "PNGTestFile.h"
#include "TestSupport.h"

using namespace pngtest;

namespace {

std::unique_ptr<TPNGGraphic> Load(const std::string& bytes) {
    auto g = std::make_unique<TPNGGraphic>();
    TMemoryStream s(bytes.data(), bytes.size());
    g->LoadFromStream(s);
    return g;
}

// The message of the exception a load raises ("" when it loads).
template <typename E = Exception>
std::string LoadError(const std::string& bytes) {
    try {
        Load(bytes);
    } catch (const E& e) {
        return e.what();
    }
    return "";
}

std::string Row(std::initializer_list<int> bytes) {
    std::string s;
    for (int b : bytes) s += char(b);
    return s;
}

// The colour a pixel of the image shows without gamma correction.
TColor Expected(const Image& image, uint32_t x, uint32_t y, const std::vector<TColor>& palette = {}) {
    const unsigned ch = image.Channels();
    const uint16_t* s = &image.Samples[(size_t(y) * image.Width + x) * ch];
    auto level = [&](uint16_t v) -> uint8_t {
        if (image.Depth == 16) return uint8_t(v / 257);
        if (image.ColorType == 0 || image.ColorType == 4) return uint8_t(v * 255 / ((1u << image.Depth) - 1));
        return uint8_t(v);
    };
    switch (image.ColorType) {
        case 3: return palette.at(s[0]);
        case 2:
        case 6: return RGB(level(s[0]), level(s[1]), level(s[2]));
        default: {
            const uint8_t l = level(s[0]);
            return RGB(l, l, l);
        }
    }
}

// The first pixel that differs from the image, as "x,y", or "" when all match.
std::string FirstDifference(TPNGGraphic& g, const Image& image, const std::vector<TColor>& palette = {}) {
    if (uint32_t(g.Width()) != image.Width || uint32_t(g.Height()) != image.Height)
        return "size " + std::to_string(g.Width()) + "x" + std::to_string(g.Height());
    for (uint32_t y = 0; y < image.Height; ++y)
        for (uint32_t x = 0; x < image.Width; ++x)
            if (g.Canvas().Pixel(int32_t(x), int32_t(y)) != Expected(image, x, y, palette))
                return std::to_string(x) + "," + std::to_string(y);
    return "";
}

std::string Palette(const std::vector<TColor>& colours) {
    std::string s;
    for (TColor c : colours) s += Row({GetRValue(c), GetGValue(c), GetBValue(c)});
    return Chunk("PLTE", s);
}

std::vector<TColor> SomeColours(unsigned count) {
    std::vector<TColor> colours;
    for (unsigned i = 0; i < count; ++i) colours.push_back(RGB(uint8_t(i * 37 + 5), uint8_t(255 - i * 11), uint8_t(i * 101)));
    return colours;
}

// A deflate stream of the bytes that is flushed but not finished, like data cut off in transit.
std::string FlushedOnly(const std::string& raw) {
    z_stream z{};
    deflateInit(&z, 6);
    std::string out(raw.size() + 64, '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(raw.data()));
    z.avail_in = uInt(raw.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = uInt(out.size());
    deflate(&z, Z_SYNC_FLUSH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

// A 4 x 3 RGB image whose data holds only its first row.
std::string FirstRowOnly() {
    return File({IHDR(4, 3, 8, 2), Chunk("IDAT", Deflate(Row({0}) + std::string(12, '\x40'))), Chunk("IEND", "")});
}

}  // namespace

// --- Signature and header --------------------------------------------------------------------

TEST(PNGHeader, AcceptsStreamTestsTheSignatureAndRestoresThePosition) {
    const std::string png = Encode(Image::Random(1, 1, 8, 0, 1), false, 0);
    TMemoryStream s(png.data(), png.size());
    EXPECT_TRUE(TPNGGraphic::AcceptsStream(s));
    EXPECT_EQ(0, s.Position());
    TMemoryStream justSignature(png.data(), 8);
    EXPECT_FALSE(TPNGGraphic::AcceptsStream(justSignature));
    std::string other = png;
    other[1] = 'Q';
    TMemoryStream wrong(other.data(), other.size());
    EXPECT_FALSE(TPNGGraphic::AcceptsStream(wrong));
}

TEST(PNGHeader, ReadImageInfoFillsThePropertiesOfEachColourType) {
    struct Case {
        uint8_t colorType, depth;
        TColorModel model;
        uint8_t samples, pixelBits;
        bool alpha;
    } cases[] = {
        {0, 1, cmGray, 1, 1, false},     {0, 16, cmGray, 1, 16, false},  {2, 8, cmRGB, 3, 24, false},
        {2, 16, cmRGB, 3, 48, false},    {3, 4, cmIndexed, 1, 4, false}, {4, 8, cmGrayAlpha, 1, 8, true},
        {6, 16, cmRGBA, 4, 64, true},    {5, 8, cmUnknown, 1, 8, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(int(c.colorType) * 100 + c.depth);
        const std::string png = File({IHDR(300, 200, c.depth, c.colorType, 1), Chunk("IEND", "")});
        TMemoryStream s(png.data(), png.size());
        TPNGGraphic g;
        ASSERT_TRUE(g.ReadImageInfo(s, 0));
        const TImageProperties& p = g.ImageProperties;
        EXPECT_EQ(300, p.ImageWidth);
        EXPECT_EQ(200, p.ImageHeight);
        EXPECT_EQ(c.model, p.ColorModel);
        EXPECT_EQ(c.samples, p.SampleCount);
        EXPECT_EQ(c.depth, p.SampleBits);
        EXPECT_EQ(c.pixelBits, p.PixelBits);
        EXPECT_EQ(c.alpha, p.AlphaPresent);
        EXPECT_EQ(ckDeflate, p.CompressionKind);
        EXPECT_TRUE(p.IsInterlaced);
        EXPECT_TRUE(p.Flags.Contains(ifBigEndian));
        EXPECT_EQ(1.0f, p.GammaValue);
    }
}

TEST(PNGHeader, ReadImageInfoTakesTheGammaAndWalksToIEND) {
    const std::string withGamma =
        File({IHDR(2, 2, 8, 0), Chunk("tEXt", "a"), Chunk("gAMA", Be32(45455)), Chunk("IEND", "")});
    TMemoryStream s(withGamma.data(), withGamma.size());
    TPNGGraphic g;
    ASSERT_TRUE(g.ReadImageInfo(s, 0));
    EXPECT_FLOAT_EQ(0.45455f, g.ImageProperties.GammaValue);

    const std::string without = File({IHDR(2, 2, 8, 0), Chunk("tEXt", "a"), Chunk("IEND", "")});
    TMemoryStream t(without.data(), without.size());
    ASSERT_TRUE(g.ReadImageInfo(t, 0));
    EXPECT_EQ(1.0f, g.ImageProperties.GammaValue);
    EXPECT_EQ(int64_t(without.size()), t.Position());
}

TEST(PNGHeader, FilesThatAreNoPNGAreRefusedWithTheFormatMessage) {
    const std::string invalid = "Cannot load image. Invalid or unexpected PNG image format.";
    std::string badSignature = Encode(Image::Random(2, 2, 8, 0, 1), false, 0);
    badSignature[0] = 'x';
    const std::string shortIHDR =
        File({Chunk("IHDR", Be32(2) + Be32(2) + Row({8, 0, 0, 0})), Chunk("IEND", "")});  // 12 bytes
    const std::string cases[] = {
        badSignature,
        File({Chunk("gAMA", Be32(45455)), IHDR(2, 2, 8, 0), Chunk("IEND", "")}),  // IHDR not first
        File({IHDR(0, 2, 8, 0), Chunk("IEND", "")}),
        File({IHDR(2, 0, 8, 0), Chunk("IEND", "")}),
        File({IHDR(0x80000000u, 2, 8, 0), Chunk("IEND", "")}),
        shortIHDR,
        "",
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(&c - cases);
        EXPECT_EQ(invalid, LoadError<EInvalidGraphic>(c));
    }
}

// --- Pixels ----------------------------------------------------------------------------------

TEST(PNGPixels, EveryColourTypeAndDepthDecodesWithEveryFilter) {
    struct Case {
        uint8_t colorType, depth;
        TPixelFormat format;
    } cases[] = {
        {0, 1, pf1bit}, {0, 2, pf4bit}, {0, 4, pf4bit}, {0, 8, pf8bit}, {0, 16, pf8bit},
        {2, 8, pf24bit}, {2, 16, pf24bit}, {3, 1, pf1bit}, {3, 2, pf4bit}, {3, 4, pf4bit},
        {3, 8, pf8bit}, {4, 8, pf8bit}, {4, 16, pf8bit}, {6, 8, pf32bit}, {6, 16, pf32bit},
    };
    for (const auto& c : cases)
        for (int filter = -1; filter <= 4; ++filter)
            for (bool interlace : {false, true}) {
                SCOPED_TRACE(std::to_string(c.colorType) + "/" + std::to_string(c.depth) + " filter " +
                             std::to_string(filter) + (interlace ? " interlaced" : ""));
                const Image image = Image::Random(13, 11, c.depth, c.colorType, uint32_t(c.depth * 7 + filter));
                const std::vector<TColor> palette = SomeColours(1u << std::min<int>(c.depth, 8));
                std::vector<std::string> extra;
                if (c.colorType == 3) extra.push_back(Palette(palette));
                auto g = Load(Encode(image, interlace, filter, extra));
                EXPECT_EQ(c.format, g->PixelFormat());
                EXPECT_EQ("", FirstDifference(*g, image, palette));
            }
}

TEST(PNGPixels, WideRowsExerciseTheWholePixelFilterLoops) {
    // Long rows and several rows, so every filter runs over many whole pixels of 3, 4, 6 and 8 bytes.
    for (auto [colorType, depth] : {std::pair{2, 8}, {6, 8}, {2, 16}, {6, 16}, {4, 8}, {0, 16}}) {
        SCOPED_TRACE(colorType * 100 + depth);
        const Image image = Image::Random(257, 9, uint8_t(depth), uint8_t(colorType), 99);
        auto g = Load(Encode(image, false, -1));
        EXPECT_EQ("", FirstDifference(*g, image));
    }
}

TEST(PNGPixels, GreyPalettesAndBitmapFormatsFollowTheDepth) {
    auto g = Load(Encode(Image::Random(3, 3, 2, 0, 5), false, 0));
    ASSERT_NE(nullptr, g->Palette());
    EXPECT_EQ(16, g->Palette()->Count());
    EXPECT_EQ(17, g->Palette()->Entry(1).peRed);
    g = Load(Encode(Image::Random(3, 3, 8, 4, 5), false, 0));
    EXPECT_EQ(2u, g->PixelStride);
    EXPECT_EQ(256, g->Palette()->Count());
    const Image sixteen = Image::Random(3, 3, 4, 3, 5);
    g = Load(Encode(sixteen, false, 0, {Palette(SomeColours(16))}));
    EXPECT_EQ(16, g->Palette()->Count());
}

TEST(PNGPixels, AnUnknownFilterTypeLeavesTheRowAsStored) {
    std::string raw = Row({5, 10, 20, 30}) + Row({0, 1, 2, 3});
    auto g = Load(File({IHDR(3, 2, 8, 0), Chunk("IDAT", Deflate(raw)), Chunk("IEND", "")}));
    EXPECT_EQ(RGB(20, 20, 20), g->Canvas().Pixel(1, 0));
    EXPECT_EQ(RGB(3, 3, 3), g->Canvas().Pixel(2, 1));
}

TEST(PNGPixels, SmallInterlacedImagesSkipEmptyPasses) {
    for (auto [w, h] : {std::pair{1u, 1u}, {1u, 9u}, {9u, 1u}, {2u, 3u}, {5u, 5u}}) {
        SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h));
        const Image image = Image::Random(w, h, 8, 2, w * 10 + h);
        auto g = Load(Encode(image, true, 4));
        EXPECT_EQ("", FirstDifference(*g, image));
    }
}

TEST(PNGPixels, InterlaceMethodTwoIsReadInPlainOrder) {
    const Image image = Image::Random(6, 4, 8, 2, 3);
    const std::string png = File({IHDR(6, 4, 8, 2, 2), Chunk("IDAT", Deflate(RawRows(image, false, 1))), Chunk("IEND", "")});
    auto g = Load(png);
    EXPECT_TRUE(g->ImageProperties.IsInterlaced);
    EXPECT_EQ("", FirstDifference(*g, image));
}

TEST(PNGPixels, ChunkTypesAreComparedWithoutLetterCase) {
    const Image image = Image::Random(4, 3, 8, 0, 8);
    const std::string png = File({IHDR(4, 3, 8, 0), Chunk("idat", Deflate(RawRows(image, false, 2))), Chunk("iend", "")});
    EXPECT_EQ("", FirstDifference(*Load(png), image));
}

TEST(PNGPixels, ImageDataSplitOverManyChunksIncludingEmptyOnes) {
    const Image image = Image::Random(31, 7, 8, 6, 4);
    const std::string data = Deflate(RawRows(image, false, -1));
    std::string png = File({IHDR(31, 7, 8, 6)});
    for (size_t i = 0; i < data.size(); i += 5) png += Chunk("IDAT", "") + Chunk("IDAT", data.substr(i, 5));
    png += Chunk("IEND", "");
    EXPECT_EQ("", FirstDifference(*Load(png), image));
}

TEST(PNGPixels, GammaIsAppliedToColoursAndGreyPalettes) {
    const Image rgb = Image::Random(5, 2, 8, 2, 6);
    auto g = Load(Encode(rgb, false, 0, {Chunk("gAMA", Be32(100000))}));
    EXPECT_TRUE(g->ImageProperties.Flags.Contains(ifUseGamma));
    const auto lut = g->ColorManager.GammaLookup();  // a copy: g is replaced below
    EXPECT_EQ(RGB(186, 186, 186), RGB(lut[128], lut[128], lut[128]));  // 255 * (128/255)^(1/2.2)
    const TColor plain = Expected(rgb, 3, 1);
    EXPECT_EQ(RGB(lut[GetRValue(plain)], lut[GetGValue(plain)], lut[GetBValue(plain)]), g->Canvas().Pixel(3, 1));

    const Image grey = Image::Random(5, 2, 8, 0, 6);
    g = Load(Encode(grey, false, 0, {Chunk("gAMA", Be32(100000))}));
    const uint8_t v = GetRValue(Expected(grey, 2, 0));
    EXPECT_EQ(RGB(lut[v], lut[v], lut[v]), g->Canvas().Pixel(2, 0));
}

TEST(PNGPixels, AReusedReaderForgetsThePreviousFilesGammaAndTransparency) {
    TPNGGraphic g;
    const Image grey1 = Image::Random(9, 3, 1, 0, 2);
    const std::string first = Encode(grey1, false, 0, {Chunk("gAMA", Be32(50000)), Chunk("tRNS", Be16(1))});
    TMemoryStream s1(first.data(), first.size());
    g.LoadFromStream(s1);
    EXPECT_TRUE(g.Transparent());
    const Image rgb = Image::Random(7, 3, 8, 2, 3);
    const std::string second = Encode(rgb, false, 0);
    TMemoryStream s2(second.data(), second.size());
    g.LoadFromStream(s2);
    EXPECT_FALSE(g.Transparent());
    EXPECT_EQ("", FirstDifference(g, rgb));
    const std::string third = Encode(grey1, false, 0, {Chunk("gAMA", Be32(100000))});
    TMemoryStream s3(third.data(), third.size());
    g.LoadFromStream(s3);  // the gamma table spans 0..255 again though the last depth was 1 bit
    EXPECT_EQ(255, g.Palette()->Entry(1).peRed);
}

// --- Background and transparency -------------------------------------------------------------

TEST(PNGColours, TransparencyGivesTheKeyColourThePixelsShow) {
    struct Case {
        uint8_t colorType, depth;
        std::string trns;
        TColor key;
    } cases[] = {
        {2, 8, Be16(10) + Be16(20) + Be16(30), RGB(10, 20, 30)},
        {2, 16, Be16(0xFFFF) + Be16(0x0101) + Be16(0), RGB(255, 1, 0)},
        {0, 8, Be16(0x1234), RGB(0x34, 0x34, 0x34)},
        {0, 16, Be16(0x8080), RGB(128, 128, 128)},
        {0, 1, Be16(1), RGB(255, 255, 255)},
        {0, 4, Be16(3), RGB(51, 51, 51)},
        {0, 2, Be16(2), RGB(170, 170, 170)},
        {0, 2, Be16(13110), RGB(170, 170, 170)},  // beyond two bits: masked to the depth (13110 & 3 = 2)
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(int(c.colorType) * 100 + c.depth);
        auto g = Load(Encode(Image::Random(3, 2, c.depth, c.colorType, 1), false, 0, {Chunk("tRNS", c.trns)}));
        EXPECT_TRUE(g->Transparent());
        EXPECT_EQ(c.key, g->TransparentColor());
    }
    // Palette images keep their transparency table out of the bitmap; too short a chunk changes nothing.
    auto g = Load(Encode(Image::Random(3, 2, 8, 3, 1), false, 0, {Palette(SomeColours(256)), Chunk("tRNS", "\x10")}));
    EXPECT_FALSE(g->Transparent());
    g = Load(Encode(Image::Random(3, 2, 8, 2, 1), false, 0, {Chunk("tRNS", Be16(1))}));
    EXPECT_FALSE(g->Transparent());
}

TEST(PNGColours, TheBackgroundFillsWhatIsNotDecodedYet) {
    struct Case {
        uint8_t colorType, depth;
        std::vector<std::string> chunks;
        TColor fill;
    } cases[] = {
        {2, 8, {Chunk("bKGD", Be16(10) + Be16(20) + Be16(30))}, RGB(10, 20, 30)},
        {6, 16, {Chunk("bKGD", Be16(0xFFFF) + Be16(0) + Be16(0x8080))}, RGB(255, 0, 128)},
        {0, 2, {Chunk("bKGD", Be16(13109))}, RGB(85, 85, 85)},  // masked to two bits
        {0, 8, {Chunk("bKGD", Be16(200))}, RGB(200, 200, 200)},
        {3, 8, {Palette(SomeColours(4)), Chunk("bKGD", "\x02")}, SomeColours(4)[2]},
        {2, 8, {}, RGB(255, 255, 255)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(int(c.colorType) * 100 + c.depth);
        const Image image = Image::Random(4, 3, c.depth, c.colorType, 1);
        TPNGGraphic g;
        TColor seen = clNone;
        g.OnProgress = [&](TGraphic*, TProgressStage stage, uint8_t, bool, const TRect&, const std::string&) {
            if (stage == psRunning && seen == clNone) seen = g.Canvas().Pixel(3, 2);  // after the first row
        };
        const std::string png = Encode(image, false, 0, c.chunks);
        TMemoryStream s(png.data(), png.size());
        g.LoadFromStream(s);
        EXPECT_EQ(c.fill, seen);
    }
}

// --- Damaged and unusual files ---------------------------------------------------------------

TEST(PNGErrors, DamagedFilesRaiseTheirMessages) {
    const Image image = Image::Random(4, 4, 8, 2, 7);
    const std::string rows = RawRows(image, false, 1);
    const std::string data = Deflate(rows);
    const std::string ihdr = IHDR(4, 4, 8, 2);
    const std::string iend = Chunk("IEND", "");
    const std::string crc = "Cannot load image. CRC error found in PNG file.";
    std::string corrupt = data;
    corrupt[2] = char(0xFF);  // an invalid block type
    struct Case {
        const char* what;
        std::string file;
        std::string message;
    } cases[] = {
        {"IDAT checksum", File({ihdr, Chunk("IDAT", data, true), iend}), crc},
        {"IHDR checksum", File({Chunk("IHDR", Be32(4) + Be32(4) + Row({8, 2, 0, 0, 0}), true), iend}), crc},
        {"PLTE checksum", File({IHDR(4, 4, 8, 3), Chunk("PLTE", "abc", true), iend}), crc},
        {"PLTE length", File({IHDR(4, 4, 8, 3), Chunk("PLTE", std::string(100, 'p')), iend}),
         "Cannot load image. Palette in PNG file is invalid."},
        {"colour type", File({IHDR(4, 4, 8, 5), Chunk("IDAT", data), iend}), "Invalid color format in PNG file."},
        {"depth", File({IHDR(4, 4, 4, 2), Chunk("IDAT", data), iend}), "Invalid color format in PNG file."},
        {"palette depth", File({IHDR(4, 4, 16, 3), Chunk("PLTE", "abc"), iend}), "Invalid color format in PNG file."},
        // Found by fuzzing: background and transparency of a grey image of depth 0 divided by zero.
        {"depth 0 with tRNS and bKGD",
         File({IHDR(4, 4, 0, 0), Chunk("tRNS", Be16(1)), Chunk("bKGD", Be16(1)), Chunk("IDAT", data), iend}),
         "Invalid color format in PNG file."},
        {"compression method", File({IHDR(4, 4, 8, 2, 0, 1), Chunk("IDAT", data), iend}),
         "Cannot load image. The compression scheme is not supported for PNG files."},
        {"critical chunk", File({ihdr, Chunk("CRIT", ""), Chunk("IDAT", data), iend}),
         "Cannot load PNG image. Unexpected but critical chunk detected."},
        {"second IHDR", File({ihdr, ihdr, Chunk("IDAT", data), iend}),
         "Cannot load PNG image. Unexpected but critical chunk detected."},
        {"PLTE after data", File({ihdr, Chunk("IDAT", data), Chunk("PLTE", "abc"), iend}),
         "Cannot load PNG image. Unexpected but critical chunk detected."},
        {"deflate data", File({ihdr, Chunk("IDAT", corrupt), iend}), "Cannot load image. Compression error found in PNG file."},
        {"data after the stream", File({ihdr, Chunk("IDAT", data + "junk"), iend}),
         "Cannot load image. Extra compressed data found in PNG file."},
        {"stream ends inside a row", File({ihdr, Chunk("IDAT", Deflate(rows.substr(0, 20))), iend}),
         "Cannot load image. Extra compressed data found in PNG file."},
        {"no IEND", File({ihdr, Chunk("IDAT", data)}), "Stream read error"},
        {"cut in a chunk", File({ihdr, Chunk("IDAT", data)}).substr(0, 40), "Stream read error"},
        {"huge chunk", File({ihdr, Be32(0xFFFFFFF0u) + "gAMA" + data}), "Stream read error"},  // not allocated
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(c.message, LoadError(c.file));
    }
}

TEST(PNGErrors, UncheckedAncillaryChunksAndShortValuesAreTolerated) {
    const Image image = Image::Random(4, 4, 8, 2, 7);
    const std::string data = Deflate(RawRows(image, false, 3));
    const std::string png = File({IHDR(4, 4, 8, 2), Chunk("zzZz", "whatever", true), Chunk("gAMA", "\x01"),
                                  Chunk("bKGD", "\x01"), Chunk("tRNS", ""), Chunk("IDAT", data), Chunk("tEXt", "x", true),
                                  Chunk("IEND", "")});
    auto g = Load(png);
    EXPECT_FALSE(g->ImageProperties.Flags.Contains(ifUseGamma));
    EXPECT_EQ("", FirstDifference(*g, image));
}

TEST(PNGErrors, DataThatRunsOutLeavesAFullSizedBitmapWithTheBackgroundWhereNoDataCame) {
    auto g = Load(FirstRowOnly());
    EXPECT_EQ(4, g->Width());
    EXPECT_EQ(3, g->Height());
    EXPECT_EQ(RGB(0x40, 0x40, 0x40), g->Canvas().Pixel(3, 0));
    // Rows that got no data show the background, white without bKGD.
    EXPECT_EQ(RGB(255, 255, 255), g->Canvas().Pixel(0, 1));
    EXPECT_EQ(RGB(255, 255, 255), g->Canvas().Pixel(3, 2));

    // Data cut in the middle of row 1 (the stream flushed but not finished): row 1 keeps its first
    // pixel, the rest of its buffer is what the buffer held (zeros), row 2 gets the background.
    const Image image = Image::Random(4, 3, 8, 2, 21);
    const std::string rows = RawRows(image, false, 0);
    const std::string png = File({IHDR(4, 3, 8, 2), Chunk("bKGD", Be16(1) + Be16(2) + Be16(3)),
                                  Chunk("IDAT", FlushedOnly(rows.substr(0, 13 + 4))), Chunk("IEND", "")});
    for (bool withHandler : {false, true}) {
        SCOPED_TRACE(withHandler);
        TPNGGraphic h;
        if (withHandler) h.OnProgress = [](TGraphic*, TProgressStage, uint8_t, bool, const TRect&, const std::string&) {};
        TMemoryStream s(png.data(), png.size());
        h.LoadFromStream(s);
        EXPECT_EQ(Expected(image, 3, 0), h.Canvas().Pixel(3, 0));
        EXPECT_EQ(Expected(image, 0, 1), h.Canvas().Pixel(0, 1));
        EXPECT_EQ(RGB(0, 0, 0), h.Canvas().Pixel(1, 1));
        EXPECT_EQ(RGB(1, 2, 3), h.Canvas().Pixel(2, 2));
    }

    // Interlaced: the pixels of the passes that came keep their values, the others the background.
    const Image big = Image::Random(8, 8, 8, 0, 22);
    const std::string passes = RawRows(big, true, 0);
    auto i = Load(File({IHDR(8, 8, 8, 0, 1), Chunk("IDAT", FlushedOnly(passes.substr(0, 2 + 2))), Chunk("IEND", "")}));
    EXPECT_EQ(Expected(big, 0, 0), i->Canvas().Pixel(0, 0));  // pass 1
    EXPECT_EQ(Expected(big, 4, 0), i->Canvas().Pixel(4, 0));  // pass 2
    EXPECT_EQ(RGB(255, 255, 255), i->Canvas().Pixel(0, 4));    // pass 3 never came

    g = Load(File({IHDR(4, 2, 8, 2), Chunk("IEND", "")}));
    EXPECT_TRUE(g->Empty());
}

TEST(PNGErrors, ATallImageWithLittleDataIsNotDecodedRowByRowPastItsData) {
    // Found by fuzzing: a 100-byte file declaring 2 x 2097154 pixels once took seconds converting
    // stale buffers into every row.
    const std::string png = File({IHDR(2, 0x200002, 1, 3), Palette({RGB(0, 0, 0), RGB(255, 255, 255)}),
                                  Chunk("IDAT", Deflate(Row({0, 0x40}))), Chunk("IEND", "")});
    auto g = Load(png);
    EXPECT_EQ(0x200002, g->Height());
    EXPECT_EQ(RGB(255, 255, 255), g->Canvas().Pixel(1, 0));
    EXPECT_EQ(RGB(255, 255, 255), g->Canvas().Pixel(0, 0x200001));  // the background's nearest entry
}

TEST(PNGErrors, ImageDataInterruptedByOtherChunksIsDecodedOnce) {
    const Image image = Image::Random(8, 8, 8, 0, 12);
    const std::string data = Deflate(RawRows(image, false, 0));
    const std::string a = data.substr(0, data.size() / 2), b = data.substr(data.size() / 2);
    auto g = Load(File({IHDR(8, 8, 8, 0), Chunk("IDAT", a), Chunk("tEXt", "k"), Chunk("IDAT", b), Chunk("IEND", "")}));
    EXPECT_EQ(8, g->Width());
    // The later chunks are still read and checked.
    EXPECT_EQ("Cannot load image. CRC error found in PNG file.",
              LoadError(File({IHDR(8, 8, 8, 0), Chunk("IDAT", a), Chunk("tEXt", "k"), Chunk("IDAT", b, true),
                              Chunk("IEND", "")})));
}

// --- Progress and registration ---------------------------------------------------------------

TEST(PNGProgress, StagesAndPercentagesFollowTheProtocol) {
    const std::string png = Encode(Image::Random(3, 4, 8, 2, 1), false, 0);
    TPNGGraphic g;
    std::vector<std::string> events;
    std::vector<TRect> rects;
    g.OnProgress = [&](TGraphic* sender, TProgressStage stage, uint8_t percent, bool redraw, const TRect& r,
                       const std::string& text) {
        EXPECT_EQ(&g, sender);
        events.push_back(std::to_string(int(stage)) + ":" + std::to_string(percent) + (redraw ? "r" : "") + text);
        rects.push_back(r);
    };
    TMemoryStream s(png.data(), png.size());
    g.LoadFromStream(s);
    const std::vector<std::string> expected = {"0:0Preparing...", "2:0", "0:0Transfering...", "1:0r", "1:25r",
                                               "1:50r", "1:75r", "2:0"};
    EXPECT_EQ(expected, events);
    EXPECT_EQ(Rect(0, 0, 3, 1), rects[3]);
    EXPECT_EQ(Rect(0, 4, 3, 5), rects.back());

    // Interlaced: only the last pass reports rows, with (row + 2) * 100 / height.
    const std::string interlaced = Encode(Image::Random(3, 4, 8, 2, 1), true, 0);
    events.clear();
    TMemoryStream t(interlaced.data(), interlaced.size());
    g.LoadFromStream(t);
    const std::vector<std::string> expectedInterlaced = {"0:0Preparing...", "2:0", "0:0Transfering...", "1:75r",
                                                         "1:100r", "2:0"};
    EXPECT_EQ(expectedInterlaced, events);
}

TEST(PNGRegistration, PicturesLoadPNGFilesByExtension) {
    TempDir dir;
    const Image image = Image::Random(5, 3, 8, 6, 2);
    WriteBytes(dir.File("a.PNG"), Encode(image, false, 0));
    TPicture picture;
    picture.LoadFromFile(dir.File("a.PNG"));
    ASSERT_TRUE(picture.Graphic()->InheritsFrom(&TPNGGraphic::Class));
    EXPECT_EQ(5, picture.Width());
    EXPECT_EQ(3, picture.Height());
    EXPECT_NE(std::string::npos, GraphicFilter(&TGraphic::Class).find("Portable network graphic images (*.png)"));
}
