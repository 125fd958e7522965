// Targa files written by other programs: the fixture files and files made here by ImageMagick and
// netpbm, compared with an independent decoder's rendering and with the images they were made from.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "Classes.h"
#include "ReferenceImage.h"
#include "TargaGraphic.h"
#include "TestSupport.h"

namespace {

#define REQUIRE_IMAGEMAGICK() \
    if (!HaveProgram("convert")) GTEST_SKIP() << "ImageMagick's convert (Debian package imagemagick) is not installed";

std::unique_ptr<TTargaGraphic> LoadTarga(const std::string& fileName) {
    auto g = std::make_unique<TTargaGraphic>();
    g->LoadFromFile(fileName);
    return g;
}

// ImageMagick's rendering of a file as an 8-bit PNG. ImageMagick keeps the rows of a bottom-up file
// in their stored order and only notes the orientation, so the rendering turns them upright.
bool Render(const std::string& fileName, const std::string& pngName, ReferenceImage& image) {
    return RunCommand("convert '" + fileName + "' -auto-orient -depth 8 'png:" + pngName + "' 2>/dev/null") == 0 &&
           LoadReferenceImage(pngName, image);
}

std::vector<uint8_t> FileBytes(const std::string& fileName) {
    const std::string s = ReadBytes(fileName);
    return std::vector<uint8_t>(s.begin(), s.end());
}

void WriteFile(const std::string& fileName, const std::vector<uint8_t>& bytes) {
    WriteBytes(fileName, std::string(bytes.begin(), bytes.end()));
}

}  // namespace

TEST(TargaConformance, FixtureFilesMatchAnIndependentDecoder) {
    const std::string dir = FixturesDir();
    if (dir.empty()) GTEST_SKIP() << "fixture folder ../shared/fixtures is absent";
    REQUIRE_IMAGEMAGICK();
    struct File {
        const char* name;
        int width, height;
        TPixelFormat format;
        int tolerance;  // 5-bit colour map entries are widened by 8 here, by 255 / 31 there
    };
    const File files[] = {
        {"1x1_l_bl_raw.tga", 1, 1, pf8bit, 0},         {"200x32_l_tl_raw.tga", 200, 32, pf8bit, 0},
        {"200x32_p_bl_raw.tga", 200, 32, pf8bit, 0},   {"200x32_p_tl_rle.tga", 200, 32, pf8bit, 0},
        {"200x32_rgb_bl_raw.tga", 200, 32, pf24bit, 0}, {"200x32_rgb_tl_rle.tga", 200, 32, pf24bit, 0},
        {"200x32_rgba_tl_raw.tga", 200, 32, pf32bit, 0}, {"p_16.tga", 128, 128, pf8bit, 7},
        {"rgba16.tga", 2, 1, pf15bit, 1},
    };
    TempDir temp;
    for (const File& f : files) {
        SCOPED_TRACE(f.name);
        const std::string path = dir + "/tga/" + f.name;
        auto image = LoadTarga(path);
        TTargaGraphic& g = *image;
        EXPECT_EQ(f.width, g.Width());
        EXPECT_EQ(f.height, g.Height());
        EXPECT_EQ(f.format, g.PixelFormat());
        ReferenceImage ref;
        ASSERT_TRUE(Render(path, temp.File("ref.png"), ref));
        std::string where;
        EXPECT_LE(MaxSampleDifference(g, ref, &where), f.tolerance) << "at " << where;
    }
}

TEST(TargaConformance, FilesMadeByOtherProgramsShowTheirSource) {
    REQUIRE_IMAGEMAGICK();
    TempDir dir;
    // A picture of 71 colours: a gradient and two flat rectangles, so both packet kinds occur.
    const std::string src = dir.File("src.ppm");
    ASSERT_EQ(0, RunCommand("convert -size 97x61 gradient:red-blue -fill white -draw 'rectangle 10,10 40,30' "
                            "-fill '#123456' -draw 'rectangle 50,20 90,50' -depth 8 " + src));
    ASSERT_EQ(0, RunCommand("convert -size 97x61 gradient:black-white -depth 8 " + dir.File("grey.pgm")));
    // ImageMagick writes the rows of its bottom-up files top row first, so by the format's own
    // rule those files show the picture upside down (as other decoders show them too).
    ASSERT_EQ(0, RunCommand("convert " + src + " -flip " + dir.File("flipped.ppm")));
    ASSERT_EQ(0, RunCommand("convert " + dir.File("grey.pgm") + " -flip " + dir.File("greyflipped.pgm")));
    ReferenceImage colour, grey, colourFlipped, greyFlipped;
    ASSERT_TRUE(Render(src, dir.File("src.png"), colour));
    ASSERT_TRUE(Render(dir.File("grey.pgm"), dir.File("grey.png"), grey));
    ASSERT_TRUE(Render(dir.File("flipped.ppm"), dir.File("flipped.png"), colourFlipped));
    ASSERT_TRUE(Render(dir.File("greyflipped.pgm"), dir.File("greyflipped.png"), greyFlipped));

    struct Made {
        const char* name;
        std::string command;  // %s: the output file
        bool greySource;
        bool flipped;  // written by ImageMagick bottom-up
        TPixelFormat format;
        int tolerance;  // against ImageMagick's rendering: 5-bit samples are widened differently there
    };
    const bool netpbm = HaveProgram("ppmtotga");
    std::vector<Made> made = {
        {"24-bit raw, bottom-up", "convert " + src + " -compress None %s", false, true, pf24bit, 0},
        {"24-bit RLE, bottom-up", "convert " + src + " -compress RLE %s", false, true, pf24bit, 0},
        {"24-bit RLE, top-down", "convert " + src + " -orient TopLeft -compress RLE %s", false, false, pf24bit, 0},
        {"32-bit raw", "convert " + src + " -alpha on -compress None %s", false, true, pf32bit, 0},
        {"32-bit RLE, top-down", "convert " + src + " -alpha on -orient TopLeft -compress RLE %s", false, false, pf32bit, 0},
        {"16-bit raw", "convert " + src + " -depth 5 -compress None %s", false, true, pf15bit, 1},
        {"16-bit RLE", "convert " + src + " -depth 5 -compress RLE %s", false, true, pf15bit, 1},
        {"colour-mapped raw", "convert " + src + " -type Palette -compress None %s", false, true, pf8bit, 0},
        {"colour-mapped RLE", "convert " + src + " -type Palette -compress RLE %s", false, true, pf8bit, 0},
        {"grey raw", "convert " + dir.File("grey.pgm") + " -type Grayscale -compress None %s", true, true, pf8bit, 0},
        {"grey RLE, top-down",
         "convert " + dir.File("grey.pgm") + " -type Grayscale -orient TopLeft -compress RLE %s", true, false, pf8bit, 0},
    };
    if (netpbm) {
        made.push_back({"netpbm 24-bit raw", "ppmtotga -rgb -norle " + src + " > %s 2>/dev/null", false, false, pf24bit, 0});
        made.push_back({"netpbm colour-mapped RLE with an image ID", "ppmtotga -cmap " + src + " > %s 2>/dev/null",
                        false, false, pf8bit, 0});
        made.push_back({"netpbm 15-bit colour map", "ppmtotga -cmap16 " + src + " > %s 2>/dev/null", false, false, pf8bit, 7});
    }
    int n = 0;
    for (const Made& m : made) {
        SCOPED_TRACE(m.name);
        const std::string file = dir.File("made" + std::to_string(n++) + ".tga");
        std::string command = m.command;
        command.replace(command.find("%s"), 2, file);
        ASSERT_EQ(0, RunCommand(command));
        auto image = LoadTarga(file);
        TTargaGraphic& g = *image;
        EXPECT_EQ(m.format, g.PixelFormat());
        std::string where;
        const ReferenceImage& source = m.greySource ? (m.flipped ? greyFlipped : grey) : (m.flipped ? colourFlipped : colour);
        // Files with 5-bit samples hold a reduced copy of the source.
        EXPECT_LE(MaxSampleDifference(g, source, &where), m.tolerance ? 16 : 0) << "against the source at " << where;
        ReferenceImage independent;
        ASSERT_TRUE(Render(file, dir.File("made.png"), independent));
        EXPECT_LE(MaxSampleDifference(g, independent, &where), m.tolerance) << "against ImageMagick at " << where;

        // Written back by us, raw and run-length encoded: the same pixels here and in ImageMagick.
        for (bool compressed : {false, true}) {
            SCOPED_TRACE(compressed ? "written RLE" : "written raw");
            TMemoryStream out;
            g.SaveToStream(out, compressed);
            const std::string written = dir.File("written.tga");
            out.SaveToFile(written);
            EXPECT_EQ(0, MaxSampleDifference(g, *LoadTarga(written)));
            ReferenceImage theirs;
            ASSERT_TRUE(Render(written, dir.File("written.png"), theirs));
            // 5-bit samples: ImageMagick widens them by 255 / 31, the bitmap by bit replication.
            EXPECT_LE(MaxSampleDifference(g, theirs, &where), g.PixelFormat() == pf15bit ? 1 : 0) << "at " << where;
        }
    }
}

TEST(TargaConformance, ColourMapsOfEveryEntrySizeAndPacketsAcrossRows) {
    REQUIRE_IMAGEMAGICK();
    TempDir dir;
    const std::string src = dir.File("src.ppm");
    ASSERT_EQ(0, RunCommand("convert -size 61x37 gradient:yellow-navy -fill red -draw 'rectangle 3,3 50,9' -depth 8 " + src));
    ReferenceImage source;
    ASSERT_TRUE(Render(src, dir.File("src.png"), source));
    // ImageMagick writes 24-bit maps; the same file with its map stored in 15, 16 and 32 bits.
    const std::string base = dir.File("base.tga");
    ASSERT_EQ(0, RunCommand("convert " + src + " -type Palette -orient TopLeft -compress None " + base));
    const std::vector<uint8_t> bytes = FileBytes(base);
    ASSERT_GT(bytes.size(), 18u);
    ASSERT_EQ(1, bytes[1]);
    ASSERT_EQ(24, bytes[7]);
    const size_t mapStart = 18 + bytes[0];
    const size_t entries = size_t(bytes[5] | bytes[6] << 8);
    const size_t mapEnd = mapStart + entries * 3;
    for (uint8_t size : {15, 16, 32}) {
        SCOPED_TRACE(int(size));
        std::vector<uint8_t> file(bytes.begin(), bytes.begin() + ptrdiff_t(mapStart));
        file[7] = size;
        for (size_t e = 0; e < entries; ++e) {
            const uint8_t* bgr = &bytes[mapStart + e * 3];
            if (size == 32) {
                file.insert(file.end(), {bgr[0], bgr[1], bgr[2], 0x80});
            } else {
                const unsigned w = unsigned(bgr[0] >> 3) | unsigned(bgr[1] >> 3) << 5 | unsigned(bgr[2] >> 3) << 10;
                file.insert(file.end(), {uint8_t(w), uint8_t(w >> 8)});
            }
        }
        file.insert(file.end(), bytes.begin() + ptrdiff_t(mapEnd), bytes.end());
        const std::string name = dir.File("map" + std::to_string(size) + ".tga");
        WriteFile(name, file);
        auto g = LoadTarga(name);
        EXPECT_EQ(pf8bit, g->PixelFormat());
        std::string where;
        EXPECT_LE(MaxSampleDifference(*g, source, &where), size == 32 ? 0 : 7) << "at " << where;
    }

    // Run-length packets that run on over row ends (allowed by the first version of the format),
    // here one packet per 50 pixels of rows of 61, and ImageMagick agrees on the picture.
    TTargaGraphic plain;
    plain.LoadFromFile(dir.File("map32.tga"));
    std::vector<uint8_t> rle(bytes.begin(), bytes.begin() + ptrdiff_t(mapEnd));
    rle[2] = 9;
    rle[17] |= 0x20;  // rows from the top
    std::vector<uint8_t> pixels;
    for (int r = 0; r < plain.Height(); ++r) pixels.insert(pixels.end(), plain.ScanLine(r), plain.ScanLine(r) + 61);
    for (size_t at = 0; at < pixels.size(); at += 50) {
        const size_t n = std::min<size_t>(50, pixels.size() - at);
        const bool run = std::all_of(pixels.begin() + ptrdiff_t(at), pixels.begin() + ptrdiff_t(at + n),
                                     [&](uint8_t v) { return v == pixels[at]; });
        if (run) {
            rle.insert(rle.end(), {uint8_t(0x80 | (n - 1)), pixels[at]});
        } else {
            rle.push_back(uint8_t(n - 1));
            rle.insert(rle.end(), pixels.begin() + ptrdiff_t(at), pixels.begin() + ptrdiff_t(at + n));
        }
    }
    const std::string crossing = dir.File("crossing.tga");
    WriteFile(crossing, rle);
    auto g = LoadTarga(crossing);
    EXPECT_EQ(0, MaxSampleDifference(plain, *g));
    ReferenceImage theirs;
    ASSERT_TRUE(Render(crossing, dir.File("crossing.png"), theirs));
    EXPECT_EQ(0, MaxSampleDifference(*g, theirs));
}
