#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "Classes.h"
#include "GraphicColor.h"
#include "TargaGraphic.h"
#include "TargaTestFile.h"
#include "TestSupport.h"

namespace {

std::unique_ptr<TTargaGraphic> Load(const std::vector<uint8_t>& bytes) {
    auto image = std::make_unique<TTargaGraphic>();
    TMemoryStream stream(bytes);
    image->LoadFromStream(stream);
    return image;
}

std::vector<uint8_t> Row(const TBitmap& b, int row, size_t bytes) {
    const uint8_t* p = b.ScanLine(row);
    return std::vector<uint8_t>(p, p + bytes);
}

using Bytes = std::vector<uint8_t>;

TargaFile Grey(uint16_t width, uint16_t height, Bytes data, uint8_t type = 3, uint8_t descriptor = 0x20) {
    TargaFile f;
    f.ImageType = type;
    f.PixelDepth = 8;
    f.Width = width;
    f.Height = height;
    f.Descriptor = descriptor;
    f.Data = std::move(data);
    return f;
}

}  // namespace

TEST(TargaInfo, PropertiesFollowTheTypeAndPixelDepth) {
    struct Case {
        uint8_t type, depth;
        TColorModel model;
        uint8_t bits, count, pixelBits;
        TCompressionKind compression;
    };
    const Case cases[] = {
        {3, 8, cmGray, 8, 1, 8, ckNone},     {11, 8, cmGray, 8, 1, 8, ckRLE},    {1, 8, cmIndexed, 8, 1, 8, ckNone},
        {9, 8, cmIndexed, 8, 1, 8, ckRLE},   {2, 8, cmIndexed, 8, 1, 8, ckNone}, {2, 15, cmRGB, 5, 3, 15, ckNone},
        {10, 16, cmRGB, 5, 3, 15, ckRLE},    {2, 24, cmRGB, 8, 3, 24, ckNone},   {2, 32, cmRGBA, 8, 4, 32, ckNone},
        {2, 7, cmUnknown, 8, 0, 0, ckNone},  {0, 24, cmRGB, 8, 3, 24, ckNone},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "type " << int(c.type) << " depth " << int(c.depth));
        TargaFile f;
        f.ImageType = c.type;
        f.PixelDepth = c.depth;
        f.Width = 300;
        f.Height = 2;
        TMemoryStream s(f.Bytes());
        TTargaGraphic g;
        g.ImageProperties.FirstDirectoryOffset = 99;  // cleared by the base operation
        EXPECT_TRUE(g.ReadImageInfo(s, 5));
        const TImageProperties& p = g.ImageProperties;
        EXPECT_EQ(300, p.ImageWidth);
        EXPECT_EQ(2, p.ImageHeight);
        EXPECT_EQ(c.model, p.ColorModel);
        EXPECT_EQ(c.bits, p.SampleBits);
        EXPECT_EQ(c.count, p.SampleCount);
        EXPECT_EQ(c.pixelBits, p.PixelBits);
        EXPECT_EQ(c.compression, p.CompressionKind);
        EXPECT_FALSE(p.AlphaPresent);
        EXPECT_EQ(0u, p.FormatVersion);
        EXPECT_EQ(0u, p.FirstDirectoryOffset);
        EXPECT_EQ(1.0f, p.GammaValue);
    }
    const Bytes header = TargaFile{}.Bytes();
    TMemoryStream shortHeader(header.data(), 17);
    TTargaGraphic g;
    EXPECT_THROW(g.ReadImageInfo(shortHeader, 0), EReadError);
}

TEST(TargaAccepts, SignatureTestAndPositionKept) {
    auto make = [](auto change) {
        TargaFile f;
        f.ColorMapEntrySize = 24;
        f.Data = {1, 2, 3};
        change(f);
        return f.Bytes();
    };
    const std::vector<std::tuple<const char*, Bytes, bool>> cases = {
        {"plain true colour", make([](TargaFile&) {}), true},
        {"colour mapped RLE", make([](TargaFile& f) { f.ImageType = 9, f.ColorMapType = 1, f.PixelDepth = 8; }), true},
        {"type 0", make([](TargaFile& f) { f.ImageType = 0; }), true},
        {"type 4", make([](TargaFile& f) { f.ImageType = 4; }), false},
        {"type 32", make([](TargaFile& f) { f.ImageType = 32; }), false},
        {"colour map type 2", make([](TargaFile& f) { f.ColorMapType = 2; }), false},
        {"entry size 0", make([](TargaFile& f) { f.ColorMapEntrySize = 0; }), false},
        {"entry size 15", make([](TargaFile& f) { f.ColorMapEntrySize = 15; }), true},
        {"pixel depth 12", make([](TargaFile& f) { f.PixelDepth = 12; }), false},
        {"exactly 18 bytes", make([](TargaFile& f) { f.Data.clear(); }), false},
        {"19 bytes", make([](TargaFile& f) { f.Data = {0}; }), true},
    };
    for (const auto& [name, bytes, expected] : cases) {
        SCOPED_TRACE(name);
        Bytes withPrefix = {7, 7, 7};
        withPrefix.insert(withPrefix.end(), bytes.begin(), bytes.end());
        TMemoryStream s(withPrefix);
        s.SetPosition(3);
        EXPECT_EQ(expected, TTargaGraphic::AcceptsStream(s));
        EXPECT_EQ(3, s.Position());
    }
    TMemoryStream empty;
    EXPECT_FALSE(TTargaGraphic::AcceptsStream(empty));
}

TEST(TargaLoad, RowOrderFollowsDescriptorBit5) {
    TargaFile f;
    f.Width = 2;
    f.Height = 2;
    f.Data = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};  // first stored row: 1..6
    f.Descriptor = 0;
    auto bottomUp = Load(f.Bytes());
    EXPECT_EQ(pf24bit, bottomUp->PixelFormat());
    EXPECT_EQ(Bytes({7, 8, 9, 10, 11, 12}), Row(*bottomUp, 0, 6));
    EXPECT_EQ(Bytes({1, 2, 3, 4, 5, 6}), Row(*bottomUp, 1, 6));
    f.Descriptor = 0x20 | 0x08;  // attribute bits do not matter
    auto topDown = Load(f.Bytes());
    EXPECT_EQ(Bytes({1, 2, 3, 4, 5, 6}), Row(*topDown, 0, 6));
    EXPECT_EQ(RGB(3, 2, 1), topDown->Canvas().Pixel(0, 0));  // stored blue, green, red
}

TEST(TargaLoad, PixelDepthsKeepTheirBytes) {
    // 15 and 16 bits: 5-5-5 words kept as they are (bit 15 too); 32 bits: the fourth byte is kept.
    for (uint8_t depth : {15, 16}) {
        TargaFile f;
        f.PixelDepth = depth;
        f.Width = 2;
        f.Data = {0x1F, 0x80, 0x00, 0x7C};  // blue with bit 15, red
        auto g = Load(f.Bytes());
        EXPECT_EQ(pf15bit, g->PixelFormat());
        EXPECT_EQ(f.Data, Row(*g, 0, 4));
        EXPECT_EQ(RGB(255, 0, 0), g->Canvas().Pixel(1, 0));
    }
    TargaFile f;
    f.PixelDepth = 32;
    f.Data = {10, 20, 30, 40};
    auto g = Load(f.Bytes());
    EXPECT_EQ(pf32bit, g->PixelFormat());
    EXPECT_EQ(f.Data, Row(*g, 0, 4));
    EXPECT_FALSE(g->ImageProperties.AlphaPresent);
}

TEST(TargaLoad, GreyImagesGetTheGreyRampAndSkipADeclaredColourMap) {
    for (uint8_t type : {3, 11}) {
        SCOPED_TRACE(int(type));
        const Bytes data = type == 3 ? Bytes{0, 128, 255} : Bytes{0x02, 0, 128, 255};
        TargaFile f = Grey(3, 1, data, type);
        auto plain = Load(f.Bytes());
        ASSERT_NE(nullptr, plain->Palette());
        EXPECT_EQ(256, plain->Palette()->Count());
        EXPECT_EQ((TPaletteEntry{255, 255, 255, 0}), plain->Palette()->Entry(255));
        EXPECT_EQ((TPaletteEntry{128, 128, 128, 0}), plain->Palette()->Entry(128));
        EXPECT_EQ(Bytes({0, 128, 255}), Row(*plain, 0, 3));

        // A map declared by a grey file is passed over: the pixels follow it.
        f.ColorMapType = 1;
        f.ColorMapLength = 2;
        f.ColorMapEntrySize = 24;
        f.ColorMap = {9, 9, 9, 9, 9, 9};
        auto withMap = Load(f.Bytes());
        EXPECT_EQ(Bytes({0, 128, 255}), Row(*withMap, 0, 3));
        EXPECT_EQ((TPaletteEntry{128, 128, 128, 0}), withMap->Palette()->Entry(128));
    }
}

TEST(TargaLoad, ColourMapsOfEveryEntrySize) {
    struct Case {
        uint8_t size;
        Bytes map;  // two entries
        TPaletteEntry first, second;
    };
    const Case cases[] = {
        {15, {0x00, 0x7C, 0xE0, 0x83}, {248, 0, 0, 0}, {0, 248, 0, 0}},  // bit 15 ignored
        {16, {0x1F, 0x00, 0xFF, 0x7F}, {0, 0, 248, 0}, {248, 248, 248, 0}},
        {24, {1, 2, 3, 4, 5, 6}, {3, 2, 1, 0}, {6, 5, 4, 0}},
        {32, {1, 2, 3, 99, 4, 5, 6, 99}, {3, 2, 1, 0}, {6, 5, 4, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(int(c.size));
        TargaFile f;
        f.ColorMapType = 1;
        f.ImageType = 1;
        f.PixelDepth = 8;
        f.Width = 3;
        f.ColorMapLength = 2;
        f.ColorMapEntrySize = c.size;
        f.ColorMap = c.map;
        f.Data = {1, 0, 1};
        auto g = Load(f.Bytes());
        EXPECT_EQ(pf8bit, g->PixelFormat());
        ASSERT_EQ(2, g->Palette()->Count());
        EXPECT_EQ(c.first, g->Palette()->Entry(0));
        EXPECT_EQ(c.second, g->Palette()->Entry(1));
        EXPECT_EQ(f.Data, Row(*g, 0, 3));  // the pixels start right after the map
    }
}

TEST(TargaLoad, LongMapsAndMapOrigins) {
    // 300 entries: all are read, 256 reach the palette, the pixels follow the 900 bytes.
    TargaFile f;
    f.ColorMapType = 1;
    f.ImageType = 1;
    f.PixelDepth = 8;
    f.Width = 2;
    f.ColorMapLength = 300;
    f.ColorMapEntrySize = 24;
    for (int i = 0; i < 300; ++i) f.ColorMap.insert(f.ColorMap.end(), {uint8_t(i), 0, 0});
    f.Data = {255, 7};
    auto g = Load(f.Bytes());
    ASSERT_EQ(256, g->Palette()->Count());
    EXPECT_EQ((TPaletteEntry{0, 0, 255, 0}), g->Palette()->Entry(255));
    EXPECT_EQ(f.Data, Row(*g, 0, 2));

    // First entry index 2: map entry k is palette entry 2 + k, the entries below are black.
    TargaFile o;
    o.ColorMapType = 1;
    o.ImageType = 1;
    o.PixelDepth = 8;
    o.Width = 4;
    o.ColorMapFirst = 2;
    o.ColorMapLength = 2;
    o.Data = {0, 1, 2, 3};
    for (uint8_t size : {16, 24}) {
        SCOPED_TRACE(int(size));
        o.ColorMapEntrySize = size;
        o.ColorMap = size == 16 ? Bytes{0x1F, 0x00, 0xE0, 0x03} : Bytes{248, 0, 0, 0, 248, 0};
        auto h = Load(o.Bytes());
        ASSERT_EQ(4, h->Palette()->Count());
        EXPECT_EQ(RGB(0, 0, 0), h->Canvas().Pixel(1, 0));
        EXPECT_EQ(RGB(0, 0, 248), h->Canvas().Pixel(2, 0));
        EXPECT_EQ(RGB(0, 248, 0), h->Canvas().Pixel(3, 0));
    }

    // An origin beyond the palette keeps no entry of the map, but the map is still passed over.
    o.ColorMapFirst = 300;
    auto k = Load(o.Bytes());
    EXPECT_EQ(o.Data, Row(*k, 0, 4));
}

TEST(TargaLoad, MapsWithUnusualEntrySizes) {
    TargaFile f;
    f.ColorMapType = 1;
    f.ColorMapLength = 3;
    f.ColorMapEntrySize = 8;  // one byte per entry, no known colour layout
    f.ColorMap = {1, 2, 3};
    // An image of indices cannot be shown without colours.
    f.ImageType = 1;
    f.PixelDepth = 8;
    f.Data = {0};
    try {
        Load(f.Bytes());
        ADD_FAILURE() << "no error";
    } catch (const EInvalidGraphic& e) {
        EXPECT_STREQ("Cannot load image. Invalid or unexpected Targa image format.", e.what());
    }
    // True colour pixels do not need the map: it is passed over.
    f.ImageType = 2;
    f.PixelDepth = 24;
    f.Data = {4, 5, 6};
    EXPECT_EQ(f.Data, Row(*Load(f.Bytes()), 0, 3));
}

TEST(TargaLoad, UnknownPixelDepthIsRefused) {
    TargaFile f;
    f.PixelDepth = 12;
    f.Data = {1, 2};
    TTargaGraphic g;
    TMemoryStream s(f.Bytes());
    try {
        g.LoadFromStream(s);
        ADD_FAILURE() << "no error";
    } catch (const EColorConversionError& e) {
        EXPECT_STREQ("Sample count per pixel does not correspond to the given color scheme.", e.what());
    }
    EXPECT_TRUE(g.Empty());
}

TEST(TargaLoad, ImagesWithoutPixelDataGetTheirSize) {
    for (uint8_t type : {0, 5, 32}) {
        TargaFile f;
        f.ImageType = type;
        f.Width = 4;
        f.Height = 3;
        auto g = Load(f.Bytes());
        EXPECT_EQ(4, g->Width());
        EXPECT_EQ(3, g->Height());
        EXPECT_EQ(Bytes(12, 0), Row(*g, 2, 12));
    }
}

TEST(TargaLoad, ShortFilesRaiseTheStreamError) {
    // Uncompressed data one byte short: refused before the bitmap is sized.
    TargaFile f;
    f.Width = 2;
    f.Height = 2;
    f.Data = Bytes(11, 1);
    TTargaGraphic g;
    {
        TMemoryStream s(f.Bytes());
        EXPECT_THROW(g.LoadFromStream(s), EReadError);
        EXPECT_EQ(0, g.Width());
    }
    // A colour map cut short.
    TargaFile m;
    m.ColorMapType = 1;
    m.ImageType = 1;
    m.PixelDepth = 8;
    m.ColorMapLength = 4;
    m.ColorMapEntrySize = 24;
    m.ColorMap = Bytes(11, 0);
    TMemoryStream s(m.Bytes());
    EXPECT_THROW(g.LoadFromStream(s), EReadError);
    // A header cut short.
    TMemoryStream h(m.Bytes().data(), 10);
    EXPECT_THROW(g.LoadFromStream(h), EReadError);
}

TEST(TargaLoad, StartsAtTheStreamPositionAndSkipsTheID) {
    TargaFile f = Grey(2, 1, {5, 6});
    f.IDLength = 3;
    f.ID = {'a', 'b', 'c'};
    Bytes bytes = {9, 9, 9, 9};
    const Bytes file = f.Bytes();
    bytes.insert(bytes.end(), file.begin(), file.end());
    TMemoryStream s(bytes);
    s.SetPosition(4);
    TTargaGraphic g;
    g.LoadFromStream(s);
    EXPECT_EQ(4u, g.ImageStart);
    EXPECT_EQ(Bytes({5, 6}), Row(g, 0, 2));
    EXPECT_EQ(int64_t(bytes.size()), s.Position());
}

TEST(TargaLoad, ReportsItsPhasesAndRows) {
    struct Event {
        TProgressStage stage;
        int percent;
        bool redraw;
        TRect rect;
        std::string text;
    };
    std::vector<Event> events;
    TTargaGraphic g;
    g.OnProgress = [&](TGraphic* sender, TProgressStage stage, uint8_t percent, bool redraw, const TRect& rect,
                       const std::string& text) {
        EXPECT_EQ(&g, sender);
        events.push_back({stage, percent, redraw, rect, text});
    };
    TMemoryStream s(Grey(5, 3, Bytes(15, 1)).Bytes());
    g.LoadFromStream(s);
    ASSERT_EQ(7u, events.size());
    EXPECT_EQ(psStarting, events[0].stage);
    EXPECT_EQ("Preparing...", events[0].text);
    EXPECT_EQ(Rect(0, 0, 5, 1), events[0].rect);
    EXPECT_EQ(psEnding, events[1].stage);
    EXPECT_EQ(psStarting, events[2].stage);
    EXPECT_EQ("Transfering...", events[2].text);
    const int percents[] = {0, 33, 67};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(psRunning, events[3 + i].stage);
        EXPECT_EQ(percents[i], events[3 + i].percent);
        EXPECT_TRUE(events[3 + i].redraw);
        EXPECT_EQ(Rect(0, i, 5, i + 1), events[3 + i].rect);
    }
    EXPECT_EQ(psEnding, events[6].stage);
    EXPECT_FALSE(events[6].redraw);
}

TEST(TargaLoad, ReplacesThePreviousImage) {
    TTargaGraphic g;
    {
        TargaFile f;
        f.Width = 3;
        f.Height = 3;
        f.Data = Bytes(27, 200);
        TMemoryStream s(f.Bytes());
        g.LoadFromStream(s);
    }
    TMemoryStream s(Grey(2, 1, {0x01, 5}, 11).Bytes());  // RLE cut short: the second pixel is missing
    g.LoadFromStream(s);
    EXPECT_EQ(pf8bit, g.PixelFormat());
    EXPECT_EQ(2, g.Width());
    EXPECT_EQ(Bytes({5, 0}), Row(g, 0, 2));
}

TEST(TargaRLE, PacketsFillTheRowsAndTheStreamStopsAfterTheLastOne) {
    // Rows of 4: a run of 3 and a literal of 1, then a literal of 4.
    TargaFile f = Grey(4, 2, {0x82, 7, 0x00, 8, 0x03, 1, 2, 3, 4}, 11, 0);
    Bytes bytes = f.Bytes();
    const size_t end = bytes.size();
    bytes.insert(bytes.end(), {0xEE, 0xEE, 0xEE});
    TMemoryStream s(bytes);
    TTargaGraphic g;
    g.LoadFromStream(s);
    EXPECT_EQ(Bytes({1, 2, 3, 4}), Row(g, 0, 4));  // bottom-up: the second stored row is the top row
    EXPECT_EQ(Bytes({7, 7, 7, 8}), Row(g, 1, 4));
    EXPECT_EQ(int64_t(end), s.Position());
}

TEST(TargaRLE, PacketsRunningPastARowContinueInTheNextRows) {
    struct Case {
        const char* name;
        uint16_t width, height;
        uint8_t depth;
        Bytes data;
        std::vector<Bytes> rows;
    };
    const Case cases[] = {
        {"run into the next row, then a literal into the third",
         3, 3, 8, {0x83, 10, 0x04, 20, 30, 40, 50, 60}, {{10, 10, 10}, {10, 20, 30}, {40, 50, 60}}},
        {"one run over several whole rows", 2, 3, 8, {0x85, 9}, {{9, 9}, {9, 9}, {9, 9}}},
        {"a literal of 128 pixels over rows of 3", 3, 43, 8, [] {
             Bytes d = {0x7F};
             for (int i = 0; i < 128; ++i) d.push_back(uint8_t(i));
             d.insert(d.end(), {0x00, 200});
             return d;
         }(), {}},
        {"24-bit pixels", 2, 2, 24, {0x82, 1, 2, 3, 0x00, 4, 5, 6}, {{1, 2, 3, 1, 2, 3}, {1, 2, 3, 4, 5, 6}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TargaFile f = Grey(c.width, c.height, c.data, 11);
        if (c.depth != 8) {
            f.ImageType = 10;
            f.PixelDepth = c.depth;
        }
        auto g = Load(f.Bytes());
        const size_t rowBytes = size_t(c.width) * (c.depth / 8);
        if (!c.rows.empty()) {
            for (size_t r = 0; r < c.rows.size(); ++r) EXPECT_EQ(c.rows[r], Row(*g, int(r), rowBytes)) << "row " << r;
        } else {
            for (int r = 0; r < c.height; ++r)
                for (int x = 0; x < c.width; ++x) {
                    const int i = r * c.width + x;
                    ASSERT_EQ(i < 128 ? i : 200, g->ScanLine(r)[x]) << "row " << r << " pixel " << x;
                }
        }
    }
}

TEST(TargaRLE, DataCutShortLeavesTheRestBlack) {
    const std::vector<std::pair<Bytes, Bytes>> cases = {
        {{0x01, 5, 6, 0x82}, {5, 6, 0, 0, 0, 0}},        // a run header without its value
        {{0x03, 5, 6, 7}, {5, 6, 7, 0, 0, 0}},           // a literal cut in the middle
        {{0x85, 4}, {4, 4, 4, 4, 4, 4}},                 // exactly enough
    };
    for (const auto& [data, pixels] : cases) {
        auto g = Load(Grey(3, 2, data, 11).Bytes());
        Bytes got = Row(*g, 0, 3);
        const Bytes second = Row(*g, 1, 3);
        got.insert(got.end(), second.begin(), second.end());
        EXPECT_EQ(pixels, got);
    }
    // Data that cannot cover the image however it is packed is refused before the bitmap is made:
    // 300 x 200 pixels take at least 469 runs of two bytes.
    TTargaGraphic g;
    TMemoryStream s(Grey(300, 200, Bytes(937, 0xFF), 11).Bytes());
    EXPECT_THROW(g.LoadFromStream(s), EReadError);
    EXPECT_EQ(0, g.Width());
    auto enough = Load(Grey(300, 200, Bytes(938, 0xFF), 11).Bytes());
    EXPECT_EQ(0xFF, enough->ScanLine(199)[299]);
}
