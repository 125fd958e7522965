// Real bitmaps of every pixel format through the tool, against reference renderings.
#include <dirent.h>
#include <gtest/gtest.h>

#include "ConverterTestSupport.h"
#include "TestSupport.h"

TEST(ConverterFixtures, BitmapSuiteMatchesItsReferences) {
    const std::string fixtures = FixturesDir();
    if (fixtures.empty()) GTEST_SKIP() << "the fixtures folder (../shared/fixtures) is absent";
    const std::string refs = fixtures + "/refs/bmp/g";
    DIR* d = opendir(refs.c_str());
    if (!d) GTEST_SKIP() << "no reference renderings in " << refs;
    std::vector<std::string> names;
    while (dirent* e = readdir(d)) {
        std::string n = e->d_name;
        if (n.size() > 8 && n.compare(n.size() - 8, 8, ".bmp.png") == 0) names.push_back(n.substr(0, n.size() - 4));
    }
    closedir(d);
    ASSERT_FALSE(names.empty());
    TempDir dir;
    for (const auto& name : names) {
        // No options: same size, same pixels (within the rounding of 5- and 6-bit levels).
        std::string out = dir.File(name + ".png"), text;
        ASSERT_EQ(RunTool({"-i", fixtures + "/bmp/g/" + name, "-o", out}, &text), 0) << name << ": " << text;
        TDecoded got = DecodeFile(out), want = DecodeFile(refs + "/" + name + ".png");
        ASSERT_EQ(got.Pixels.size(), want.Pixels.size()) << name;
        int worst = 0;
        for (int y = 0; y < got.Height; ++y)
            for (int x = 0; x < got.Width; ++x)
                for (int c = 0; c < 3; ++c)
                    worst = std::max(worst, std::abs(got.Pixels.at<cv::Vec4b>(y, x)[c] - want.Pixels.at<cv::Vec4b>(y, x)[c]));
        EXPECT_LE(worst, 2) << name;
    }
}
