#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "Classes.h"
#include "GraphicStrings.h"
#include "PCXGraphic.h"
#include "TestSupport.h"

namespace {

using Bytes = std::vector<uint8_t>;

// The header fields a test file is made from.
struct Spec {
    uint8_t manufacturer = 10;
    uint8_t version = 5;
    uint8_t encoding = 0;
    uint8_t bits = 8;
    uint8_t planes = 1;
    uint16_t xmin = 0, ymin = 0, xmax = 0, ymax = 0;
    uint16_t hres = 150, vres = 75;
    uint16_t bytesPerLine = 0;
    uint16_t paletteInfo = 1;
    std::array<uint8_t, 48> colorMap{};
};

void PutWord(Bytes& b, size_t at, uint16_t v) {
    b[at] = uint8_t(v);
    b[at + 1] = uint8_t(v >> 8);
}

Bytes Header(const Spec& s) {
    Bytes h(128, 0);
    h[0] = s.manufacturer;
    h[1] = s.version;
    h[2] = s.encoding;
    h[3] = s.bits;
    PutWord(h, 4, s.xmin);
    PutWord(h, 6, s.ymin);
    PutWord(h, 8, s.xmax);
    PutWord(h, 10, s.ymax);
    PutWord(h, 12, s.hres);
    PutWord(h, 14, s.vres);
    std::memcpy(&h[16], s.colorMap.data(), 48);
    h[65] = s.planes;
    PutWord(h, 66, s.bytesPerLine);
    PutWord(h, 68, s.paletteInfo);
    return h;
}

// Run-length packets as a plain encoder writes them: runs of up to 63 equal bytes, single bytes
// below 192 as themselves.
Bytes EncodeRLE(const Bytes& raw) {
    Bytes out;
    for (size_t i = 0; i < raw.size();) {
        size_t n = 1;
        while (i + n < raw.size() && n < 63 && raw[i + n] == raw[i]) ++n;
        if (n > 1 || raw[i] >= 192) out.push_back(uint8_t(0xC0 | n));
        out.push_back(raw[i]);
        i += n;
    }
    return out;
}

Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

Bytes TrailingPalette(uint8_t marker = 12) {
    Bytes p{marker};
    for (unsigned i = 0; i < 256; ++i) {
        p.push_back(uint8_t(i));
        p.push_back(uint8_t(255 - i));
        p.push_back(uint8_t(i * 37));
    }
    return p;
}

std::array<uint8_t, 48> TestColorMap() {
    std::array<uint8_t, 48> m{};
    for (unsigned i = 0; i < 16; ++i) {
        m[3 * i] = uint8_t(i * 16);
        m[3 * i + 1] = uint8_t(255 - i * 16);
        m[3 * i + 2] = uint8_t(i * 7 + 1);
    }
    return m;
}

void Load(TPCXGraphic& g, const Bytes& file) {
    TMemoryStream s(file);
    g.LoadFromStream(s);
}

std::string LoadError(const Bytes& file) {
    TPCXGraphic g;
    try {
        Load(g, file);
    } catch (const Exception& e) {
        return e.what();
    }
    return "(no error)";
}

// Packs values of `bits` bits, leftmost in the most significant bits, into `bytes` bytes.
Bytes Pack(const std::vector<unsigned>& values, unsigned bits, size_t bytes) {
    Bytes out(bytes, 0);
    for (size_t i = 0; i < values.size(); ++i) {
        const size_t bit = i * bits;
        out[bit / 8] |= uint8_t(values[i] << (8 - bits - bit % 8));
    }
    return out;
}

const std::string invalidHeader = "Cannot load image. Invalid or unexpected PCX or SCR image format.";
const std::string invalidColor = "Invalid color format in PCX file.";

}  // namespace

// Every supported layout, stored and run-length encoded, against the colours it describes. The
// width is odd and not a multiple of 8, and the lines are padded, so tails and padding count.
TEST(PCXGraphic, EverySupportedLayoutShowsItsPixels) {
    struct Case {
        uint8_t bits, planes;
        TPixelFormat format;
    } cases[] = {{1, 1, pf1bit}, {2, 1, pf4bit}, {4, 1, pf4bit}, {8, 1, pf8bit},
                 {1, 3, pf4bit}, {1, 4, pf4bit}, {8, 3, pf24bit}, {8, 4, pf32bit}};
    const int width = 13, height = 5;
    const auto colorMap = TestColorMap();
    for (const Case& c : cases) {
        for (uint8_t encoding : {0, 1}) {
            SCOPED_TRACE(testing::Message() << int(c.bits) << " bits x " << int(c.planes) << " planes, encoding "
                                            << int(encoding));
            Spec s;
            s.bits = c.bits;
            s.planes = c.planes;
            s.encoding = encoding;
            s.xmin = 3;
            s.ymin = 7;
            s.xmax = 3 + width - 1;
            s.ymax = 7 + height - 1;
            s.bytesPerLine = uint16_t(((width * c.bits + 7) / 8 + 1) & ~1);
            s.colorMap = colorMap;
            const bool direct = c.bits == 8 && c.planes > 1;
            const unsigned indexBits = c.bits * c.planes;
            auto index = [&](int x, int y) { return unsigned(x * 3 + y * 5) % (1u << indexBits); };
            auto sample = [&](int x, int y, int k) { return uint8_t(k == 0 ? x * 20 : k == 1 ? y * 50 : k == 2 ? x * y * 7 : 100 + x + y); };

            Bytes raw;
            for (int y = 0; y < height; ++y) {
                for (unsigned k = 0; k < c.planes; ++k) {
                    Bytes line(s.bytesPerLine, 0xEE);  // padding that must not show
                    if (direct) {
                        for (int x = 0; x < width; ++x) line[size_t(x)] = sample(x, y, int(k));
                    } else {
                        std::vector<unsigned> values;
                        for (int x = 0; x < width; ++x)
                            values.push_back(c.planes == 1 ? index(x, y) : (index(x, y) >> k) & 1);
                        Bytes packed = Pack(values, c.bits, line.size());
                        const size_t used = (size_t(width) * c.bits + 7) / 8;
                        std::copy_n(packed.begin(), used, line.begin());
                    }
                    raw.insert(raw.end(), line.begin(), line.end());
                }
            }
            Bytes file = Concat({Header(s), encoding ? EncodeRLE(raw) : raw});
            if (c.bits == 8 && c.planes == 1) file = Concat({file, TrailingPalette()});

            TPCXGraphic g;
            Load(g, file);
            ASSERT_EQ(width, g.Width());
            ASSERT_EQ(height, g.Height());
            EXPECT_EQ(c.format, g.PixelFormat());
            for (int y = 0; y < height; ++y) {
                for (int x = 0; x < width; ++x) {
                    TColor expected;
                    if (direct) {
                        expected = RGB(sample(x, y, 0), sample(x, y, 1), sample(x, y, 2));
                    } else if (indexBits == 1) {
                        expected = index(x, y) ? clWhite : clBlack;
                    } else if (c.bits == 8) {
                        const unsigned i = index(x, y);
                        expected = RGB(uint8_t(i), uint8_t(255 - i), uint8_t(i * 37));
                    } else {
                        const unsigned i = index(x, y);
                        expected = RGB(colorMap[3 * i], colorMap[3 * i + 1], colorMap[3 * i + 2]);
                    }
                    ASSERT_EQ(expected, g.Canvas().Pixel(x, y)) << "at " << x << ", " << y;
                    if (c.planes == 4 && c.bits == 8) {
                        ASSERT_EQ(sample(x, y, 3), g.ScanLine(y)[4 * x + 3]);
                    }
                }
            }
        }
    }
}

TEST(PCXGraphic, BitPlanesMergeIntoNibbles) {
    Spec s;
    s.bits = 1;
    s.planes = 4;
    s.xmax = 7;
    s.bytesPerLine = 2;
    // Plane 0 all set, planes 1 to 3 clear: every pixel has the value 1.
    const Bytes file = Concat({Header(s), Bytes{0xFF, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}});
    TPCXGraphic g;
    Load(g, file);
    ASSERT_EQ(pf4bit, g.PixelFormat());
    EXPECT_EQ((Bytes{0x11, 0x11, 0x11, 0x11}), Bytes(g.ScanLine(0), g.ScanLine(0) + 4));
}

TEST(PCXGraphic, PaletteChoices) {
    const auto colorMap = TestColorMap();
    auto palette = [](const TPCXGraphic& g) {
        std::vector<TColor> out;
        for (int i = 0; g.Palette() && i < g.Palette()->Count(); ++i) {
            const TPaletteEntry& e = g.Palette()->Entry(i);
            out.push_back(RGB(e.peRed, e.peGreen, e.peBlue));
        }
        return out;
    };
    auto file = [&](uint8_t bits, uint8_t version, uint16_t paletteInfo, bool trailing) {
        Spec s;
        s.bits = bits;
        s.version = version;
        s.paletteInfo = paletteInfo;
        s.xmax = 7;
        s.bytesPerLine = bits;  // 8 pixels
        s.colorMap = colorMap;
        Bytes f = Concat({Header(s), Bytes(bits, 0)});
        if (trailing) f = Concat({f, TrailingPalette()});
        return f;
    };
    const std::vector<TColor> fixed16 = {
        RGB(0, 0, 0),       RGB(128, 0, 0),   RGB(0, 128, 0), RGB(128, 128, 0), RGB(0, 0, 128),   RGB(128, 0, 128),
        RGB(0, 128, 128),   RGB(128, 128, 128), RGB(192, 192, 192), RGB(255, 0, 0), RGB(0, 255, 0), RGB(255, 255, 0),
        RGB(0, 0, 255),     RGB(255, 0, 255), RGB(0, 255, 255), RGB(255, 255, 255)};
    std::vector<TColor> header16, grey16, grey256, trailing256;
    for (unsigned i = 0; i < 16; ++i) {
        header16.push_back(RGB(colorMap[3 * i], colorMap[3 * i + 1], colorMap[3 * i + 2]));
        grey16.push_back(RGB(uint8_t(i * 17), uint8_t(i * 17), uint8_t(i * 17)));
    }
    for (unsigned i = 0; i < 256; ++i) {
        grey256.push_back(RGB(uint8_t(i), uint8_t(i), uint8_t(i)));
        trailing256.push_back(RGB(uint8_t(i), uint8_t(255 - i), uint8_t(i * 37)));
    }
    struct Case {
        const char* what;
        Bytes file;
        std::vector<TColor> expected;
    } cases[] = {
        {"4-bit, version 3: the fixed colours, not the header's", file(4, 3, 1, false), fixed16},
        {"4-bit, version 5: the header's colours", file(4, 5, 1, false), header16},
        {"4-bit, grey", file(4, 5, 2, false), grey16},
        {"1-bit, version 3: black and white", file(1, 3, 1, false), {clBlack, clWhite}},
        {"8-bit, grey without the marker", file(8, 5, 2, false), grey256},
        {"8-bit, grey with the marker: the trailing palette", file(8, 5, 2, true), trailing256},
        {"8-bit, version 3: the fixed colours", file(8, 3, 1, true), fixed16},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TPCXGraphic g;
        Load(g, c.file);
        EXPECT_EQ(c.expected, palette(g));
    }
}

// The last 769 bytes of an 8-bit file are never image data, with or without the palette; a marker
// that would lie inside the header is not looked for.
TEST(PCXGraphic, EightBitDataEndsBeforeThePaletteBytes) {
    Spec s;
    s.xmax = 0;
    s.ymax = 1;
    s.bytesPerLine = 1;
    s.paletteInfo = 2;
    TPCXGraphic g;
    // Two rows of one pixel, then 769 bytes that are not a palette: only the rows count.
    Bytes tail(769, 0x33);
    Load(g, Concat({Header(s), Bytes{200, 100}, tail}));
    EXPECT_EQ(RGB(200, 200, 200), g.Canvas().Pixel(0, 0));
    EXPECT_EQ(RGB(100, 100, 100), g.Canvas().Pixel(0, 1));
    // Without the tail those two bytes are taken as the palette's place: the rows stay black.
    Load(g, Concat({Header(s), Bytes{200, 100}}));
    EXPECT_EQ(2, g.Height());
    EXPECT_EQ(clBlack, g.Canvas().Pixel(0, 0));
    EXPECT_EQ(clBlack, g.Canvas().Pixel(0, 1));
}

// Data that ends early fills the rows it reaches; the others stay black. Runs that go past the
// image's end are cut. Nothing is read or written outside the buffers (the sanitizer build checks).
TEST(PCXGraphic, ShortOrOverlongDataFillsOnlyWhatItReaches) {
    Spec s;
    s.bits = 8;
    s.planes = 3;
    s.xmax = 3;
    s.ymax = 3;
    s.bytesPerLine = 4;  // 12 bytes a row, 48 in all
    struct Case {
        const char* what;
        uint8_t encoding;
        Bytes data;
        int rowsFilled;
    } cases[] = {
        {"stored, a row and a part of the next", 0, Bytes(14, 0x80), 1},
        {"stored, nothing", 0, Bytes{}, 0},
        {"packed, runs for two rows", 1, Bytes{0xC0 | 24, 0x80}, 2},
        {"packed, a run header without its value", 1, Bytes{0xC0 | 12, 0x80, 0xC5}, 1},
        {"packed, runs far past the image", 1, Bytes{0xFF, 0x80, 0xFF, 0x80, 0xFF, 0x80, 0xFF, 0x80}, 4},
        {"packed, empty runs only", 1, Bytes{0xC0, 0x80, 0xC0, 0x80}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        s.encoding = c.encoding;
        TPCXGraphic g;
        Load(g, Concat({Header(s), c.data}));
        ASSERT_EQ(4, g.Height());
        for (int y = 0; y < 4; ++y) {
            EXPECT_EQ(y < c.rowsFilled ? RGB(0x80, 0x80, 0x80) : clBlack, g.Canvas().Pixel(3, y)) << "row " << y;
        }
    }
    // Half a row: the pixels it holds show, the rest of the row stays black.
    s.encoding = 0;
    TPCXGraphic g;
    Load(g, Concat({Header(s), Bytes(12 + 4 + 4 + 2, 0x80)}));
    EXPECT_EQ(RGB(0x80, 0x80, 0x80), g.Canvas().Pixel(1, 1));
    EXPECT_EQ(RGB(0x80, 0x80, 0), g.Canvas().Pixel(3, 1));
}

// Stored data larger than one read block, cut short inside a row of a later block: every row up
// to the cut lines up with its data, the cut row is partly filled, the rest stays black.
TEST(PCXGraphic, StoredDataReadInBlocks) {
    Spec s;
    s.planes = 3;
    s.xmax = 999;
    s.ymax = 799;
    s.bytesPerLine = 1000;  // 3000 bytes a row, 2.4 MB in all
    auto value = [](int y, int k) { return uint8_t(y * 3 + k); };
    Bytes data;
    for (int y = 0; y < 800; ++y)
        for (int k = 0; k < 3; ++k) data.insert(data.end(), 1000, value(y, k));
    data.resize(500 * 3000 + 1500);  // row 500: red and half of green
    TPCXGraphic g;
    Load(g, Concat({Header(s), data}));
    for (int y : {0, 1, 348, 349, 350, 499}) {
        EXPECT_EQ(RGB(value(y, 0), value(y, 1), value(y, 2)), g.Canvas().Pixel(999, y)) << "row " << y;
    }
    EXPECT_EQ(RGB(value(500, 0), value(500, 1), 0), g.Canvas().Pixel(499, 500));
    EXPECT_EQ(RGB(value(500, 0), 0, 0), g.Canvas().Pixel(500, 500));
    EXPECT_EQ(clBlack, g.Canvas().Pixel(0, 501));
    EXPECT_EQ(clBlack, g.Canvas().Pixel(999, 799));
}

// Runs may cross row ends: the data is decoded as one block. An encoding other than 1 is stored data.
TEST(PCXGraphic, EncodingByte) {
    Spec s;
    s.xmax = 2;
    s.ymax = 1;
    s.bytesPerLine = 3;
    s.paletteInfo = 2;
    s.encoding = 1;
    TPCXGraphic g;
    Load(g, Concat({Header(s), Bytes{5, 0xC5, 9}, Bytes(769, 0)}));
    EXPECT_EQ(ckRLE, g.ImageProperties.CompressionKind);
    EXPECT_EQ(RGB(5, 5, 5), g.Canvas().Pixel(0, 0));
    EXPECT_EQ(RGB(9, 9, 9), g.Canvas().Pixel(2, 1));
    s.encoding = 2;
    Load(g, Concat({Header(s), Bytes{5, 0xC5, 9, 1, 2, 3}, Bytes(769, 0)}));
    EXPECT_EQ(ckNone, g.ImageProperties.CompressionKind);
    EXPECT_EQ(RGB(0xC5, 0xC5, 0xC5), g.Canvas().Pixel(1, 0));
    EXPECT_EQ(RGB(3, 3, 3), g.Canvas().Pixel(2, 1));
}

TEST(PCXGraphic, RefusedFiles) {
    auto spec = [](auto change) {
        Spec s;
        s.xmax = 7;
        s.ymax = 1;
        s.bytesPerLine = 8;
        change(s);
        return Concat({Header(s), Bytes(64, 0)});
    };
    struct Case {
        const char* what;
        Bytes file;
        std::string message;
    } cases[] = {
        {"manufacturer 12", spec([](Spec& s) { s.manufacturer = 12; }), invalidHeader},
        {"manufacturer 0", spec([](Spec& s) { s.manufacturer = 0; }), invalidHeader},
        {"x maximum below minimum", spec([](Spec& s) { s.xmin = 8; }), invalidHeader},
        {"y maximum below minimum", spec([](Spec& s) { s.ymin = 2; }), invalidHeader},
        {"lines shorter than the row", spec([](Spec& s) { s.bytesPerLine = 7; }), invalidHeader},
        {"1 bit x 2 planes", spec([](Spec& s) { s.bits = 1, s.planes = 2; }), invalidColor},
        {"2 bits x 4 planes", spec([](Spec& s) { s.bits = 2, s.planes = 4; }), invalidColor},
        {"4 bits x 4 planes", spec([](Spec& s) { s.bits = 4, s.planes = 4; }), invalidColor},
        {"4 bits x 3 planes", spec([](Spec& s) { s.bits = 4, s.planes = 3; }), invalidColor},
        {"8 bits x 2 planes", spec([](Spec& s) { s.bits = 8, s.planes = 2; }), invalidColor},
        {"3 bits", spec([](Spec& s) { s.bits = 3; }), invalidColor},
        {"5 bits", spec([](Spec& s) { s.bits = 5; }), invalidColor},
        // Words would not fit the bitmap's byte-sized samples.
        {"16 bits", spec([](Spec& s) { s.bits = 16, s.bytesPerLine = 16; }), invalidColor},
        {"16 bits x 3 planes", spec([](Spec& s) { s.bits = 16, s.planes = 3, s.bytesPerLine = 16; }), invalidColor},
        {"0 bits", spec([](Spec& s) { s.bits = 0; }),
         "Color depth is invalid. Bits per sample must be 1, 2, 4, 8 or 16."},
        {"0 planes", spec([](Spec& s) { s.planes = 0; }),
         "Sample count per pixel does not correspond to the given color scheme."},
        {"header cut short", Bytes(100, 10), "Stream read error"},
        {"empty stream", Bytes{}, "Stream read error"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(c.message, LoadError(c.file));
    }
    // The colour format is refused before the bitmap gets its size.
    TPCXGraphic g;
    EXPECT_THROW(Load(g, spec([](Spec& s) { s.bits = 1, s.planes = 2; })), EInvalidGraphic);
    EXPECT_EQ(0, g.Width());
    // An image larger than the pixel memory limit is refused before anything is allocated.
    EXPECT_THROW(Load(g, spec([](Spec& s) { s.xmax = 65534, s.ymax = 65534, s.bytesPerLine = 65535; })),
                 EOutOfResources);
}

TEST(PCXGraphic, SignatureTest) {
    auto file = [](uint8_t manufacturer, uint8_t version, uint8_t encoding, size_t size) {
        Bytes f(size, 0);
        f[0] = manufacturer, f[1] = version, f[2] = encoding;
        return f;
    };
    struct Case {
        Bytes file;
        bool accepted;
    } cases[] = {
        {file(10, 5, 1, 129), true},  {file(12, 0, 0, 129), true},  {file(10, 2, 1, 129), true},
        {file(10, 3, 0, 129), true},  {file(205, 5, 1, 129), false}, {file(10, 4, 1, 129), false},
        {file(10, 5, 2, 129), false}, {file(10, 5, 1, 128), false},  {file(10, 5, 1, 10), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << int(c.file[0]) << " " << int(c.file[1]) << " " << int(c.file[2]) << ", "
                                        << c.file.size() << " bytes");
        TMemoryStream s(Concat({Bytes{1, 2, 3}, c.file}));
        s.SetPosition(3);
        EXPECT_EQ(c.accepted, TPCXGraphic::AcceptsStream(s));
        EXPECT_EQ(3, s.Position());
    }
}

TEST(PCXGraphic, ReadImageInfoFillsTheProperties) {
    Spec s;
    s.manufacturer = 205;  // screen captures load like Paintbrush files
    s.bits = 8;
    s.planes = 3;
    s.encoding = 1;
    s.xmin = 10, s.xmax = 109, s.ymin = 5, s.ymax = 54;
    s.bytesPerLine = 100;
    TPCXGraphic g;
    g.ImageProperties.GammaValue = 3;
    TMemoryStream stream(Concat({Header(s), Bytes(10, 0)}));
    ASSERT_TRUE(g.ReadImageInfo(stream, 7));
    const TImageProperties& p = g.ImageProperties;
    EXPECT_EQ(100, p.ImageWidth);
    EXPECT_EQ(50, p.ImageHeight);
    EXPECT_EQ(8, p.SampleBits);
    EXPECT_EQ(3, p.SampleCount);
    EXPECT_EQ(24, p.PixelBits);
    EXPECT_EQ(cmRGB, p.ColorModel);
    EXPECT_EQ(ckRLE, p.CompressionKind);
    EXPECT_EQ(150.0f, p.ResolutionX);
    EXPECT_EQ(75.0f, p.ResolutionY);
    EXPECT_EQ(1.0f, p.GammaValue);
    EXPECT_EQ(128, stream.Position());

    s.manufacturer = 11;
    TMemoryStream other(Header(s));
    EXPECT_FALSE(g.ReadImageInfo(other, 0));
    EXPECT_EQ(0, g.ImageProperties.ImageWidth);
}

// The image may start inside a stream; its trailing palette is at the stream's end.
TEST(PCXGraphic, ImageInsideAStream) {
    Spec s;
    s.xmax = 1;
    s.bytesPerLine = 2;
    const Bytes file = Concat({Bytes(5, 0xAA), Header(s), Bytes{3, 4}, TrailingPalette()});
    TMemoryStream stream(file);
    stream.SetPosition(5);
    TPCXGraphic g;
    g.LoadFromStream(stream);
    EXPECT_EQ(5u, g.ImageStart);
    EXPECT_EQ(RGB(3, 252, 111), g.Canvas().Pixel(0, 0));
    EXPECT_EQ(RGB(4, 251, 148), g.Canvas().Pixel(1, 0));
}

TEST(PCXGraphic, ProgressEvents) {
    Spec s;
    s.xmax = 3;
    s.ymax = 2;
    s.bytesPerLine = 4;
    TPCXGraphic g;
    std::vector<std::string> events;
    g.OnProgress = [&](TGraphic* sender, TProgressStage stage, uint8_t percent, bool redraw, const TRect& r,
                       const std::string& text) {
        EXPECT_EQ(&g, sender);
        events.push_back(std::to_string(int(stage)) + " " + std::to_string(percent) + " " + (redraw ? "r " : "- ") +
                         std::to_string(r.Top) + "-" + std::to_string(r.Bottom) + "/" + std::to_string(r.Right) +
                         " " + text);
    };
    Load(g, Concat({Header(s), Bytes(12, 1), Bytes(769, 0)}));
    const std::vector<std::string> expected = {
        "0 0 - 0-1/4 Preparing...", "2 0 - 0-1/4 ",  "0 0 - 0-1/4 Transfering...", "1 0 r 0-1/4 ",
        "1 33 r 1-2/4 ",            "1 67 r 2-3/4 ", "2 0 - 3-4/4 ",
    };
    EXPECT_EQ(expected, events);
}

// A second load replaces the first, also when the colour manager has to change its conversion.
TEST(PCXGraphic, LoadingAgainReplacesTheImage) {
    Spec rgb;
    rgb.planes = 3;
    rgb.xmax = 1;
    rgb.bytesPerLine = 2;
    Spec grey;
    grey.xmax = 2;
    grey.ymax = 1;
    grey.bytesPerLine = 3;
    grey.paletteInfo = 2;
    TPCXGraphic g;
    Load(g, Concat({Header(rgb), Bytes{1, 2, 3, 4, 5, 6}}));
    EXPECT_EQ(RGB(2, 4, 6), g.Canvas().Pixel(1, 0));
    Load(g, Concat({Header(grey), Bytes{7, 8, 9, 10, 11, 12}, Bytes(769, 0)}));
    EXPECT_EQ(pf8bit, g.PixelFormat());
    EXPECT_EQ(3, g.Width());
    EXPECT_EQ(RGB(12, 12, 12), g.Canvas().Pixel(2, 1));
}

TEST(PCXGraphic, RegisteredForItsExtensions) {
    VaderezUvStartup();
    for (const char* ext : {"pcx", "PCC", "scr"}) EXPECT_EQ(&TPCXGraphic::Class, TPicture::FindGraphicClass(ext)) << ext;
    const std::string filter = GraphicFilter(&TGraphic::Class);
    EXPECT_NE(std::string::npos, filter.find("ZSoft Paintbrush images (*.pcx)|*.pcx"));
    EXPECT_NE(std::string::npos, filter.find("ZSoft Paintbrush images (*.pcc)|*.pcc"));
    EXPECT_NE(std::string::npos, filter.find("Word 5.x screen capture images (*.scr)|*.scr"));

    Spec s;
    s.manufacturer = 205;
    s.bits = 1;
    s.xmax = 9;
    s.ymax = 2;
    s.bytesPerLine = 2;
    TempDir dir;
    const Bytes file = Concat({Header(s), Bytes(6, 0xFF)});
    WriteBytes(dir.File("capture.scr"), std::string(file.begin(), file.end()));
    TPicture picture;
    picture.LoadFromFile(dir.File("capture.scr"));
    ASSERT_NE(nullptr, picture.Graphic());
    EXPECT_TRUE(picture.Graphic()->InheritsFrom(&TPCXGraphic::Class));
    EXPECT_EQ(10, picture.Width());
    EXPECT_EQ(3, picture.Height());
}
