// The written files: their type and pixel format for every -bit value, and their pixels.
#include <gtest/gtest.h>

#include "ConverterTestSupport.h"
#include <set>

#include "TestSupport.h"

namespace {

// Runs a conversion in-process on an image made in code.
int Convert(const TSourceImage& source, const std::string& out, std::vector<std::string> extra = {}) {
    TFakeFiles files;
    files.Images["in.bmp"] = source;
    TempDir dir;
    std::string in = dir.File("in.bmp");
    WriteBytes(in, "placeholder");
    std::vector<std::string> args = {"-i", in, "-o", out};
    args.insert(args.end(), extra.begin(), extra.end());
    return RunConverter(args, files.Loader());
}

TSourceImage Colourful(int bits = 24) {
    TSourceImage s;
    s.Pixels = CoordinateImage(40, 30);
    s.Bits = bits;
    return s;
}

}  // namespace

TEST(ConverterOutput, PixelFormatForEveryBitDepthAndType) {
    struct Case {
        const char* ext;
        const char* bit;   // "" for no -bit
        int bits;          // expected stored bits (see TDecoded::Bits)
        int pngColorType;  // -1 when not PNG
        bool sBit;
    };
    const Case cases[] = {
        {".png", "1", 1, 3, false},   {".png", "4", 4, 3, false},   {".png", "8", 8, 3, false},
        {".png", "15", 24, 2, true},  {".png", "16", 24, 2, true},  {".png", "24", 24, 2, false},
        {".png", "32", 32, 6, false}, {".png", "36", 32, 6, false}, {".png", "", 24, 2, false},
        {".jpg", "1", 24, -1, false}, {".jpg", "4", 24, -1, false}, {".jpg", "8", 24, -1, false},
        {".jpg", "15", 24, -1, false}, {".jpg", "16", 24, -1, false}, {".jpg", "24", 24, -1, false},
        {".jpeg", "32", 24, -1, false}, {".jpg", "", 24, -1, false},
        {".gif", "1", 1, -1, false},  {".gif", "4", 4, -1, false},  {".gif", "8", 8, -1, false},
        {".gif", "15", 8, -1, false}, {".gif", "16", 8, -1, false}, {".gif", "24", 8, -1, false},
        {".gif", "32", 8, -1, false}, {".gif", "", 8, -1, false},
    };
    TempDir dir;
    int n = 0;
    for (const auto& c : cases) {
        std::string out = dir.File("out" + std::to_string(n++) + c.ext);
        std::vector<std::string> extra;
        if (*c.bit) extra = {"-bit", c.bit};
        ASSERT_EQ(Convert(Colourful(), out, extra), ecSuccess) << c.ext << " " << c.bit;
        TDecoded d = DecodeFile(out);
        EXPECT_EQ(d.Width, 40) << c.ext << " " << c.bit;
        EXPECT_EQ(d.Height, 30) << c.ext << " " << c.bit;
        EXPECT_EQ(d.Bits, c.bits) << c.ext << " " << c.bit;
        if (c.pngColorType >= 0) {
            EXPECT_EQ(d.PngColorType, c.pngColorType) << c.ext << " " << c.bit;
            EXPECT_EQ(d.PngSBit, c.sBit) << c.ext << " " << c.bit;
        }
    }
}

TEST(ConverterOutput, SourceDepthIsKeptWithoutBit) {
    TempDir dir;
    struct Case { int sourceBits; bool alpha; const char* ext; int bits; };
    const Case cases[] = {
        {4, false, ".png", 4}, {1, false, ".png", 1}, {8, false, ".gif", 8}, {4, false, ".gif", 4},
        {32, true, ".png", 32}, {32, false, ".png", 24}, {32, true, ".jpg", 24},
    };
    int n = 0;
    for (const auto& c : cases) {
        TSourceImage s = Colourful(c.sourceBits);
        s.HasAlpha = c.alpha;
        std::string out = dir.File("keep" + std::to_string(n++) + c.ext);
        ASSERT_EQ(Convert(s, out), ecSuccess);
        EXPECT_EQ(DecodeFile(out).Bits, c.bits) << c.sourceBits << c.ext;
    }
}

TEST(ConverterOutput, LosslessFormatsKeepThePixels) {
    TempDir dir;
    std::string out = dir.File("rot.png");
    ASSERT_EQ(Convert(Colourful(), out, {"-r", "90", "-e", "i"}), ecSuccess);
    TDecoded d = DecodeFile(out);
    ASSERT_EQ(d.Pixels.size(), cv::Size(30, 40));
    // Source (0, 0) goes to the top-right corner, inverted.
    EXPECT_EQ(d.Pixels.at<cv::Vec4b>(0, 29), cv::Vec4b(255, 255, 248, 255));
    EXPECT_EQ(d.Pixels.at<cv::Vec4b>(39, 29), cv::Vec4b(255 - 39, 255, 248, 255));
}

TEST(ConverterOutput, ReducedDepthsHoldOnlyTheirColours) {
    TempDir dir;
    std::string out = dir.File("d16.png");
    ASSERT_EQ(Convert(Colourful(), out, {"-bit", "16"}), ecSuccess);
    TDecoded d = DecodeFile(out);
    for (int y = 0; y < d.Height; ++y)
        for (int x = 0; x < d.Width; ++x) {
            cv::Vec4b p = d.Pixels.at<cv::Vec4b>(y, x);
            EXPECT_EQ(p[0], ((p[0] * 31 + 127) / 255 * 255 + 15) / 31);   // 5 bits blue
            EXPECT_EQ(p[1], ((p[1] * 63 + 127) / 255 * 255 + 31) / 63);   // 6 bits green
        }
    std::string gif = dir.File("d1.gif");
    ASSERT_EQ(Convert(Colourful(), gif, {"-bit", "1"}), ecSuccess);
    std::set<uint32_t> colours;
    TDecoded g = DecodeFile(gif);
    for (int y = 0; y < g.Height; ++y)
        for (int x = 0; x < g.Width; ++x) colours.insert(g.Pixels.at<uint32_t>(y, x));
    EXPECT_LE(colours.size(), 2u);
}

TEST(ConverterOutput, TransparencyKeptIn32BitsElseFlattenedOverTheFill) {
    TSourceImage s;
    s.Pixels = SolidImage(4, 4, cv::Scalar(0, 0, 0, 0));
    s.Pixels.at<cv::Vec4b>(0, 0) = cv::Vec4b(0, 0, 255, 255);
    s.Bits = 32;
    s.HasAlpha = true;
    TempDir dir;
    std::string png = dir.File("a.png");
    ASSERT_EQ(Convert(s, png, {"-bit", "32"}), ecSuccess);
    TDecoded d = DecodeFile(png);
    EXPECT_EQ(d.Pixels.at<cv::Vec4b>(0, 0), cv::Vec4b(0, 0, 255, 255));
    EXPECT_EQ(d.Pixels.at<cv::Vec4b>(3, 3)[3], 0);
    std::string flat = dir.File("b.png");
    ASSERT_EQ(Convert(s, flat, {"-bit", "24", "-c", std::to_string(RGB(0, 255, 0))}), ecSuccess);
    d = DecodeFile(flat);
    EXPECT_EQ(d.Pixels.at<cv::Vec4b>(3, 3), cv::Vec4b(0, 255, 0, 255));
    std::string jpg = dir.File("c.jpg");   // default fill: white
    ASSERT_EQ(Convert(s, jpg, {"-s", "40x40"}), ecSuccess);
    d = DecodeFile(jpg);
    EXPECT_GE(d.Pixels.at<cv::Vec4b>(39, 39)[1], 250);
}

TEST(ConverterOutput, GreyImagesMakeGreyJpegsUnlessColourIsAsked) {
    TSourceImage s;
    s.Pixels = SolidImage(16, 16, cv::Scalar(90, 90, 90, 255));
    TempDir dir;
    ASSERT_EQ(Convert(s, dir.File("g.jpg")), ecSuccess);
    EXPECT_EQ(DecodeFile(dir.File("g.jpg")).Bits, 8);
    ASSERT_EQ(Convert(s, dir.File("c.jpg"), {"-bit", "24"}), ecSuccess);
    EXPECT_EQ(DecodeFile(dir.File("c.jpg")).Bits, 24);
}

TEST(ConverterOutput, EverySizeModeGivesItsSize) {
    TempDir dir;
    struct Case { const char* size; const char* mode; int w, h; };
    const Case cases[] = {{"20x20", "s", 20, 20}, {"20x20", "sp", 20, 15}, {"20x20", "c", 20, 20},
                          {"20x20", "cp", 20, 20}, {"50%", "s", 20, 15}, {"200%", "sp", 80, 60}};
    int n = 0;
    for (const auto& c : cases) {
        std::string out = dir.File("s" + std::to_string(n++) + ".png");
        ASSERT_EQ(Convert(Colourful(), out, {"-s", c.size, "-x", c.mode}), ecSuccess);
        TDecoded d = DecodeFile(out);
        EXPECT_EQ(d.Width, c.w) << c.size << c.mode;
        EXPECT_EQ(d.Height, c.h) << c.size << c.mode;
    }
    // -x without -s, and a rotation by 0, change nothing.
    std::string same = dir.File("same.png");
    ASSERT_EQ(Convert(Colourful(), same, {"-x", "cp", "-r", "0"}), ecSuccess);
    EXPECT_EQ(DecodeFile(same).Pixels.size(), cv::Size(40, 30));
    EXPECT_EQ(DecodeFile(same).Pixels.at<cv::Vec4b>(29, 39), cv::Vec4b(39, 29, 7, 255));
    // cp extends a 20 x 15 fit with the fill colour above and below.
    std::string out = dir.File("cp.png");
    ASSERT_EQ(Convert(Colourful(), out, {"-s", "20x20", "-x", "cp", "-c", std::to_string(RGB(1, 2, 3))}), ecSuccess);
    TDecoded d = DecodeFile(out);
    EXPECT_EQ(d.Pixels.at<cv::Vec4b>(0, 10), cv::Vec4b(3, 2, 1, 255));
    EXPECT_EQ(d.Pixels.at<cv::Vec4b>(19, 10), cv::Vec4b(3, 2, 1, 255));
}
