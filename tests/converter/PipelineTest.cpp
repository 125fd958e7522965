// The image steps: sizes of every mode, rotation, effects, fill colour and transparency.
#include <gtest/gtest.h>

#include "ConverterTestSupport.h"

namespace {

TConverterOptions SizeOptions(const std::string& size, const std::string& mode) {
    std::vector<std::string> args = {"-i", "a", "-o", "b.png", "-s", size};
    if (!mode.empty()) {
        args.push_back("-x");
        args.push_back(mode);
    }
    return ParseCommandLine(args);
}

}  // namespace

TEST(ConverterPipeline, TargetSizeOfEveryMode) {
    struct Case {
        int w, h;
        const char* size;
        const char* mode;
        int scaledW, scaledH, canvasW, canvasH;
    };
    const Case cases[] = {
        {300, 200, "100x100", "s", 100, 100, 100, 100},    // stretch: exactly the box
        {300, 200, "100x100", "", 100, 100, 100, 100},     // no -x: stretch
        {300, 200, "100x100", "sp", 100, 67, 100, 67},     // fit inside, proportions kept
        {200, 300, "100x100", "sp", 67, 100, 67, 100},
        {30, 20, "300x300", "sp", 300, 200, 300, 200},     // enlarging fits too
        {300, 200, "100x100", "c", 300, 200, 100, 100},    // canvas only, no scaling
        {300, 200, "100x100", "cp", 100, 67, 100, 100},    // fit, then extend
        {300, 200, "50%", "s", 150, 100, 150, 100},
        {3, 3, "50%", "s", 2, 2, 2, 2},                    // 1.5 rounds to even
        {1, 1, "10%", "s", 1, 1, 1, 1},                    // never below one pixel
        {300, 200, "50%", "c", 300, 200, 150, 100},
        {1000, 1, "10x10", "sp", 10, 1, 10, 1},            // extreme shape keeps one row
    };
    for (const auto& c : cases) {
        TTargetSize t = ComputeTargetSize(c.w, c.h, SizeOptions(c.size, c.mode));
        EXPECT_EQ(t.ScaledWidth, c.scaledW) << c.w << "x" << c.h << " " << c.size << " " << c.mode;
        EXPECT_EQ(t.ScaledHeight, c.scaledH) << c.w << "x" << c.h << " " << c.size << " " << c.mode;
        EXPECT_EQ(t.CanvasWidth, c.canvasW) << c.w << "x" << c.h << " " << c.size << " " << c.mode;
        EXPECT_EQ(t.CanvasHeight, c.canvasH) << c.w << "x" << c.h << " " << c.size << " " << c.mode;
    }
}

TEST(ConverterPipeline, CutAndExtendKeepTheCentreAndFillTheRest) {
    const cv::Scalar fill = FillScalar(RGB(10, 20, 30));
    cv::Mat img = CoordinateImage(4, 4);
    ResizeImage(img, SizeOptions("8x6", "c"), fill, false);
    ASSERT_EQ(img.size(), cv::Size(8, 6));
    EXPECT_EQ(img.at<cv::Vec4b>(0, 0), cv::Vec4b(30, 20, 10, 255));   // new area: B, G, R of the fill
    EXPECT_EQ(img.at<cv::Vec4b>(5, 7), cv::Vec4b(30, 20, 10, 255));
    EXPECT_EQ(img.at<cv::Vec4b>(1, 2), cv::Vec4b(0, 0, 7, 255));       // source (0,0) lands at (2,1)
    EXPECT_EQ(img.at<cv::Vec4b>(4, 5), cv::Vec4b(3, 3, 7, 255));

    img = CoordinateImage(6, 6);
    ResizeImage(img, SizeOptions("2x4", "c"), fill, false);            // cut: the middle stays
    ASSERT_EQ(img.size(), cv::Size(2, 4));
    EXPECT_EQ(img.at<cv::Vec4b>(0, 0), cv::Vec4b(2, 1, 7, 255));
    EXPECT_EQ(img.at<cv::Vec4b>(3, 1), cv::Vec4b(3, 4, 7, 255));
}

TEST(ConverterPipeline, QuarterTurnsMovePixelsExactly) {
    const cv::Scalar fill = FillScalar(clWhite);
    cv::Mat src = CoordinateImage(3, 2);
    struct Case { int degrees; cv::Size size; cv::Point from, to; };
    const Case cases[] = {
        {90, {2, 3}, {0, 0}, {1, 0}},     // top-left goes to top-right
        {90, {2, 3}, {2, 1}, {0, 2}},
        {180, {3, 2}, {0, 0}, {2, 1}},
        {270, {2, 3}, {0, 0}, {0, 2}},
        {-90, {2, 3}, {0, 0}, {0, 2}},
        {450, {2, 3}, {0, 0}, {1, 0}},
        {360, {3, 2}, {1, 1}, {1, 1}},
    };
    for (const auto& c : cases) {
        cv::Mat img = src.clone();
        RotateImage(img, c.degrees, fill, false);
        ASSERT_EQ(img.size(), c.size) << c.degrees;
        EXPECT_EQ(img.at<cv::Vec4b>(c.to), src.at<cv::Vec4b>(c.from)) << c.degrees;
    }
}

TEST(ConverterPipeline, AnyAngleGrowsTheCanvasAndFillsTheCorners) {
    const cv::Scalar fill = FillScalar(RGB(0, 0, 255));
    cv::Mat img = SolidImage(100, 50, cv::Scalar(0, 255, 0, 255));
    RotateImage(img, 45, fill, false);
    // 100 cos 45 + 50 sin 45 = 106.07 each way.
    EXPECT_EQ(img.size(), cv::Size(107, 107));
    EXPECT_EQ(img.at<cv::Vec4b>(0, 0), cv::Vec4b(255, 0, 0, 255));
    EXPECT_EQ(img.at<cv::Vec4b>(106, 106), cv::Vec4b(255, 0, 0, 255));
    EXPECT_EQ(img.at<cv::Vec4b>(53, 53), cv::Vec4b(0, 255, 0, 255));
    cv::Mat tall = SolidImage(10, 10, cv::Scalar(0, 0, 0, 255));
    RotateImage(tall, 30, fill, false);
    EXPECT_EQ(tall.size(), cv::Size(14, 14));   // 10 (cos 30 + sin 30) = 13.66
}

TEST(ConverterPipeline, EffectsInTheirOrder) {
    cv::Mat img = SolidImage(3, 3, cv::Scalar(10, 100, 200, 128));
    ApplyEffects(img, "i");
    EXPECT_EQ(img.at<cv::Vec4b>(1, 1), cv::Vec4b(245, 155, 55, 128));   // alpha untouched
    ApplyEffects(img, "b");
    cv::Vec4b g = img.at<cv::Vec4b>(1, 1);
    EXPECT_EQ(g[0], g[1]);
    EXPECT_EQ(g[1], g[2]);
    EXPECT_NEAR(g[0], 0.114 * 245 + 0.587 * 155 + 0.299 * 55, 1.0);
    cv::Mat sepia = SolidImage(2, 2, cv::Scalar(128, 128, 128, 255));
    ApplyEffects(sepia, "s");
    cv::Vec4b s = sepia.at<cv::Vec4b>(0, 0);
    EXPECT_GT(s[2], s[1]);   // warm: red over green over blue
    EXPECT_GT(s[1], s[0]);
    // Emboss turns a flat area into mid grey and marks an edge.
    cv::Mat flat = SolidImage(5, 5, cv::Scalar(200, 50, 0, 255));
    ApplyEffects(flat, "e");
    EXPECT_EQ(flat.at<cv::Vec4b>(2, 2), cv::Vec4b(128, 128, 128, 255));
    cv::Mat edge = SolidImage(6, 6, cv::Scalar(0, 0, 0, 255));
    edge(cv::Rect(3, 0, 3, 6)).setTo(cv::Scalar(100, 100, 100, 255));
    ApplyEffects(edge, "e");
    EXPECT_NE(edge.at<cv::Vec4b>(3, 3)[0], 128);
    // "ib" differs from "bi" only by rounding; "si" is not "is".
    cv::Mat a = SolidImage(1, 1, cv::Scalar(10, 100, 200, 255)), b = a.clone();
    ApplyEffects(a, "si");
    ApplyEffects(b, "is");
    EXPECT_NE(a.at<cv::Vec4b>(0, 0), b.at<cv::Vec4b>(0, 0));
}

TEST(ConverterPipeline, FillColourAndSystemColours) {
    EXPECT_EQ(FillScalar(RGB(1, 2, 3)), cv::Scalar(3, 2, 1, 255));
    EXPECT_EQ(FillScalar(clBtnFace), FillScalar(ColorToRGB(clBtnFace)));
    cv::Mat img = SolidImage(2, 1, cv::Scalar(0, 0, 0, 0));
    img.at<cv::Vec4b>(0, 1) = cv::Vec4b(0, 0, 0, 255);
    FlattenAlpha(img, FillScalar(RGB(200, 100, 50)));
    EXPECT_EQ(img.at<cv::Vec4b>(0, 0), cv::Vec4b(50, 100, 200, 255));
    EXPECT_EQ(img.at<cv::Vec4b>(0, 1), cv::Vec4b(0, 0, 0, 255));
}

TEST(ConverterPipeline, ShrinkingAveragesInsteadOfPicking) {
    // A one-pixel checkerboard shrunk to half becomes flat grey with a proper filter; picking
    // pixels would keep black or white.
    cv::Mat img(8, 8, CV_8UC4);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) img.at<cv::Vec4b>(y, x) = ((x + y) & 1) ? cv::Vec4b(255, 255, 255, 255) : cv::Vec4b(0, 0, 0, 255);
    ResizeImage(img, SizeOptions("4x4", "s"), FillScalar(clWhite), false);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x) EXPECT_NEAR(img.at<cv::Vec4b>(y, x)[0], 128, 1);
}

TEST(ConverterPipeline, TooLargeResultsAreRefusedBeforeAllocating) {
    cv::Mat img = SolidImage(10, 10, cv::Scalar(0, 0, 0, 255));
    EXPECT_THROW(ResizeImage(img, SizeOptions("65500x65500", "s"), FillScalar(clWhite), false), EOutOfResources);
    cv::Mat big = SolidImage(1000, 1000, cv::Scalar(0, 0, 0, 255));
    EXPECT_THROW(ResizeImage(big, SizeOptions("10000%", "c"), FillScalar(clWhite), false), EOutOfResources);
    EXPECT_NO_THROW(CheckImageSize(65500, 2000));
    EXPECT_THROW(CheckImageSize(65501, 1), EOutOfResources);
}
