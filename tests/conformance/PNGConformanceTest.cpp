// The PNG reader over the PNG suite's files in the fixture folder, compared with libpng's rendering
// of the same files after the reader's own rules: gAMA files are corrected for a 2.2 display and
// 16-bit samples are reduced by division by 257.
#include <gtest/gtest.h>
#include <png.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <dirent.h>
#include <memory>
#include <string>
#include <vector>

#include "GraphicColor.h"
#include "PNGGraphic.h"
#include "TestSupport.h"

namespace {

std::string PngDir() {
    const std::string dir = FixturesDir();
    return dir.empty() || !DirectoryExists(dir + "/png") ? "" : dir + "/png/";
}

std::vector<std::string> PngFiles() {
    std::vector<std::string> names;
    if (DIR* d = opendir(PngDir().c_str())) {
        while (dirent* e = readdir(d)) {
            const std::string name = e->d_name;
            if (name.size() > 4 && name.substr(name.size() - 4) == ".png") names.push_back(name);
        }
        closedir(d);
    }
    std::sort(names.begin(), names.end());
    return names;
}

// libpng's pixels as 8-bit RGB: palettes and small grey depths expanded, grey made RGB, 16-bit
// samples divided by 257, and, when the file has a gamma, every colour passed through the table
// the reader builds for it.
struct Rendering {
    uint32_t Width = 0, Height = 0;
    std::vector<uint8_t> Rgb;
};

bool RenderWithLibpng(const std::string& fileName, Rendering& out) {
    FILE* f = std::fopen(fileName.c_str(), "rb");
    if (!f) return false;
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    bool ok = false;
    if (setjmp(png_jmpbuf(png)) == 0) {
        png_init_io(png, f);
        png_read_png(png, info, PNG_TRANSFORM_EXPAND | PNG_TRANSFORM_GRAY_TO_RGB, nullptr);
        out.Width = png_get_image_width(png, info);
        out.Height = png_get_image_height(png, info);
        const unsigned channels = png_get_channels(png, info), depth = png_get_bit_depth(png, info);
        std::array<uint8_t, 256> lut;
        for (unsigned i = 0; i < 256; ++i) lut[i] = uint8_t(i);
        png_fixed_point gamma = 0;
        if (png_get_gAMA_fixed(png, info, &gamma)) {
            TColorManager manager;
            manager.DefineGamma(float(gamma) / 100000.0f, 2.2f);
            lut = manager.GammaLookup();
        }
        png_bytepp rows = png_get_rows(png, info);
        out.Rgb.clear();
        for (uint32_t y = 0; y < out.Height; ++y)
            for (uint32_t x = 0; x < out.Width; ++x)
                for (unsigned c = 0; c < 3; ++c) {
                    const png_bytep p = rows[y] + (size_t(x) * channels + c) * (depth / 8);
                    const unsigned v = depth == 16 ? unsigned(p[0] << 8 | p[1]) / 257 : p[0];
                    out.Rgb.push_back(lut[v]);
                }
        ok = true;
    }
    png_destroy_read_struct(&png, &info, nullptr);
    std::fclose(f);
    return ok;
}

}  // namespace

TEST(PNGConformance, GoodSuiteFilesMatchLibpngUnderTheReadersRules) {
    if (PngDir().empty()) GTEST_SKIP() << "fixture folder ../shared/fixtures/png is absent";
    int checked = 0;
    for (const std::string& name : PngFiles()) {
        if (name[0] == 'x') continue;
        SCOPED_TRACE(name);
        Rendering ref;
        ASSERT_TRUE(RenderWithLibpng(PngDir() + name, ref));
        TPNGGraphic g;
        g.LoadFromFile(PngDir() + name);
        ASSERT_EQ(ref.Width, uint32_t(g.Width()));
        ASSERT_EQ(ref.Height, uint32_t(g.Height()));
        int worst = 0;
        std::string where;
        for (uint32_t y = 0; y < ref.Height; ++y)
            for (uint32_t x = 0; x < ref.Width; ++x) {
                const TColor c = g.Canvas().Pixel(int32_t(x), int32_t(y));
                const uint8_t* p = &ref.Rgb[(size_t(y) * ref.Width + x) * 3];
                const int d = std::max({std::abs(GetRValue(c) - p[0]), std::abs(GetGValue(c) - p[1]),
                                        std::abs(GetBValue(c) - p[2])});
                if (d > worst) worst = d, where = std::to_string(x) + "," + std::to_string(y);
            }
        EXPECT_EQ(0, worst) << "at " << where;
        ++checked;
    }
    EXPECT_GT(checked, 70);
}

TEST(PNGConformance, CorruptSuiteFilesEndWithAnError) {
    if (PngDir().empty()) GTEST_SKIP() << "fixture folder ../shared/fixtures/png is absent";
    int checked = 0;
    for (const std::string& name : PngFiles()) {
        if (name[0] != 'x') continue;
        SCOPED_TRACE(name);
        TPNGGraphic g;
        EXPECT_THROW(g.LoadFromFile(PngDir() + name), Exception);
        ++checked;
    }
    EXPECT_GT(checked, 0);
}

TEST(PNGConformance, SuiteFilesLoadThroughThePictureLayer) {
    if (PngDir().empty()) GTEST_SKIP() << "fixture folder ../shared/fixtures/png is absent";
    TPicture picture;
    picture.LoadFromFile(PngDir() + "basn6a16.png");
    ASSERT_TRUE(picture.Graphic()->InheritsFrom(&TPNGGraphic::Class));
    EXPECT_EQ(32, picture.Width());
    EXPECT_EQ(32, picture.Height());
}
