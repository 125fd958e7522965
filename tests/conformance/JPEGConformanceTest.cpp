#include <gtest/gtest.h>

#include "Graphics.h"
#include "JPEGImage.h"
#include "TestSupport.h"

TEST(JPEGConformance, FixtureFilesDecodeCompletely) {
    if (FixturesDir().empty()) GTEST_SKIP() << "fixture folder ../shared/fixtures is absent";
    struct Case {
        const char* name;
        int width, height;
        bool gray;
    } cases[] = {{"hopper.jpg", 128, 128, false}, {"hopper_gray.jpg", 128, 128, true}, {"pil_sample_cmyk.jpg", 100, 100, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TPicture picture;
        picture.LoadFromFile(FixturesDir() + "/jpg/" + c.name);
        ASSERT_TRUE(picture.Graphic()->InheritsFrom(&TJPEGImage::Class));
        auto* j = static_cast<TJPEGImage*>(picture.Graphic());
        EXPECT_EQ(c.width, picture.Width());
        EXPECT_EQ(c.height, picture.Height());
        EXPECT_EQ(c.gray, j->Grayscale());
        EXPECT_EQ(c.gray ? pf8bit : pf24bit, j->Bitmap().PixelFormat());
    }
}

// The CMYK sample is stored inverted, with an Adobe marker: its top-left corner is red (no cyan,
// full magenta and yellow, no black) and its bottom-right corner black. Read as plain CMYK the
// colours would be turned around.
TEST(JPEGConformance, AdobeCmykIsReadInverted) {
    if (FixturesDir().empty()) GTEST_SKIP() << "fixture folder ../shared/fixtures is absent";
    TJPEGImage j;
    j.LoadFromFile(FixturesDir() + "/jpg/pil_sample_cmyk.jpg");
    TBitmap b;
    b.Assign(j);
    const TColor topLeft = b.Canvas().Pixel(0, 0), bottomRight = b.Canvas().Pixel(b.Width() - 1, b.Height() - 1);
    EXPECT_GT(GetRValue(topLeft), 200);
    EXPECT_LT(GetGValue(topLeft), 60);
    EXPECT_LT(GetBValue(topLeft), 60);
    EXPECT_LT(GetRValue(bottomRight) + GetGValue(bottomRight) + GetBValue(bottomRight), 3 * 40);
}
