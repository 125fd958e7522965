#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "Classes.h"
#include "PCXGraphic.h"
#include "ReferenceImage.h"
#include "TestSupport.h"

namespace {

// Reads a binary PPM (P6, 8-bit samples) written by the Debian tools; false when it cannot.
bool LoadPPM(const std::string& fileName, ReferenceImage& image) {
    const std::string data = ReadBytes(fileName);
    size_t pos = 0;
    auto token = [&]() {
        while (pos < data.size()) {
            if (data[pos] == '#') {
                while (pos < data.size() && data[pos] != '\n') ++pos;
            } else if (std::isspace(static_cast<unsigned char>(data[pos]))) {
                ++pos;
            } else {
                break;
            }
        }
        const size_t start = pos;
        while (pos < data.size() && !std::isspace(static_cast<unsigned char>(data[pos]))) ++pos;
        return data.substr(start, pos - start);
    };
    if (token() != "P6") return false;
    const unsigned long width = std::stoul(token()), height = std::stoul(token()), maxValue = std::stoul(token());
    ++pos;
    if (maxValue != 255 || data.size() < pos + width * height * 3) return false;
    image.Width = uint32_t(width);
    image.Height = uint32_t(height);
    image.Rgba.assign(width * height * 4, 255);
    for (size_t i = 0; i < width * height; ++i)
        for (size_t k = 0; k < 3; ++k) image.Rgba[4 * i + k] = uint8_t(data[pos + 3 * i + k]);
    return true;
}

bool HaveTools() { return HaveProgram("convert") && HaveProgram("ppmtopcx") && HaveProgram("pcxtoppm"); }

#define REQUIRE_TOOLS()                                                                                      \
    if (!HaveTools()) GTEST_SKIP() << "ImageMagick's convert and netpbm's ppmtopcx and pcxtoppm are needed";

std::string Quote(const std::string& s) { return "'" + s + "'"; }

}  // namespace

// Every PCX fixture: files another decoder reads show the same pixels here; the rest end with an
// error of the library, never a crash.
TEST(PCXConformance, FixtureFilesMatchAnIndependentDecoder) {
    const std::string dir = FixturesDir().empty() ? "" : FixturesDir() + "/pcx";
    if (dir.empty() || !std::filesystem::is_directory(dir)) GTEST_SKIP() << "fixture folder ../shared/fixtures/pcx is absent";
    if (!HaveProgram("pcxtoppm")) GTEST_SKIP() << "netpbm's pcxtoppm is needed";
    TempDir tmp;
    int compared = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        const std::string file = entry.path().string();
        SCOPED_TRACE(file);
        ReferenceImage reference;
        const std::string ppm = tmp.File("ref.ppm");
        const bool readable = RunCommand("pcxtoppm " + Quote(file) + " > " + Quote(ppm) + " 2>/dev/null") == 0 &&
                              LoadPPM(ppm, reference);
        TPCXGraphic g;
        try {
            g.LoadFromFile(file);
        } catch (const Exception& e) {
            EXPECT_FALSE(readable) << "refused a file another decoder reads: " << e.what();
            continue;
        }
        if (!readable) continue;
        std::string where;
        EXPECT_EQ(0, MaxSampleDifference(g, reference, &where)) << "first difference at " << where;
        ++compared;
    }
    EXPECT_GT(compared, 0);
}

// Files written at test time by ImageMagick and netpbm in every layout they produce, stored and
// run-length encoded, compared pixel for pixel with the picture they were made from.
TEST(PCXConformance, FilesOfOtherWritersShowTheirSourcePicture) {
    REQUIRE_TOOLS();
    TempDir tmp;
    auto path = [&](const std::string& name) { return Quote(tmp.File(name)); };
    // An odd width, so that lines are padded and bit rows end inside a byte.
    ASSERT_EQ(0, RunCommand("convert rose: -resize 67x43! " + path("full.ppm")));
    ASSERT_EQ(0, RunCommand("convert " + path("full.ppm") + " +dither -colors 200 " + path("c200.ppm")));
    ASSERT_EQ(0, RunCommand("convert " + path("full.ppm") + " +dither -colors 16 " + path("c16.ppm")));
    ASSERT_EQ(0, RunCommand("convert " + path("full.ppm") + " +dither -colors 8 " + path("c8.ppm")));
    ASSERT_EQ(0, RunCommand("convert " + path("full.ppm") + " +dither -colors 4 " + path("c4.ppm")));
    ASSERT_EQ(0, RunCommand("convert " + path("full.ppm") + " -monochrome " + path("mono.pbm")));
    ASSERT_EQ(0, RunCommand("convert " + path("mono.pbm") + " -depth 8 -type TrueColor " + path("mono.ppm")));

    struct Case {
        const char* name;
        const char* command;  // {src} and {out} are replaced
        const char* source;   // the picture the file shows, as a PPM
        TPixelFormat format;
        uint8_t bits, planes, encoding;
    } cases[] = {
        {"IM 24-bit packed", "convert {src} {out}", "full.ppm", pf24bit, 8, 3, 1},
        {"IM 24-bit stored", "convert {src} -compress None {out}", "full.ppm", pf24bit, 8, 3, 0},
        {"IM 8-bit palette packed", "convert {src} -type Palette {out}", "c200.ppm", pf8bit, 8, 1, 1},
        {"IM 8-bit palette stored", "convert {src} -type Palette -compress None {out}", "c200.ppm", pf8bit, 8, 1, 0},
        {"netpbm 24-bit", "ppmtopcx -24bit {src} > {out}", "full.ppm", pf24bit, 8, 3, 1},
        {"netpbm 8-bit", "ppmtopcx -8bit {src} > {out}", "c200.ppm", pf8bit, 8, 1, 1},
        {"netpbm 1 bit x 4 planes", "ppmtopcx {src} > {out}", "c16.ppm", pf4bit, 1, 4, 1},
        {"netpbm 1 bit x 3 planes", "ppmtopcx -planes 3 {src} > {out}", "c8.ppm", pf4bit, 1, 3, 1},
        {"netpbm 4 bits packed", "ppmtopcx -packed {src} > {out}", "c16.ppm", pf4bit, 4, 1, 1},
        {"netpbm 2 bits packed", "ppmtopcx -packed {src} > {out}", "c4.ppm", pf4bit, 2, 1, 1},
        {"netpbm 1 bit", "ppmtopcx {src} > {out}", "mono.ppm", pf1bit, 1, 1, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string command = c.command;
        command.replace(command.find("{src}"), 5, path(c.source));
        command.replace(command.find("{out}"), 5, path("out.pcx"));
        ASSERT_EQ(0, RunCommand(command + " 2>/dev/null"));
        ReferenceImage reference;
        ASSERT_TRUE(LoadPPM(tmp.File(c.source), reference));
        TPCXGraphic g;
        g.LoadFromFile(tmp.File("out.pcx"));
        // The tools choose the layout themselves: make sure each case covers the one it names.
        EXPECT_EQ(c.bits, g.Header().BitsPerPixel);
        EXPECT_EQ(c.planes, g.Header().Planes);
        EXPECT_EQ(c.encoding, g.Header().Encoding);
        EXPECT_EQ(c.format, g.PixelFormat());
        std::string where;
        EXPECT_EQ(0, MaxSampleDifference(g, reference, &where)) << "first difference at " << where;
    }
}

// Red, green, blue and alpha planes: the colours and the alpha byte of every pixel.
TEST(PCXConformance, FourPlaneFilesCarryAlpha) {
    REQUIRE_TOOLS();
    TempDir tmp;
    auto path = [&](const std::string& name) { return Quote(tmp.File(name)); };
    ASSERT_EQ(0, RunCommand("convert rose: -resize 31x17! -alpha set -channel A -fx '(i+j)/(w+h)' +channel " +
                            path("rgba.png")));
    ASSERT_EQ(0, RunCommand("convert " + path("rgba.png") + " " + path("out.pcx")));
    ASSERT_EQ(0, RunCommand("convert " + path("rgba.png") + " -alpha off " + path("rgb.ppm")));
    ASSERT_EQ(0, RunCommand("convert " + path("rgba.png") + " -alpha extract -type TrueColor " + path("alpha.ppm")));
    ReferenceImage colors, alpha;
    ASSERT_TRUE(LoadPPM(tmp.File("rgb.ppm"), colors));
    ASSERT_TRUE(LoadPPM(tmp.File("alpha.ppm"), alpha));
    TPCXGraphic g;
    g.LoadFromFile(tmp.File("out.pcx"));
    ASSERT_EQ(4, g.Header().Planes);
    ASSERT_EQ(pf32bit, g.PixelFormat());
    EXPECT_TRUE(g.ImageProperties.AlphaPresent);
    EXPECT_EQ(0, MaxSampleDifference(g, colors));
    int worst = 0;
    for (int y = 0; y < g.Height(); ++y)
        for (int x = 0; x < g.Width(); ++x)
            worst = std::max(worst, std::abs(int(g.ScanLine(y)[4 * x + 3]) - int(alpha.Rgba[(size_t(y) * alpha.Width + x) * 4])));
    EXPECT_EQ(0, worst);
}

// Two planes of one bit have no bitmap format here.
TEST(PCXConformance, TwoBitPlanesAreRefused) {
    REQUIRE_TOOLS();
    TempDir tmp;
    auto path = [&](const std::string& name) { return Quote(tmp.File(name)); };
    ASSERT_EQ(0, RunCommand("convert rose: +dither -colors 4 " + path("c4.ppm")));
    ASSERT_EQ(0, RunCommand("ppmtopcx -planes 2 " + path("c4.ppm") + " > " + path("out.pcx") + " 2>/dev/null"));
    TPCXGraphic g;
    try {
        g.LoadFromFile(tmp.File("out.pcx"));
        FAIL() << "no error";
    } catch (const EInvalidGraphic& e) {
        EXPECT_STREQ("Invalid color format in PCX file.", e.what());
    }
}
