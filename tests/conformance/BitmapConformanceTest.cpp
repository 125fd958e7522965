#include <gtest/gtest.h>

#include <random>

#include "Classes.h"
#include "Graphics.h"
#include "ReferenceImage.h"
#include "TestSupport.h"

namespace {

std::string BmpDir() {
    std::string dir = FixturesDir();
    return dir.empty() ? dir : dir + "/bmp/g/";
}

#define REQUIRE_BMP_FIXTURES()                                                                      \
    if (BmpDir().empty()) GTEST_SKIP() << "fixture folder ../shared/fixtures is absent";

struct GoodFile {
    const char* name;
    int width, height;
    TPixelFormat format;
    const char* sameAs;  // a file with a reference rendering that shows the same picture
};

const GoodFile goodFiles[] = {
    {"pal1.bmp", 127, 64, pf1bit, nullptr},         {"pal1bg.bmp", 127, 64, pf1bit, nullptr},
    {"pal1wb.bmp", 127, 64, pf1bit, nullptr},       {"pal4.bmp", 127, 64, pf4bit, nullptr},
    {"pal4rle.bmp", 127, 64, pf4bit, "pal4.bmp"},   {"pal8-0.bmp", 127, 64, pf8bit, "pal8.bmp"},
    {"pal8.bmp", 127, 64, pf8bit, nullptr},         {"pal8nonsquare.bmp", 127, 32, pf8bit, nullptr},
    {"pal8os2.bmp", 127, 64, pf8bit, "pal8.bmp"},   {"pal8rle.bmp", 127, 64, pf8bit, "pal8.bmp"},
    {"pal8topdown.bmp", 127, 64, pf8bit, "pal8.bmp"}, {"pal8v4.bmp", 127, 64, pf8bit, "pal8.bmp"},
    {"pal8v5.bmp", 127, 64, pf8bit, "pal8.bmp"},    {"pal8w124.bmp", 124, 61, pf8bit, nullptr},
    {"pal8w125.bmp", 125, 62, pf8bit, nullptr},     {"pal8w126.bmp", 126, 63, pf8bit, nullptr},
    {"rgb16-565.bmp", 127, 64, pf16bit, nullptr},   {"rgb16-565pal.bmp", 127, 64, pf16bit, "rgb16-565.bmp"},
    {"rgb16.bmp", 127, 64, pf15bit, nullptr},       {"rgb24.bmp", 127, 64, pf24bit, nullptr},
    {"rgb24pal.bmp", 127, 64, pf24bit, "rgb24.bmp"}, {"rgb32.bmp", 127, 64, pf32bit, "rgb24.bmp"},
    {"rgb32bf.bmp", 127, 64, pf24bit, "rgb24.bmp"},
};

}  // namespace

TEST(BitmapConformance, GoodFilesMatchTheirReferenceRenderings) {
    REQUIRE_BMP_FIXTURES();
    const std::string refs = FixturesDir() + "/refs/bmp/g/";
    for (const auto& f : goodFiles) {
        SCOPED_TRACE(f.name);
        TBitmap b;
        b.LoadFromFile(BmpDir() + f.name);
        EXPECT_EQ(f.width, b.Width());
        EXPECT_EQ(f.height, b.Height());
        EXPECT_EQ(f.format, b.PixelFormat());
        const std::string refName = std::string(f.sameAs ? f.sameAs : f.name) + ".png";
        ReferenceImage ref;
        if (!LoadReferenceImage(refs + refName, ref)) continue;  // no rendering for this picture
        std::string where;
        // The references' palettes differ from the files' by 1 in places; 16-bit files: the
        // references widen 5- and 6-bit samples by a different rounding.
        const int tolerance = (f.format == pf15bit || f.format == pf16bit) ? 8 : 1;
        EXPECT_LE(MaxSampleDifference(b, ref, &where), tolerance) << "at " << where << " against " << refName;
    }
}

TEST(BitmapConformance, GoodFilesSurviveSaveAndLoad) {
    REQUIRE_BMP_FIXTURES();
    for (const auto& f : goodFiles) {
        SCOPED_TRACE(f.name);
        TBitmap a;
        a.LoadFromFile(BmpDir() + f.name);
        TMemoryStream s;
        a.SaveToStream(s);
        s.SetPosition(0);
        TBitmap b;
        b.LoadFromStream(s);
        EXPECT_EQ(a.PixelFormat(), b.PixelFormat());
        EXPECT_EQ(0, MaxSampleDifference(a, b));
    }
}

// Damaged copies of the good files (cut short, header and data bytes changed) must end with an
// error or load; never crash, hang or read outside their data.
TEST(BitmapConformance, DamagedFilesEndWithAnErrorNeverACrash) {
    REQUIRE_BMP_FIXTURES();
    std::mt19937 random(1234);
    int failures = 0, loads = 0;
    for (const auto& f : goodFiles) {
        const std::string good = ReadBytes(BmpDir() + f.name);
        std::vector<std::string> variants;
        for (size_t cut : {size_t(2), size_t(14), size_t(20), size_t(54), good.size() / 2, good.size() - 1})
            variants.push_back(good.substr(0, cut));
        for (int i = 0; i < 40; ++i) {
            std::string v = good;
            const size_t headerEnd = std::min<size_t>(v.size(), 160);
            for (int k = 0; k < 3; ++k) v[random() % headerEnd] = char(random());
            v[random() % v.size()] = char(random());
            variants.push_back(v);
        }
        for (const auto& v : variants) {
            TMemoryStream s(v.data(), v.size());
            TBitmap b;
            try {
                b.LoadFromStream(s);
                ++loads;
            } catch (const Exception&) {
                ++failures;
            }
        }
    }
    EXPECT_GT(failures, 0);
    EXPECT_GT(loads, 0);
}
