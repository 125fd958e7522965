// The colour manager's configuration: setters, selection, errors, pixel formats, gamma, YCbCr
// parameters and palettes.
#include <gtest/gtest.h>

#include <string>

#include "ColorTestSupport.h"
#include "GraphicStrings.h"

using namespace GraphicStrings;

namespace {

// Runs `fn` and returns the message of the EColorConversionError it raises ("" when none).
template <typename Fn>
std::string ErrorOf(Fn&& fn) {
    try {
        fn();
    } catch (const EColorConversionError& e) {
        return e.Message();
    }
    return "";
}

TEST(ColorManager, NewManagerConvertsRGBToBGR) {
    TColorManager m;
    EXPECT_TRUE(m.Dirty());
    const Bytes src{10, 20, 30, 40, 50, 60};
    EXPECT_EQ(Convert(m, {src.data()}, 6, 2), (Bytes{30, 20, 10, 60, 50, 40}));
    EXPECT_FALSE(m.Dirty());
}

TEST(ColorManager, SettersValidateAndKeepOldValue) {
    struct Setter {
        void (TColorManager::*set)(uint8_t);
        uint8_t (TColorManager::*get)() const;
        uint8_t maxValid;
        const char* message;
    };
    const Setter setters[] = {
        {&TColorManager::SetSourceSampleBits, &TColorManager::SourceSampleBits, 16, gesInvalidColorFormat},
        {&TColorManager::SetTargetSampleBits, &TColorManager::TargetSampleBits, 16, gesInvalidColorFormat},
        {&TColorManager::SetSourceSampleCount, &TColorManager::SourceSampleCount, 4, gesInvalidSampleCount},
        {&TColorManager::SetTargetSampleCount, &TColorManager::TargetSampleCount, 4, gesInvalidSampleCount},
    };
    for (const auto& s : setters) {
        TColorManager m;
        (m.*s.set)(3);  // accepted although no converter handles 3 bits
        EXPECT_EQ((m.*s.get)(), 3);
        (m.*s.set)(s.maxValid);
        EXPECT_EQ((m.*s.get)(), s.maxValid);
        for (uint8_t bad : {uint8_t(0), uint8_t(s.maxValid + 1), uint8_t(255)}) {
            EXPECT_EQ(ErrorOf([&] { (m.*s.set)(bad); }), s.message) << int(bad);
            EXPECT_EQ((m.*s.get)(), s.maxValid);
        }
    }
}

TEST(ColorManager, OnlyChangingSettingsMarkDirty) {
    TColorManager m;
    const Bytes src(3, 0);
    Convert(m, {src.data()}, 3, 1);
    ASSERT_FALSE(m.Dirty());

    // Writing the current values, the flags, gamma and YCbCr parameters keeps the selection.
    m.SetSourceSampleBits(8);
    m.SetTargetSampleBits(8);
    m.SetSourceSampleCount(3);
    m.SetTargetSampleCount(3);
    m.SetSourceModel(cmRGB);
    m.SetTargetModel(cmBGR);
    m.SourceFlags.Include(cvNeedByteSwap);
    m.TargetFlags.Include(cvApplyGamma);
    m.DefineGamma(1.5f, 2.2f);
    m.DefineYCbCr({0.3f}, 2, 1);
    EXPECT_FALSE(m.Dirty());

    const std::function<void(TColorManager&)> changes[] = {
        [](TColorManager& c) { c.SetSourceSampleBits(16); }, [](TColorManager& c) { c.SetTargetSampleBits(16); },
        [](TColorManager& c) { c.SetSourceSampleCount(4); }, [](TColorManager& c) { c.SetTargetSampleCount(4); },
        [](TColorManager& c) { c.SetSourceModel(cmBGR); },   [](TColorManager& c) { c.SetTargetModel(cmRGB); },
    };
    for (const auto& change : changes) {
        TColorManager c;
        Convert(c, {src.data()}, 3, 1);
        change(c);
        EXPECT_TRUE(c.Dirty());
    }
}

TEST(ColorManager, SelectionErrorsAndTheStateTheyLeave) {
    struct Case {
        TColorModel source, target;
        uint8_t sourceBits, targetBits;
        const char* message;
        bool dirtyAfter;
    };
    const Case cases[] = {
        {cmGray, cmBGR, 8, 8, gesIndexedNotSupported, true},
        {cmIndexed, cmRGB, 8, 8, gesIndexedNotSupported, true},
        {cmRGB, cmGray, 8, 8, gesIndexedNotSupported, true},
        {cmGrayAlpha, cmGrayAlpha, 8, 8, gesIndexedNotSupported, true},
        {cmCMY, cmBGR, 8, 8, gesConversionUnsupported, false},
        {cmCMY, cmRGBA, 8, 8, gesConversionUnsupported, false},
        {cmRGB, cmGrayAlpha, 8, 8, gesConversionUnsupported, false},
        {cmRGB, cmCMYK, 8, 8, gesConversionUnsupported, false},
        {cmUnknown, cmBGR, 8, 8, gesConversionUnsupported, false},
        {TColorModel(200), cmBGR, 8, 8, gesConversionUnsupported, false},
        {cmGray, cmGray, 4, 16, gesConversionUnsupported, false},
        {cmGray, cmIndexed, 16, 2, gesConversionUnsupported, false},
        {cmGrayAlpha, cmGray, 4, 8, gesConversionUnsupported, false},
    };
    for (const auto& c : cases) {
        TColorManager m;
        Configure(m, c.source, c.target, c.sourceBits, c.targetBits);
        const Bytes src(16, 0x55);
        Bytes target(16, 0xEE);
        for (int attempt = 0; attempt < 2; ++attempt) {  // the second call raises again
            EXPECT_EQ(ErrorOf([&] { m.TranslateRow({src.data()}, target.data(), 2, 255); }), c.message)
                << int(c.source) << " -> " << int(c.target);
            EXPECT_EQ(m.Dirty(), c.dirtyAfter);
        }
        EXPECT_EQ(target, Bytes(16, 0xEE));
    }
}

TEST(ColorManager, SelectionSetsAlphaFlagsFromTheModels) {
    TColorManager m;
    m.SourceFlags = {cvAlpha, cvNeedByteSwap};
    m.TargetFlags = {cvApplyGamma};
    const Bytes src(4, 0);
    Convert(m, {src.data()}, 4, 1);  // cmRGB -> cmBGR
    EXPECT_EQ(m.SourceFlags, TConversionOptions{cvNeedByteSwap});
    EXPECT_EQ(m.TargetFlags, TConversionOptions{cvApplyGamma});

    Configure(m, cmBGRA, cmRGBA);
    Convert(m, {src.data()}, 4, 1);
    EXPECT_TRUE(m.SourceFlags.Contains(cvAlpha));
    EXPECT_TRUE(m.TargetFlags.Contains(cvAlpha));
}

TEST(ColorManager, PlanarRowsWithTooFewPointersAreRefused) {
    struct Case {
        TColorModel source, target;
        size_t given, needed;
    };
    const Case cases[] = {
        {cmRGB, cmBGR, 2, 3},  {cmRGBA, cmBGRA, 3, 4}, {cmRGBA, cmBGR, 3, 4}, {cmCMYK, cmBGR, 2, 4},
        {cmCMYK, cmRGB, 3, 4}, {cmCIELab, cmBGR, 2, 3}, {cmYCbCr, cmBGR, 2, 3}, {cmRGB, cmBGR, 0, 1},
        {cmGray, cmGray, 0, 1},
    };
    const Bytes plane(8, 1);
    const void* pointers[4] = {plane.data(), plane.data(), plane.data(), plane.data()};
    for (const auto& c : cases) {
        TColorManager m;
        Configure(m, c.source, c.target);
        Bytes target(16, 0xEE);
        EXPECT_EQ(ErrorOf([&] { m.TranslateRow(TSourceList(pointers, c.given), target.data(), 2, 255); }),
                  Format(gesTooFewPlanes, {int(c.needed), int(c.given)}));
        EXPECT_EQ(target, Bytes(16, 0xEE));
    }
    // Enough planes, and more than enough, are fine.
    TColorManager m;
    Configure(m, cmRGB, cmBGR);
    Bytes target(6, 0);
    EXPECT_NO_THROW(m.TranslateRow(TSourceList(pointers, 4), target.data(), 2, 255));
}

TEST(ColorManager, QueryPixelFormat) {
    struct Case {
        uint8_t count, bits;
        TPixelFormat format;
    };
    const Case cases[] = {
        {1, 1, pf1bit},  {1, 2, pf4bit},    {1, 4, pf4bit},   {1, 5, pfCustom}, {1, 7, pfCustom},
        {1, 8, pf8bit},  {1, 16, pf8bit},   {3, 1, pf15bit},  {3, 5, pf15bit},  {3, 8, pf24bit},
        {3, 16, pf24bit}, {4, 4, pfCustom}, {4, 8, pf32bit},  {4, 16, pf32bit}, {2, 8, pfCustom},
    };
    for (const auto& c : cases) {
        TColorManager m;
        m.SetTargetSampleCount(c.count);
        m.SetTargetSampleBits(c.bits);
        EXPECT_EQ(m.QueryPixelFormat(true), c.format) << int(c.count) << " x " << int(c.bits);
        EXPECT_EQ(m.QueryPixelFormat(false), pf24bit);  // the source side keeps 3 x 8
    }
}

TEST(ColorManager, GammaTable) {
    TColorManager m;
    EXPECT_EQ(m.ImageGamma(), 1.0f);
    EXPECT_EQ(m.ScreenGamma(), 2.2f);
    const auto initial = m.GammaLookup();
    EXPECT_EQ(initial[0], 0);
    EXPECT_EQ(initial[128], 186);  // (128 / 255) ^ (1 / 2.2) x 255
    EXPECT_EQ(initial[255], 255);

    m.DefineGamma(0, -1);  // out-of-range values fall back to 1.0 and 2.2
    EXPECT_EQ(m.ImageGamma(), 1.0f);
    EXPECT_EQ(m.ScreenGamma(), 2.2f);
    EXPECT_EQ(m.GammaLookup(), initial);

    m.DefineGamma(1.0f, 1.0f);
    for (int i = 0; i < 256; ++i) ASSERT_EQ(m.GammaLookup()[size_t(i)], i);

    // The depths are read when the table is built, not later.
    m.SetTargetSampleBits(4);
    EXPECT_EQ(m.GammaLookup()[255], 255);

    // A source below 8 bits still gets the whole 0..255 input range; a 4-bit target gets 0..15.
    m.SetSourceSampleBits(2);
    m.SetTargetSampleBits(4);
    m.DefineGamma(1.0f, 1.0f);
    EXPECT_EQ(m.GammaLookup()[0], 0);
    EXPECT_EQ(m.GammaLookup()[17], 1);
    EXPECT_EQ(m.GammaLookup()[255], 15);

    // Extreme gammas stay inside the table's range.
    for (float g : {1e-30f, 1e30f, std::numeric_limits<float>::infinity(), std::numeric_limits<float>::quiet_NaN()}) {
        TColorManager e;
        e.DefineGamma(g, g);
        for (uint8_t v : e.GammaLookup()) ASSERT_LE(v, 255);
    }
}

TEST(ColorManager, DefineYCbCr) {
    TColorManager m;
    m.DefineYCbCr({0.25f}, 4, 2);
    EXPECT_EQ(m.LumaWeights(), (std::array<float, 3>{0.25f, 0.587f, 0.114f}));
    EXPECT_EQ(m.SubsamplingH(), 4);
    EXPECT_EQ(m.SubsamplingV(), 2);

    struct Case {
        uint8_t h, v;
        const char* message;
    };
    const Case bad[] = {{2, 4, gesVerticalSubSamplingError}, {3, 1, gesInvalidSubSampling},
                        {1, 3, gesInvalidSubSampling},       {0, 0, gesInvalidSubSampling},
                        {8, 1, gesInvalidSubSampling}};
    for (const auto& c : bad) {
        EXPECT_EQ(ErrorOf([&] { m.DefineYCbCr({0.1f, 0.2f, 0.3f, 0.9f}, c.h, c.v); }), c.message);
        // The weights are stored anyway, the factors are not.
        EXPECT_EQ(m.LumaWeights(), (std::array<float, 3>{0.1f, 0.2f, 0.3f}));
        EXPECT_EQ(m.SubsamplingH(), 4);
        EXPECT_EQ(m.SubsamplingV(), 2);
        m.DefineYCbCr({0.25f, 0.587f, 0.114f}, 4, 2);
    }
    m.DefineYCbCr(std::span<const float>(), 1, 1);
    EXPECT_EQ(m.LumaWeights()[0], 0.25f);
}

// ---------------------------------------------------------------------------
// Palettes

std::vector<TPaletteEntry> EntriesOf(const HPALETTE& palette) {
    return std::vector<TPaletteEntry>(palette->Entries(), palette->Entries() + palette->Count());
}

TPaletteEntry Rgb(uint8_t r, uint8_t g, uint8_t b) { return TPaletteEntry{r, g, b, 0}; }

TEST(ColorPalette, GrayRamps) {
    struct Case {
        uint8_t bits, count;
        int entries, step;
    };
    const Case cases[] = {{8, 1, 256, 1}, {1, 1, 2, 255}, {2, 1, 4, 85}, {4, 1, 16, 17}, {3, 1, 8, 36},
                          {4, 2, 256, 1}, {16, 1, 256, 1}};
    for (const auto& c : cases) {
        TColorManager m;
        m.SetTargetSampleBits(c.bits);
        m.SetTargetSampleCount(c.count);
        for (bool whiteAtZero : {false, true}) {
            const auto entries = EntriesOf(m.BuildGrayPalette(whiteAtZero));
            ASSERT_EQ(int(entries.size()), c.entries) << int(c.bits);
            for (int i = 0; i < c.entries; ++i) {
                const auto level = uint8_t(i * c.step);
                EXPECT_EQ(entries[size_t(whiteAtZero ? c.entries - 1 - i : i)], Rgb(level, level, level));
            }
        }
    }
    TColorManager g;
    g.TargetFlags.Include(cvApplyGamma);
    g.SetTargetSampleBits(1);
    g.SetTargetSampleCount(1);
    const auto entries = EntriesOf(g.BuildGrayPalette(false));
    EXPECT_EQ(entries[1], Rgb(g.GammaLookup()[255], g.GammaLookup()[255], g.GammaLookup()[255]));
}

TEST(ColorPalette, Layouts) {
    const Bytes bytes3{1, 2, 3, 4, 5, 6};
    const Bytes bytes4{1, 2, 3, 99, 4, 5, 6, 99};
    const Bytes red{1, 4}, green{2, 5}, blue{3, 6};
    const Bytes words3 = Words({257, 514, 771, 1028, 1285, 1542});
    const Bytes words4 = Words({257, 514, 771, 0xFFFF, 1028, 1285, 1542, 0xFFFF});
    const Bytes wordRed = Words({257, 1028}), wordGreen = Words({514, 1285}), wordBlue = Words({771, 1542});
    const std::vector<TPaletteEntry> rgb{Rgb(1, 2, 3), Rgb(4, 5, 6)}, bgr{Rgb(3, 2, 1), Rgb(6, 5, 4)};
    struct Case {
        std::vector<const void*> data;
        TPaletteLayout layout;
        bool blueFirst;
        std::vector<TPaletteEntry> expected;
    };
    const Case cases[] = {
        {{bytes3.data()}, plBytes3, false, rgb},
        {{bytes3.data()}, plBytes3, true, bgr},
        {{bytes4.data()}, plBytes4, false, rgb},
        {{bytes4.data()}, plBytes4, true, bgr},
        {{red.data(), green.data(), blue.data()}, plBytePlanes3, false, rgb},
        {{red.data(), green.data(), blue.data()}, plBytePlanes4, true, rgb},  // planes ignore BlueFirst
        {{words3.data()}, plWords3, false, rgb},
        {{words3.data()}, plWords3, true, bgr},
        {{words4.data()}, plWords4, false, rgb},
        {{wordRed.data(), wordGreen.data(), wordBlue.data()}, plWordPlanes3, false, rgb},
        {{wordRed.data(), wordGreen.data(), wordBlue.data()}, plWordPlanes4, true, rgb},
        {{bytes3.data()}, TPaletteLayout(8), false, {Rgb(0, 0, 0), Rgb(0, 0, 0)}},
    };
    for (const auto& c : cases) {
        TColorManager m;
        EXPECT_EQ(EntriesOf(m.BuildColorPalette(TSourceList(c.data), c.layout, 2, c.blueFirst)), c.expected)
            << int(c.layout);
    }
}

TEST(ColorPalette, GammaSwapAndTooFewPlanes) {
    TColorManager m;
    m.TargetFlags.Include(cvApplyGamma);
    const Bytes bytes{128, 0, 255};
    EXPECT_EQ(EntriesOf(m.BuildColorPalette({bytes.data()}, plBytes3, 1, false)), (std::vector{Rgb(186, 0, 255)}));

    m.TargetFlags = {};
    m.SourceFlags = {cvNeedByteSwap};
    const Bytes big = BigEndianWords({0x1234, 0xFFFF, 0x0101});
    EXPECT_EQ(EntriesOf(m.BuildColorPalette({big.data()}, plWords3, 1, false)), (std::vector{Rgb(18, 255, 1)}));

    EXPECT_EQ(ErrorOf([&] { m.BuildColorPalette({bytes.data()}, plBytePlanes3, 1, false); }),
              Format(gesTooFewPlanes, {3, 1}));
    EXPECT_EQ(ErrorOf([&] { m.BuildColorPalette(TSourceList(), plBytes3, 1, false); }),
              Format(gesTooFewPlanes, {1, 0}));
    EXPECT_EQ(m.BuildColorPalette(TSourceList(), plBytes3, 0, false)->Count(), 0);
}

TEST(ColorPalette, CountIsLimitedTo256) {
    TColorManager m;
    Bytes data(300 * 3);
    for (size_t i = 0; i < data.size(); ++i) data[i] = uint8_t(i / 3);
    const auto entries = EntriesOf(m.BuildColorPalette({data.data()}, plBytes3, 300, false));
    ASSERT_EQ(entries.size(), 256u);
    EXPECT_EQ(entries[255], Rgb(255, 255, 255));
}

TEST(ColorPalette, IndexStretching) {
    Bytes colours(256 * 3);
    for (size_t i = 0; i < 256; ++i) colours[3 * i] = colours[3 * i + 1] = colours[3 * i + 2] = uint8_t(i + 1);

    // 16 colours for an 8-bit target: runs of 17, the last colour only at 255.
    TColorManager widen;
    widen.SetSourceSampleBits(4);
    auto entries = EntriesOf(widen.BuildColorPalette({colours.data()}, plBytes3, 16, false));
    ASSERT_EQ(entries.size(), 256u);
    for (size_t n = 0; n < 256; ++n) {
        const auto colour = uint8_t(n * 15 / 255 + 1);
        ASSERT_EQ(entries[n], Rgb(colour, colour, colour)) << n;
    }
    EXPECT_EQ(entries[16].peRed, 1);
    EXPECT_EQ(entries[17].peRed, 2);
    EXPECT_EQ(entries[254].peRed, 15);
    EXPECT_EQ(entries[255].peRed, 16);

    // 2 colours for a 4-bit target.
    TColorManager twoColours;
    twoColours.SetSourceSampleBits(1);
    twoColours.SetTargetSampleBits(4);
    entries = EntriesOf(twoColours.BuildColorPalette({colours.data()}, plBytes3, 2, false));
    ASSERT_EQ(entries.size(), 16u);
    EXPECT_EQ(entries[14], Rgb(1, 1, 1));
    EXPECT_EQ(entries[15], Rgb(2, 2, 2));

    // 256 colours for a 4-bit target: entry n takes colour 17 n.
    TColorManager shrink;
    shrink.SetTargetSampleBits(4);
    entries = EntriesOf(shrink.BuildColorPalette({colours.data()}, plBytes3, 256, false));
    ASSERT_EQ(entries.size(), 16u);
    for (size_t n = 0; n < 16; ++n) EXPECT_EQ(entries[n].peRed, uint8_t(17 * n + 1));

    // 16-bit indices: the converter maps index w to w div 257, so only entry 0 has a stored
    // colour; the others would come from indices beyond the 256 stored entries and stay black.
    TColorManager wide;
    wide.SetSourceSampleBits(16);
    entries = EntriesOf(wide.BuildColorPalette({colours.data()}, plBytes3, 256, false));
    ASSERT_EQ(entries.size(), 256u);
    EXPECT_EQ(entries[0], Rgb(1, 1, 1));
    for (size_t n = 1; n < 256; ++n) ASSERT_EQ(entries[n], Rgb(0, 0, 0)) << n;

    // A 16-bit target is not stretched.
    TColorManager deep;
    deep.SetSourceSampleBits(4);
    deep.SetTargetSampleBits(16);
    EXPECT_EQ(deep.BuildColorPalette({colours.data()}, plBytes3, 16, false)->Count(), 16);
}

}  // namespace
