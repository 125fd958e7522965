// The row converters: each family's depths, layouts, flags and the pixel mask.
#include <gtest/gtest.h>

#include <functional>

#include "ColorTestSupport.h"

namespace {

constexpr uint8_t kInterlaceMasks[] = {0x80, 0x08, 0x88, 0x22, 0xAA, 0x55};

// ---------------------------------------------------------------------------
// RGB family

TEST(RowRGB, EightBitOrdersAndAlpha) {
    const Bytes rgb{10, 20, 30, 11, 21, 31};
    const Bytes rgba{10, 20, 30, 40, 11, 21, 31, 41};
    struct Case {
        TColorModel source, target;
        const Bytes& src;
        size_t targetBytes;
        Bytes expected;
    };
    const Case cases[] = {
        {cmRGB, cmRGB, rgb, 6, {10, 20, 30, 11, 21, 31}},
        {cmRGB, cmBGR, rgb, 6, {30, 20, 10, 31, 21, 11}},
        {cmBGR, cmRGB, rgb, 6, {30, 20, 10, 31, 21, 11}},
        {cmBGR, cmBGR, rgb, 6, {10, 20, 30, 11, 21, 31}},
        {cmRGBA, cmBGR, rgba, 6, {30, 20, 10, 31, 21, 11}},              // source alpha skipped
        {cmRGB, cmBGRA, rgb, 8, {30, 20, 10, 0xEE, 31, 21, 11, 0xEE}},   // target alpha untouched
        {cmRGBA, cmBGRA, rgba, 8, {30, 20, 10, 40, 31, 21, 11, 41}},
        {cmRGBA, cmRGBA, rgba, 8, {10, 20, 30, 40, 11, 21, 31, 41}},
        {cmBGRA, cmRGB, rgba, 6, {30, 20, 10, 31, 21, 11}},
    };
    for (const auto& c : cases) {
        TColorManager m;
        Configure(m, c.source, c.target);
        EXPECT_EQ(Convert(m, {c.src.data()}, c.targetBytes, 2), c.expected) << int(c.source) << "->" << int(c.target);
        // The same through the general (masked) loop, one pixel at a time.
        Bytes target(c.targetBytes, 0xEE);
        m.TranslateRow({c.src.data()}, target.data(), 2, 0x80);
        m.TranslateRow({c.src.data() + c.src.size() / 2}, target.data() + c.targetBytes / 2, 1, 0x80);
        EXPECT_EQ(target, c.expected);
    }
}

TEST(RowRGB, Planes) {
    const Bytes r{1, 2}, g{3, 4}, b{5, 6}, a{7, 8};
    TColorManager m;
    EXPECT_EQ(Convert(m, {r.data(), g.data(), b.data()}, 6, 2), (Bytes{5, 3, 1, 6, 4, 2}));
    // A fourth plane without source alpha is not read.
    EXPECT_EQ(Convert(m, {r.data(), g.data(), b.data(), nullptr}, 6, 2), (Bytes{5, 3, 1, 6, 4, 2}));
    Configure(m, cmRGBA, cmBGRA);
    EXPECT_EQ(Convert(m, {r.data(), g.data(), b.data(), a.data()}, 8, 2), (Bytes{5, 3, 1, 7, 6, 4, 2, 8}));
    Configure(m, cmRGB, cmRGBA);
    EXPECT_EQ(Convert(m, {r.data(), g.data(), b.data()}, 8, 2), (Bytes{1, 3, 5, 0xEE, 2, 4, 6, 0xEE}));
}

TEST(RowRGB, GammaAppliesToColourOnly) {
    TColorManager m;
    Configure(m, cmRGBA, cmRGBA);
    m.TargetFlags.Include(cvApplyGamma);
    const auto& lut = m.GammaLookup();
    const Bytes src{128, 64, 255, 128};
    EXPECT_EQ(Convert(m, {src.data()}, 4, 1), (Bytes{lut[128], lut[64], lut[255], 128}));
    ASSERT_NE(lut[128], 128);
    // 8 -> 16 widens the corrected value; 16 -> 8 corrects the narrowed one; 16 -> 16 has no gamma.
    m.SetTargetSampleBits(16);
    EXPECT_EQ(ToWords(Convert(m, {src.data()}, 8, 1)),
              (std::vector<uint16_t>{uint16_t(lut[128] * 257), uint16_t(lut[64] * 257), 65535, 128 * 257}));
    Configure(m, cmRGBA, cmRGBA, 16, 8);
    const Bytes words = Words({128 * 257, 64 * 257, 65535, 128 * 257});
    EXPECT_EQ(Convert(m, {words.data()}, 4, 1), (Bytes{lut[128], lut[64], lut[255], 128}));
    m.SetTargetSampleBits(16);
    EXPECT_EQ(Convert(m, {words.data()}, 8, 1), words);
}

TEST(RowRGB, SixteenBitPaths) {
    struct Case {
        uint8_t sourceBits, targetBits;
        bool swap;
        Bytes src;
        Bytes expected;
    };
    const Case cases[] = {
        // The word 0x1234 stored most significant byte first, swapped and narrowed: 0x1234 div 257.
        {16, 8, true, BigEndianWords({0x1234, 65535, 0}), {0, 255, 18}},
        {16, 8, false, Words({0x1234, 65534, 256}), {0, 254, 18}},
        {16, 16, true, BigEndianWords({0x1234, 2, 3}), Words({3, 2, 0x1234})},
        {16, 16, false, Words({0x1234, 2, 3}), Words({3, 2, 0x1234})},
        {8, 16, false, {255, 1, 0}, Words({0, 257, 65535})},
        {8, 16, true, {255, 1, 0}, Words({0, 257, 65535})},  // widened words read the same either way
    };
    for (const auto& c : cases) {
        TColorManager m;
        Configure(m, cmRGB, cmBGR, c.sourceBits, c.targetBits);
        if (c.swap) m.SourceFlags = {cvNeedByteSwap};
        const Unaligned src(c.src);
        EXPECT_EQ(Convert(m, {src.Get()}, c.expected.size(), 1), c.expected)
            << int(c.sourceBits) << "->" << int(c.targetBits) << (c.swap ? " swapped" : "");
    }
    // Alpha of a 16-bit source is narrowed (and swapped), never gamma-corrected.
    TColorManager m;
    Configure(m, cmRGBA, cmBGRA, 16, 8);
    m.SourceFlags.Include(cvNeedByteSwap);
    m.TargetFlags.Include(cvApplyGamma);
    const Bytes src = BigEndianWords({0, 0, 0, 0x1234});
    EXPECT_EQ(Convert(m, {src.data()}, 4, 1), (Bytes{0, 0, 0, 18}));
}

TEST(RowRGB, UnhandledDepthsWriteNothing) {
    for (auto [s, t] : {std::pair{4, 8}, {8, 4}, {12, 8}, {1, 1}}) {
        TColorManager m;
        Configure(m, cmRGB, cmBGR, uint8_t(s), uint8_t(t));
        const Bytes src(12, 0x11);
        EXPECT_EQ(Convert(m, {src.data()}, 12, 2), Bytes(12, 0xEE));
    }
}

// The pixel mask: produced pixels come from consecutive source pixels, the others keep their
// target contents; a row filled pass by pass equals the row converted at once.
TEST(RowRGB, PixelMask) {
    constexpr uint32_t count = 19;
    Bytes src(count * 3);
    for (size_t i = 0; i < src.size(); ++i) src[i] = uint8_t(i + 1);
    TColorManager m;
    for (uint8_t mask : kInterlaceMasks) {
        const Bytes target = Convert(m, {src.data()}, count * 3, count, mask);
        size_t j = 0;
        for (size_t i = 0; i < count; ++i) {
            const bool produced = mask & (0x80 >> (i % 8));
            const Bytes pixel(target.begin() + long(3 * i), target.begin() + long(3 * i + 3));
            if (produced) {
                EXPECT_EQ(pixel, (Bytes{src[3 * j + 2], src[3 * j + 1], src[3 * j]})) << int(mask) << " " << i;
                ++j;
            } else {
                EXPECT_EQ(pixel, Bytes(3, 0xEE)) << int(mask) << " " << i;
            }
        }
    }
}

// Masks that together cover each group of eight once build the same row as one full conversion.
// Runs every family with its own configuration.
TEST(RowConverters, PassesAddUpToTheFullRow) {
    struct Config {
        const char* name;
        TColorModel source, target;
        uint8_t sourceBits, targetBits;
        size_t sourceBytesPerPixel, targetBytesPerPixel;  // 0: packed
    };
    const Config configs[] = {
        {"rgb8", cmRGB, cmBGR, 8, 8, 3, 3},        {"rgba8", cmRGBA, cmBGRA, 8, 8, 4, 4},
        {"bgr8", cmBGR, cmBGR, 8, 8, 3, 3},        {"rgba16", cmRGBA, cmBGRA, 16, 8, 8, 4},
        {"cmyk", cmCMYK, cmBGR, 8, 8, 4, 3},       {"lab", cmCIELab, cmRGB, 8, 8, 3, 3},
        {"ycbcr", cmYCbCr, cmBGR, 8, 8, 3, 3},     {"gray16", cmGray, cmGray, 16, 8, 2, 1},
        {"index16", cmIndexed, cmIndexed, 16, 16, 2, 2},
    };
    const std::vector<std::vector<uint8_t>> passSets = {{0x88, 0x22, 0x55}, {0xAA, 0x55}, {0x80, 0x08, 0x22, 0x55}};
    for (uint32_t count : {1u, 5u, 6u, 21u, 37u})
    for (const auto& c : configs) {
        TColorManager m;
        Configure(m, c.source, c.target, c.sourceBits, c.targetBits);
        Bytes src(count * c.sourceBytesPerPixel);
        for (size_t i = 0; i < src.size(); ++i) src[i] = uint8_t(i * 37 + 11);
        const Bytes full = Convert(m, {src.data()}, count * c.targetBytesPerPixel, count);
        for (const auto& passes : passSets) {
            Bytes target(full.size(), 0xEE);
            for (uint8_t mask : passes) {
                // The source of a pass holds only that pass's pixels.
                Bytes passSource;
                for (size_t i = 0; i < count; ++i)
                    if (mask & (0x80 >> (i % 8)))
                        passSource.insert(passSource.end(), src.begin() + long(i * c.sourceBytesPerPixel),
                                          src.begin() + long((i + 1) * c.sourceBytesPerPixel));
                m.TranslateRow({passSource.data()}, target.data(), count, mask);
            }
            EXPECT_EQ(target, full) << c.name << " x " << count;
        }
    }
}

TEST(RowConverters, ZeroPixelsWriteNothing) {
    struct Config {
        TColorModel source, target;
        uint8_t sourceBits, targetBits;
    };
    const Config configs[] = {
        {cmRGB, cmBGR, 8, 8},        {cmRGB, cmBGR, 16, 16},    {cmCMYK, cmRGB, 8, 8},   {cmCIELab, cmBGR, 16, 8},
        {cmYCbCr, cmBGR, 16, 16},    {cmGray, cmGray, 8, 8},    {cmGray, cmGray, 1, 1},  {cmGray, cmGray, 4, 8},
        {cmIndexed, cmIndexed, 16, 16}, {cmIndexed, cmIndexed, 16, 4}, {cmIndexed, cmIndexed, 2, 16},
    };
    const Bytes src(64, 0x33);
    for (const auto& c : configs) {
        TColorManager m;
        Configure(m, c.source, c.target, c.sourceBits, c.targetBits);
        for (uint8_t mask : {uint8_t(255), uint8_t(0x55)})
            EXPECT_EQ(Convert(m, {src.data()}, 16, 0, mask), Bytes(16, 0xEE)) << int(c.source);
    }
}

// ---------------------------------------------------------------------------
// CMYK

TEST(RowCMYK, EightBit) {
    struct Case {
        Bytes cmyk;
        Bytes bgr;
    };
    const Case cases[] = {
        {{0, 0, 0, 0}, {255, 255, 255}},
        {{10, 20, 30, 255}, {0, 0, 0}},
        {{255, 0, 0, 0}, {255, 255, 0}},
        {{0, 0, 255, 0}, {0, 255, 255}},
        {{100, 50, 0, 51}, {204, 164, 124}},  // 255 - (x - x * 51 div 255 + 51)
    };
    for (const auto& c : cases) {
        TColorManager m;
        Configure(m, cmCMYK, cmBGR);
        EXPECT_EQ(Convert(m, {c.cmyk.data()}, 3, 1), c.bgr);
        const Bytes c0{c.cmyk[0]}, m0{c.cmyk[1]}, y0{c.cmyk[2]}, k0{c.cmyk[3]};
        EXPECT_EQ(Convert(m, {c0.data(), m0.data(), y0.data(), k0.data()}, 3, 1), c.bgr);
        m.SetTargetModel(cmRGBA);
        EXPECT_EQ(Convert(m, {c.cmyk.data()}, 4, 1), (Bytes{c.bgr[2], c.bgr[1], c.bgr[0], 0xEE}));
        m.SetTargetSampleBits(16);
        EXPECT_EQ(ToWords(Convert(m, {c.cmyk.data()}, 8, 1)),
                  (std::vector<uint16_t>{uint16_t(c.bgr[2] * 257), uint16_t(c.bgr[1] * 257),
                                         uint16_t(c.bgr[0] * 257), 0xEEEE}));
    }
}

TEST(RowCMYK, SixteenBit) {
    TColorManager m;
    Configure(m, cmCMYK, cmBGR, 16, 8);
    Bytes src = Words({0, 0, 0, 0, 65535, 0, 0, 0, 1000, 2000, 3000, 65535});
    EXPECT_EQ(Convert(m, {Unaligned(src).Get()}, 9, 3), (Bytes{255, 255, 255, 255, 255, 0, 0, 0, 0}));
    m.SetTargetSampleBits(16);
    EXPECT_EQ(ToWords(Convert(m, {src.data()}, 18, 3)),
              (std::vector<uint16_t>{65535, 65535, 65535, 65535, 65535, 0, 0, 0, 0}));
    // Big-endian samples are swapped like every other 16-bit source.
    m.SourceFlags = {cvNeedByteSwap};
    src = BigEndianWords({0, 0, 0x1234, 0});
    EXPECT_EQ(ToWords(Convert(m, {src.data()}, 6, 1)), (std::vector<uint16_t>{65535 - 0x1234, 65535, 65535}));
    m.SetTargetSampleBits(8);
    EXPECT_EQ(Convert(m, {src.data()}, 3, 1), (Bytes{255 - 18, 255, 255}));
}

// ---------------------------------------------------------------------------
// CIE L*a*b*

TEST(RowLab, EightBit) {
    struct Case {
        TConversionOptions flags;
        Bytes lab;
        Bytes bgr;
    };
    const Case cases[] = {
        {{}, {100, 0, 0}, {255, 255, 255}},
        {{}, {0, 0, 0}, {0, 0, 0}},
        {{}, {50, 0, 0}, {47, 47, 47}},
        {{cvLabByteRange}, {255, 0, 0}, {255, 255, 255}},
        {{cvLabByteRange, cvLabChromaOffset}, {255, 128, 128}, {255, 255, 255}},
        {{cvLabChromaOffset}, {50, 128, 128}, {47, 47, 47}},
        {{}, {50, 80, 0}, {52, 0, 202}},     // a* positive: towards red
        {{}, {50, 0, 0xB0}, {250, 58, 0}},   // b* = -80: towards blue
    };
    for (const auto& c : cases) {
        TColorManager m;
        Configure(m, cmCIELab, cmBGR);
        m.SourceFlags = c.flags;
        EXPECT_EQ(Convert(m, {c.lab.data()}, 3, 1), c.bgr) << int(c.lab[0]) << "," << int(c.lab[1]);
        const Bytes l{c.lab[0]}, a{c.lab[1]}, b{c.lab[2]};
        EXPECT_EQ(Convert(m, {l.data(), a.data(), b.data()}, 3, 1), c.bgr);
        m.SetTargetModel(cmRGB);
        EXPECT_EQ(Convert(m, {c.lab.data()}, 3, 1), (Bytes{c.bgr[2], c.bgr[1], c.bgr[0]}));
        m.SetTargetSampleBits(16);
        EXPECT_EQ(ToWords(Convert(m, {c.lab.data()}, 6, 1)),
                  (std::vector<uint16_t>{uint16_t(c.bgr[2] * 257), uint16_t(c.bgr[1] * 257), uint16_t(c.bgr[0] * 257)}));
    }
}

// 16-bit L*a*b*: L* over the whole word, a*/b* signed in 1/256 units or offset by 32768. The
// colours agree with the 8-bit encoding of the same values.
TEST(RowLab, SixteenBitMatchesEightBit) {
    struct Case {
        int l, a, b;  // L* 0..100, a*, b* -128..127
    };
    const Case cases[] = {{100, 0, 0}, {50, 0, 0}, {50, 80, 0}, {50, 0, -80}, {70, -40, 60}, {5, 10, -10}};
    for (const auto& c : cases) {
        TColorManager eight;
        Configure(eight, cmCIELab, cmBGR);
        const Bytes lab8{uint8_t(c.l), uint8_t(int8_t(c.a)), uint8_t(int8_t(c.b))};
        const Bytes expected = Convert(eight, {lab8.data()}, 3, 1);

        const auto lWord = uint16_t(Round(c.l * 655.35));
        for (bool offset : {false, true}) {
            for (bool swap : {false, true}) {
                TColorManager m;
                Configure(m, cmCIELab, cmBGR, 16, 8);
                m.SourceFlags = {cvLabByteRange};
                if (offset) m.SourceFlags.Include(cvLabChromaOffset);
                if (swap) m.SourceFlags.Include(cvNeedByteSwap);
                const auto chroma = [&](int v) { return uint16_t(offset ? v * 256 + 32768 : int16_t(v * 256)); };
                const Bytes src = swap ? BigEndianWords({lWord, chroma(c.a), chroma(c.b)})
                                       : Words({lWord, chroma(c.a), chroma(c.b)});
                const Bytes got = Convert(m, {Unaligned(src).Get()}, 3, 1);
                for (size_t k = 0; k < 3; ++k) EXPECT_NEAR(got[k], expected[k], 1) << c.l << " " << c.a << " " << c.b;
            }
        }
    }
    // A 16-bit target gets full 16-bit precision.
    TColorManager m;
    Configure(m, cmCIELab, cmBGR, 16, 16);
    const Bytes white = Words({65535, 0, 0}), black = Words({0, 0, 0});
    // (Red is 0.999 of white in the conversion matrix, which 16 bits resolve.)
    EXPECT_EQ(ToWords(Convert(m, {white.data()}, 6, 1)), (std::vector<uint16_t>{65535, 65535, 65469}));
    EXPECT_EQ(ToWords(Convert(m, {black.data()}, 6, 1)), (std::vector<uint16_t>{0, 0, 0}));
}

// ---------------------------------------------------------------------------
// YCbCr and Photo YCC

TEST(RowChroma, EightBit) {
    struct Case {
        TColorModel model;
        Bytes ycc;
        Bytes bgr;
    };
    const Case cases[] = {
        {cmYCbCr, {128, 128, 128}, {128, 128, 128}},
        {cmYCbCr, {128, 128, 255}, {128, 37, 255}},  // red = 128 + round(127 x 1.402) clamped
        {cmYCbCr, {0, 255, 128}, {225, 0, 0}},       // blue = round(127 x 1.772)
        {cmYCbCr, {255, 0, 0}, {28, 255, 76}},
        {cmPhotoYCC, {100, 156, 137}, {100, 100, 100}},
        {cmPhotoYCC, {100, 156, 255}, {100, 16, 255}},
    };
    for (const auto& c : cases) {
        TColorManager m;
        Configure(m, c.model, cmBGR);
        EXPECT_EQ(Convert(m, {c.ycc.data()}, 3, 1), c.bgr) << int(c.ycc[0]) << "," << int(c.ycc[1]) << "," << int(c.ycc[2]);
        const Bytes y{c.ycc[0]}, cb{c.ycc[1]}, cr{c.ycc[2]};
        EXPECT_EQ(Convert(m, {y.data(), cb.data(), cr.data()}, 3, 1), c.bgr);
        m.SetTargetModel(cmRGBA);
        EXPECT_EQ(Convert(m, {c.ycc.data()}, 4, 1), (Bytes{c.bgr[2], c.bgr[1], c.bgr[0], 0xEE}));
        m.SetTargetSampleBits(16);
        EXPECT_EQ(ToWords(Convert(m, {c.ycc.data()}, 8, 1)),
                  (std::vector<uint16_t>{uint16_t(c.bgr[2] * 257), uint16_t(c.bgr[1] * 257),
                                         uint16_t(c.bgr[0] * 257), 0xEEEE}));
        // 16-bit samples are narrowed first (and swapped when flagged).
        Configure(m, c.model, cmBGR, 16, 8);
        m.SourceFlags = {cvNeedByteSwap};
        const Bytes words = BigEndianWords(
            {uint16_t(c.ycc[0] * 257), uint16_t(c.ycc[1] * 257 + (c.ycc[1] < 255 ? 256 : 0)),
             uint16_t(c.ycc[2] * 257 + (c.ycc[2] < 255 ? 256 : 0))});
        EXPECT_EQ(Convert(m, {Unaligned(words).Get()}, 3, 1), c.bgr);
    }
}

TEST(RowChroma, NewWeightsTakeEffectAtTheNextSelection) {
    TColorManager m;
    Configure(m, cmYCbCr, cmBGR);
    const Bytes src{0, 128, 255};
    EXPECT_EQ(Convert(m, {src.data()}, 3, 1)[2], 178);  // round(127 x 1.402)
    m.DefineYCbCr({0.2126f, 0.7152f, 0.0722f}, 1, 1);
    EXPECT_EQ(Convert(m, {src.data()}, 3, 1)[2], 178);  // no setting changed: old tables
    m.SetTargetModel(cmBGRA);
    EXPECT_EQ(Convert(m, {src.data()}, 4, 1)[2], 200);  // round(127 x (2 - 2 x 0.2126))
}

TEST(RowChroma, DegenerateWeightsStayInRange) {
    // A green weight of zero makes the green factors infinite; results are clamped, never undefined.
    for (uint8_t bits : {uint8_t(8), uint8_t(16)}) {
        TColorManager m;
        Configure(m, cmYCbCr, cmBGR, bits, bits);
        m.DefineYCbCr({0.299f, 0.0f, 0.114f}, 1, 1);
        const Bytes src = bits == 8 ? Bytes{100, 128, 200} : Words({30000, 32768, 50000});
        const Bytes out = Convert(m, {src.data()}, bits == 8 ? 3 : 6, 1);
        if (bits == 8) EXPECT_EQ(out, (Bytes{100, 0, 201}));
        else EXPECT_EQ(ToWords(out), (std::vector<uint16_t>{30000, 0, 54159}));
    }
}

TEST(RowChroma, SixteenBitOnBothSides) {
    TColorManager m;
    Configure(m, cmPhotoYCC, cmBGR, 16, 16);
    // The chroma centres of Photo YCC at 16 bits leave grey grey: Y' = Y x 1.3584.
    Bytes src = Words({0, 40092, 35209, 40000, 40092, 35209});
    EXPECT_EQ(ToWords(Convert(m, {src.data()}, 12, 2)), (std::vector<uint16_t>{0, 0, 0, 54336, 54336, 54336}));
    // Results beyond the word range are clamped, not wrapped.
    src = Words({65535, 0, 65535, 0, 65535, 0});
    EXPECT_EQ(ToWords(Convert(m, {src.data()}, 12, 2)), (std::vector<uint16_t>{103, 65535, 65535, 56430, 21696, 0}));

    // YCbCr uses its own weights around the centre 32768.
    Configure(m, cmYCbCr, cmRGB, 16, 16);
    m.SourceFlags = {cvNeedByteSwap};
    src = BigEndianWords({30000, 32768, 32768, 30000, 32768, 32768 + 10000});
    EXPECT_EQ(ToWords(Convert(m, {src.data()}, 12, 2)),
              (std::vector<uint16_t>{30000, 30000, 30000, 44020, 22859, 30000}));
}

// ---------------------------------------------------------------------------
// Grey

TEST(RowGray, WideDepths) {
    struct Case {
        TColorModel source;
        uint8_t sourceBits, targetBits;
        bool swap;
        Bytes src;
        Bytes expected;
    };
    const Case cases[] = {
        {cmGray, 8, 8, false, {1, 2, 3}, {1, 2, 3}},
        {cmGrayAlpha, 8, 8, false, {1, 99, 2, 99, 3, 99}, {1, 2, 3}},
        {cmGray, 8, 16, true, {1, 255, 0}, Words({257, 65535, 0})},
        {cmGray, 16, 8, true, BigEndianWords({0x1234, 65535, 0}), {18, 255, 0}},
        {cmGray, 16, 8, false, Words({0x1234, 65534, 0}), {18, 254, 0}},
        {cmGrayAlpha, 16, 8, false, Words({0x1234, 1, 65535, 1, 0, 1}), {18, 255, 0}},
        {cmGray, 16, 16, true, BigEndianWords({0x1234, 1, 2}), Words({0x1234, 1, 2})},
        {cmGray, 16, 16, false, Words({0x1234, 1, 2}), Words({0x1234, 1, 2})},
        {cmGrayAlpha, 16, 16, false, Words({7, 1, 8, 1, 9, 1}), Words({7, 8, 9})},
        {cmGray, 12, 16, false, Words({1, 2, 3}), Bytes(6, 0xEE)},  // a depth it does not handle
    };
    for (const auto& c : cases) {
        TColorManager m;
        Configure(m, c.source, cmGray, c.sourceBits, c.targetBits);
        m.TargetFlags = {cvApplyGamma};  // grey rows take no gamma
        if (c.swap) m.SourceFlags = {cvNeedByteSwap};
        EXPECT_EQ(Convert(m, {Unaligned(c.src).Get()}, c.expected.size(), 3), c.expected)
            << int(c.source) << " " << int(c.sourceBits) << "->" << int(c.targetBits);
    }
}

TEST(RowGray, NarrowingIsDivisionBy257ForEveryWord) {
    TColorManager m;
    Configure(m, cmGray, cmGray, 16, 8);
    Bytes src(65536 * 2);
    std::vector<uint16_t> words(65536);
    for (uint32_t w = 0; w < 65536; ++w) words[w] = uint16_t(w);
    std::memcpy(src.data(), words.data(), src.size());
    const Bytes narrowed = Convert(m, {src.data()}, 65536, 65536);
    for (uint32_t w = 0; w < 65536; ++w) ASSERT_EQ(narrowed[w], w / 257) << w;
}

// ---------------------------------------------------------------------------
// Packed indices and grey levels

TEST(RowPacked, Depths) {
    struct Case {
        uint8_t sourceBits, targetBits;
        uint32_t count;
        Bytes src;
        Bytes expected;  // target pre-filled with 0
    };
    const Case cases[] = {
        {1, 8, 3, {0xA0}, {255, 0, 255}},
        {1, 8, 11, {0xA5, 0xC0}, {255, 0, 255, 0, 0, 255, 0, 255, 255, 255, 0}},
        {2, 8, 5, {0x1B, 0xC0}, {0, 85, 170, 255, 255}},
        {4, 8, 3, {0xF1, 0x80}, {255, 17, 136}},
        {1, 4, 3, {0xA0}, {0xF0, 0xF0}},
        {1, 2, 5, {0xF8}, {0xFF, 0xC0}},
        {8, 1, 4, {255, 127, 128, 0}, {0x80}},  // scaling truncates: only 255 reaches 1
        {8, 4, 3, {255, 16, 17}, {0xF0, 0x10}},
        {4, 1, 4, {0xF7, 0x80}, {0x80}},
        {2, 4, 4, {0x6C}, {0x5A, 0xF0}},
        {3, 8, 4, {0xFF, 0xFF}, {0, 0, 0, 0}},  // depths that do not divide a byte: untouched
        {8, 5, 4, {1, 2, 3, 4}, {0, 0, 0, 0}},
        {6, 6, 4, {1, 2, 3, 4}, {0, 0, 0, 0}},
        {12, 8, 2, {1, 2, 3}, {0, 0}},
    };
    for (const auto& c : cases) {
        for (TColorModel model : {cmGray, cmIndexed}) {
            TColorManager m;
            Configure(m, model, model, c.sourceBits, c.targetBits);
            m.TargetFlags = {cvApplyGamma};  // no gamma on packed rows
            EXPECT_EQ(Convert(m, {c.src.data()}, c.expected.size(), c.count, 255, 0), c.expected)
                << int(c.sourceBits) << "->" << int(c.targetBits) << " x " << c.count;
        }
    }
}

TEST(RowPacked, EqualDepthsCopyWholeBytes) {
    TColorManager m;
    Configure(m, cmIndexed, cmIndexed, 4, 4);
    const Bytes src{0x12, 0x34, 0x56};
    // 3 pixels take 2 bytes; the byte after them is not touched.
    EXPECT_EQ(Convert(m, {src.data()}, 3, 3), (Bytes{0x12, 0x34, 0xEE}));
}

TEST(RowPacked, MaskKeepsTheOtherPixelsOfATargetByte) {
    // 4 -> 4 with mask 0x55: pixels 1, 3, 5, 7 from consecutive source nibbles.
    TColorManager m;
    Configure(m, cmIndexed, cmIndexed, 4, 4);
    const Bytes src{0x12, 0x34, 0x56, 0x78};
    Bytes target(8, 0xEE);
    m.TranslateRow({src.data()}, target.data(), 16, 0x55);
    EXPECT_EQ(target, (Bytes{0xE1, 0xE2, 0xE3, 0xE4, 0xE5, 0xE6, 0xE7, 0xE8}));

    // 1-bit rows of an interlaced image, pass by pass, for every interlace mask.
    Configure(m, cmGray, cmGray, 1, 1);
    constexpr uint32_t count = 21;
    for (uint8_t mask : kInterlaceMasks) {
        const Bytes ones{0xFF, 0xFF, 0xFF};
        const Bytes target1 = Convert(m, {ones.data()}, 3, count, mask, 0);
        for (uint32_t i = 0; i < 24; ++i) {
            const bool set = (target1[i / 8] >> (7 - i % 8)) & 1;
            EXPECT_EQ(set, i < count && (mask & (0x80 >> (i % 8)))) << int(mask) << " " << i;
        }
    }
    // The same mask through widening and narrowing.
    Configure(m, cmGray, cmGray, 1, 8);
    const Bytes bits{0xC0};
    EXPECT_EQ(Convert(m, {bits.data()}, 10, 10, 0x22), (Bytes{0xEE, 0xEE, 255, 0xEE, 0xEE, 0xEE, 255, 0xEE, 0xEE, 0xEE}));
}

TEST(RowIndex, Words) {
    TColorManager m;
    Configure(m, cmIndexed, cmIndexed, 16, 16);
    const Bytes src = Words({1, 2, 3});
    EXPECT_EQ(Convert(m, {Unaligned(src).Get()}, 6, 3), src);
    EXPECT_EQ(ToWords(Convert(m, {src.data()}, 6, 3, 0x40)), (std::vector<uint16_t>{0xEEEE, 1, 0xEEEE}));
    m.SourceFlags = {cvNeedByteSwap};
    EXPECT_EQ(ToWords(Convert(m, {src.data()}, 6, 3)), (std::vector<uint16_t>{0x0100, 0x0200, 0x0300}));
}

TEST(RowIndex, Narrow) {
    TColorManager m;
    Configure(m, cmIndexed, cmIndexed, 16, 4);
    // Three pixels: 0 and 1 share byte 0, pixel 2 is the high nibble of byte 1.
    const Bytes src = Words({65535, 0, 65535});
    EXPECT_EQ(Convert(m, {Unaligned(src).Get()}, 2, 3, 255, 0x0A), (Bytes{0xF0, 0xFA}));
    m.SourceFlags = {cvNeedByteSwap};
    const Bytes big = BigEndianWords({0x8000, 4369});
    EXPECT_EQ(Convert(m, {big.data()}, 1, 2, 255, 0), (Bytes{0x71}));
    m.SetTargetSampleBits(8);
    EXPECT_EQ(Convert(m, {big.data()}, 2, 2, 255, 0), (Bytes{127, 17}));
    m.SetTargetSampleBits(5);  // no packing for 5 bits
    EXPECT_EQ(Convert(m, {big.data()}, 2, 2), (Bytes{0xEE, 0xEE}));
}

TEST(RowIndex, Widen) {
    TColorManager m;
    Configure(m, cmIndexed, cmIndexed, 4, 16);
    const Bytes src{0xF1, 0x20};
    EXPECT_EQ(ToWords(Convert(m, {src.data()}, 6, 3)), (std::vector<uint16_t>{65535, 4369, 8738}));
    EXPECT_EQ(ToWords(Convert(m, {src.data()}, 6, 3, 0x20)), (std::vector<uint16_t>{0xEEEE, 0xEEEE, 65535}));
    m.SourceFlags = {cvNeedByteSwap};
    EXPECT_EQ(ToWords(Convert(m, {src.data()}, 6, 3)), (std::vector<uint16_t>{65535, 0x1111, 0x2222}));
    Configure(m, cmIndexed, cmIndexed, 8, 16);
    m.SourceFlags = {};
    const Bytes bytes{255, 1};
    EXPECT_EQ(ToWords(Convert(m, {bytes.data()}, 4, 2)), (std::vector<uint16_t>{65535, 257}));
    m.SetSourceSampleBits(3);
    EXPECT_EQ(Convert(m, {bytes.data()}, 4, 2), Bytes(4, 0xEE));
}

}  // namespace
