#include <gtest/gtest.h>

#include <vector>

#include "TestSupport.h"
#include "VaderezUv.h"

TEST(ImageBase, ReadImageInfoResetsEveryField) {
    TVaderezUvGraphic g;
    g.ImageProperties.ImageWidth = 7;
    g.ImageProperties.GammaValue = 2.5f;
    g.ImageProperties.Flags.Include(ifTiled);
    g.ImageProperties.StripRows.SetLength(3);
    TCardinalArray kept = g.ImageProperties.StripRows;
    TMemoryStream s;
    EXPECT_FALSE(g.ReadImageInfo(s, 0));
    const TImageProperties& p = g.ImageProperties;
    EXPECT_EQ(0, p.ImageWidth);
    EXPECT_EQ(1.0f, p.GammaValue);
    EXPECT_EQ(0, p.Flags.Value());
    EXPECT_EQ(0u, p.StripRows.Length());
    EXPECT_EQ(3u, kept.Length());  // other holders keep the elements
    EXPECT_EQ(cmUnknown, p.ColorModel);
    EXPECT_EQ(ckUnknown, p.CompressionKind);
    EXPECT_FALSE(TVaderezUvGraphic::AcceptsStream(s));
}

TEST(ImageBase, AssignCopiesPropertiesAndSharesArrays) {
    TVaderezUvGraphic a;
    a.ImageProperties.ImageWidth = 3;
    a.ImageProperties.StripRows.SetLength(2);
    a.ImageProperties.StripRows[0] = 10;
    a.ImageProperties.StripRows[1] = 20;
    a.SetPixelFormat(pf24bit);
    a.SetSize(3, 1);
    a.Canvas().SetPixel(2, 0, RGB(1, 2, 3));
    TVaderezUvGraphic b;
    b.Assign(a);
    EXPECT_EQ(3, b.ImageProperties.ImageWidth);
    ASSERT_EQ(2u, b.ImageProperties.StripRows.Length());
    EXPECT_EQ(20u, b.ImageProperties.StripRows[1]);
    EXPECT_TRUE(b.ImageProperties.StripRows.SharesWith(a.ImageProperties.StripRows));
    EXPECT_EQ(RGB(1, 2, 3), b.Canvas().Pixel(2, 0));

    // From a plain bitmap only the pixels come; the properties stay.
    TBitmap plain;
    plain.SetPixelFormat(pf8bit);
    plain.SetSize(5, 5);
    b.Assign(plain);
    EXPECT_EQ(5, b.Width());
    EXPECT_EQ(3, b.ImageProperties.ImageWidth);
}

TEST(ImageBase, AcceptsFileOpensTheFileAndAsksTheClass) {
    TempDir dir;
    WriteBytes(dir.File("a.bin"), "abc");
    EXPECT_FALSE(TVaderezUvGraphic::AcceptsFile(&TVaderezUvGraphic::Class, dir.File("a.bin")));
    EXPECT_THROW(TVaderezUvGraphic::AcceptsFile(&TVaderezUvGraphic::Class, dir.File("none.bin")), EFOpenError);
}

TEST(SharedRoutines, UndoDifference) {
    std::vector<uint8_t> one = {10, 1, 1, 255};
    UndoDifference1(one.data(), 3);
    EXPECT_EQ((std::vector<uint8_t>{10, 11, 12, 11}), one);
    std::vector<uint8_t> three = {1, 2, 3, 1, 1, 1, 255, 0, 1};
    UndoDifference3(three.data(), 2);
    EXPECT_EQ((std::vector<uint8_t>{1, 2, 3, 2, 3, 4, 1, 3, 5}), three);
    std::vector<uint8_t> four = {1, 2, 3, 4, 1, 1, 1, 1, 7};
    UndoDifference4(four.data(), 1);  // one step: the ninth byte is left alone
    EXPECT_EQ((std::vector<uint8_t>{1, 2, 3, 4, 2, 3, 4, 5, 7}), four);
    // A one-pixel row (count 0) and the count of an empty row (-1) change nothing.
    std::vector<uint8_t> single = {5, 6, 7, 8};
    UndoDifference1(single.data(), 0);
    UndoDifference4(single.data(), -1);
    EXPECT_EQ((std::vector<uint8_t>{5, 6, 7, 8}), single);
}

TEST(SharedRoutines, Upsample2x) {
    struct Case {
        uint32_t w, h;
        std::vector<uint8_t> in;
        std::vector<uint8_t> out;  // 2h rows of 2w samples
    } cases[] = {
        {2, 2, {0, 100, 100, 200}, {0, 50, 100, 100, 50, 100, 150, 150, 100, 150, 200, 200, 100, 150, 200, 200}},
        {3, 2, {0, 100, 200, 0, 100, 200},
         {0, 50, 100, 150, 200, 200, 0, 50, 100, 150, 200, 200, 0, 50, 100, 150, 200, 200, 0, 50, 100, 150, 200, 200}},
        {1, 1, {9}, {9, 9, 9, 9}},
    };
    for (const auto& c : cases) {
        const uint32_t stride = 2 * c.w + 3;  // rows wider than needed: the padding stays untouched
        std::vector<uint8_t> buffer(size_t(stride) * 2 * c.h, 0xEE);
        for (uint32_t r = 0; r < c.h; ++r)
            for (uint32_t i = 0; i < c.w; ++i) buffer[r * stride + i] = c.in[r * c.w + i];
        Upsample2x(c.w, c.h, stride, buffer.data());
        std::vector<uint8_t> got;
        for (uint32_t r = 0; r < 2 * c.h; ++r) {
            for (uint32_t i = 0; i < 2 * c.w; ++i) got.push_back(buffer[r * stride + i]);
            EXPECT_EQ(0xEE, buffer[r * stride + 2 * c.w + 2]) << r;
        }
        EXPECT_EQ(c.out, got) << c.w << "x" << c.h;
    }
    std::vector<uint8_t> small(8);
    EXPECT_THROW(Upsample2x(3, 1, 5, small.data()), EInvalidGraphic);
}

TEST(SharedRoutines, ByteSwaps) {
    EXPECT_EQ(0x44332211u, SwapLong(0x11223344u));
    uint8_t words[] = {1, 2, 3, 4};
    SwapWords(words, 2);
    EXPECT_EQ((std::vector<uint8_t>{2, 1, 4, 3}), std::vector<uint8_t>(words, words + 4));
    uint8_t longs[] = {1, 2, 3, 4, 5, 6, 7, 8};
    SwapLongs(longs, 1);
    EXPECT_EQ((std::vector<uint8_t>{4, 3, 2, 1, 5, 6, 7, 8}), std::vector<uint8_t>(longs, longs + 8));
}

TEST(SharedRoutines, RaiseInvalidImageFmt) {
    try {
        RaiseInvalidImageFmt(GraphicStrings::gesInvalidImage, {"Targa"});
        FAIL();
    } catch (const EInvalidGraphic& e) {
        EXPECT_STREQ("Cannot load image. Invalid or unexpected Targa image format.", e.what());
    }
    EXPECT_THROW(RaiseInvalidImage("x"), EInvalidGraphic);
}
