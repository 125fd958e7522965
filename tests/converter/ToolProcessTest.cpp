// The tool as a process on real files: BMP output at every depth, inputs read through the picture
// layer, the launcher's command-line form, and a kill in the middle that leaves the target intact.
#include <csignal>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include "ConverterTestSupport.h"
#include "Graphics.h"
#include "TestSupport.h"

namespace {

// A 24-bit BMP input written by the platform bitmap: pixel (x, y) = blue x, green y, red 7.
void WriteCoordinateBmp(const std::string& path, int w, int h) {
    TBitmap bmp;
    bmp.SetPixelFormat(pf24bit);
    bmp.SetSize(w, h);
    for (int y = 0; y < h; ++y) {
        uint8_t* row = bmp.ScanLine(y);
        for (int x = 0; x < w; ++x) {
            row[3 * x] = uint8_t(x);
            row[3 * x + 1] = uint8_t(y);
            row[3 * x + 2] = 7;
        }
    }
    bmp.SaveToFile(path);
}

}  // namespace

TEST(ConverterTool, BitmapOutputAtEveryDepth) {
    TempDir dir;
    std::string in = dir.File("in.bmp");
    WriteCoordinateBmp(in, 40, 30);
    struct Case { const char* bit; int count; uint32_t compression; };
    const Case cases[] = {{"1", 1, 0}, {"4", 4, 0}, {"8", 8, 0}, {"15", 16, 0}, {"16", 16, 3},
                          {"24", 24, 0}, {"32", 32, 0}, {"36", 32, 0}, {"", 24, 0}};
    for (const auto& c : cases) {
        std::string out = dir.File(std::string("o") + c.bit + ".bmp");
        std::vector<std::string> args = {"-i", in, "-o", out};
        if (*c.bit) args.insert(args.end(), {"-bit", c.bit});
        std::string text;
        ASSERT_EQ(RunTool(args, &text), 0) << c.bit << text;
        TDecoded d = DecodeFile(out);
        EXPECT_EQ(d.Width, 40);
        EXPECT_EQ(d.Height, 30);
        EXPECT_EQ(d.Bits, c.count) << c.bit;
        EXPECT_EQ(d.BmpCompression, c.compression) << c.bit;
        if (c.compression == 3) {
            EXPECT_EQ(d.BmpMasks, (std::vector<uint32_t>{0xF800, 0x07E0, 0x001F}));
        }
        if (c.count >= 24) {
            EXPECT_EQ(d.Pixels.at<cv::Vec4b>(29, 39), cv::Vec4b(39, 29, 7, 255)) << c.bit;
        }
    }
    // 15 bits is the 5-5-5 word: blue 31 (from 255) in the low bits.
    TSourceImage white;
    white.Pixels = SolidImage(2, 1, cv::Scalar(255, 0, 0, 255));
    TFakeFiles files;
    files.Images["w.bmp"] = white;
    WriteBytes(dir.File("w.bmp"), "x");
    ASSERT_EQ(RunConverter({"-i", dir.File("w.bmp"), "-o", dir.File("w15.bmp"), "-bit", "15"}, files.Loader()), 0);
    std::string bytes = ReadBytes(dir.File("w15.bmp"));
    ASSERT_GE(bytes.size(), 58u);
    EXPECT_EQ(uint8_t(bytes[54]) | uint8_t(bytes[55]) << 8, 0x001F);
}

TEST(ConverterTool, ReadsThroughThePictureLayerAndConvertsEveryType) {
    TempDir dir;
    std::string in = dir.File("src.bmp");
    WriteCoordinateBmp(in, 64, 48);
    // The launcher's form: the tool's own path first, then the options.
    for (const char* ext : {".png", ".jpg", ".gif", ".bmp"}) {
        std::string out = dir.File(std::string("dst") + ext);
        std::string text;
        ASSERT_EQ(RunTool({ToolPath(), "-i", in, "-o", out, "-s", "32x24", "-x", "s"}, &text), 0) << ext << text;
        TDecoded d = DecodeFile(out);
        EXPECT_EQ(d.Width, 32) << ext;
        EXPECT_EQ(d.Height, 24) << ext;
    }
    // Upright and averaged: output (X, Y) covers source pixels 2X, 2X + 1 and 2Y, 2Y + 1.
    TDecoded png = DecodeFile(dir.File("dst.png"));
    for (auto [x, y] : {std::pair{0, 0}, std::pair{31, 0}, std::pair{0, 23}, std::pair{31, 23}}) {
        EXPECT_NEAR(png.Pixels.at<cv::Vec4b>(y, x)[0], 2 * x + 0.5, 1.0) << x << "," << y;
        EXPECT_NEAR(png.Pixels.at<cv::Vec4b>(y, x)[1], 2 * y + 0.5, 1.0) << x << "," << y;
    }
    // Enlarged (the whole source is converted first): still upright.
    ASSERT_EQ(RunTool({"-i", in, "-o", dir.File("big.png"), "-s", "200%"}, nullptr), 0);
    TDecoded big = DecodeFile(dir.File("big.png"));
    ASSERT_EQ(big.Pixels.size(), cv::Size(128, 96));
    EXPECT_NEAR(big.Pixels.at<cv::Vec4b>(0, 0)[1], 0, 1);
    EXPECT_NEAR(big.Pixels.at<cv::Vec4b>(95, 127)[1], 47, 1);
    EXPECT_NEAR(big.Pixels.at<cv::Vec4b>(95, 127)[0], 63, 1);
    // Turned a quarter clockwise and halved: output (X, Y) comes from source x = 2Y, y = 47 - 2X.
    ASSERT_EQ(RunTool({"-i", in, "-o", dir.File("turned.png"), "-r", "90", "-s", "50%", "-e", "b"}, nullptr), 0);
    TDecoded turned = DecodeFile(dir.File("turned.png"));
    ASSERT_EQ(turned.Pixels.size(), cv::Size(24, 32));
    for (auto [x, y] : {std::pair{0, 0}, std::pair{23, 0}, std::pair{0, 31}, std::pair{23, 31}}) {
        const double b = 2 * y + 0.5, g = 47 - 2 * x - 0.5, r = 7;
        EXPECT_NEAR(turned.Pixels.at<cv::Vec4b>(y, x)[0], 0.114 * b + 0.587 * g + 0.299 * r, 1.5) << x << "," << y;
    }
    // A chain: the PNG just written is read back through the picture layer when a reader for it is
    // registered; otherwise the tool says why.
    std::string text;
    int rc = RunTool({"-i", dir.File("dst.jpg"), "-o", dir.File("again.png"), "-r", "90"}, &text);
    ASSERT_EQ(rc, 0) << text;
    EXPECT_EQ(DecodeFile(dir.File("again.png")).Width, 24);
    // Damaged input: exit code 2, nothing written.
    WriteBytes(dir.File("bad.bmp"), "BM not really a bitmap");
    EXPECT_EQ(RunTool({"-i", dir.File("bad.bmp"), "-o", dir.File("bad.png")}, &text), 2);
    EXPECT_NE(text.find("bad.bmp"), std::string::npos) << text;
    EXPECT_FALSE(FileExists(dir.File("bad.png")));
}

TEST(ConverterTool, KillDuringConversionLeavesTheTargetWhole) {
    TempDir dir;
    std::string in = dir.File("big.bmp");
    WriteCoordinateBmp(in, 800, 600);
    std::string out = dir.File("out.png");
    const std::string tool = ToolPath();
    auto start = [&]() {
        pid_t pid = fork();
        if (pid == 0) {
            execl(tool.c_str(), tool.c_str(), "-i", in.c_str(), "-o", out.c_str(), "-ow", "-s", "400%", "-x", "s",
                  "-bit", "24", static_cast<char*>(nullptr));
            _exit(127);
        }
        return pid;
    };
    // One whole run gives the duration to spread the kills over.
    WriteBytes(out, "previous content");
    const uint32_t t0 = GetTickCount();
    pid_t pid = start();
    ASSERT_GT(pid, 0);
    int status = 0;
    waitpid(pid, &status, 0);
    const uint32_t duration = std::max<uint32_t>(GetTickCount() - t0, 10);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    // Killed anywhere in its run, the tool leaves the target either as it was or complete.
    for (int tenth = 1; tenth <= 9; ++tenth) {
        WriteBytes(out, "previous content");
        pid = start();
        ASSERT_GT(pid, 0);
        usleep(useconds_t(duration * 1000u * uint32_t(tenth) / 10u));
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
        std::string bytes = ReadBytes(out);
        if (bytes != "previous content") {
            TDecoded d = DecodeFile(out);
            EXPECT_EQ(d.Width, 3200) << tenth;
            EXPECT_EQ(d.Height, 2400) << tenth;
        }
    }
}

TEST(ConverterTool, PngInputKeepsTransparencyAndExactPalettes) {
    TempDir dir;
    // Files made by the tool itself: an RGBA PNG (left half transparent) and a 3-colour palette PNG.
    TSourceImage rgba;
    rgba.Pixels = SolidImage(8, 4, cv::Scalar(0, 0, 255, 255));
    rgba.Pixels(cv::Rect(0, 0, 4, 4)).setTo(cv::Scalar(0, 0, 0, 0));
    rgba.Bits = 32;
    rgba.HasAlpha = true;
    TSourceImage few;
    few.Pixels = SolidImage(9, 3, cv::Scalar(10, 20, 30, 255));
    few.Pixels(cv::Rect(3, 0, 3, 3)).setTo(cv::Scalar(200, 100, 0, 255));
    few.Pixels(cv::Rect(6, 0, 3, 3)).setTo(cv::Scalar(1, 2, 3, 255));
    TFakeFiles files;
    files.Images["rgba.x"] = rgba;
    files.Images["few.x"] = few;
    WriteBytes(dir.File("rgba.x"), "x");
    WriteBytes(dir.File("few.x"), "x");
    ASSERT_EQ(RunConverter({"-i", dir.File("rgba.x"), "-o", dir.File("rgba.png"), "-bit", "32"}, files.Loader()), 0);
    ASSERT_EQ(RunConverter({"-i", dir.File("few.x"), "-o", dir.File("few.png"), "-bit", "8"}, files.Loader()), 0);

    std::string text;
    ASSERT_EQ(RunTool({"-i", dir.File("rgba.png"), "-o", dir.File("a.png")}, &text), 0) << text;
    TDecoded a = DecodeFile(dir.File("a.png"));
    EXPECT_EQ(a.Bits, 32);   // transparency found in the decoded image, kept without -bit
    EXPECT_EQ(a.Pixels.at<cv::Vec4b>(0, 0)[3], 0);
    EXPECT_EQ(a.Pixels.at<cv::Vec4b>(0, 7), cv::Vec4b(0, 0, 255, 255));
    ASSERT_EQ(RunTool({"-i", dir.File("rgba.png"), "-o", dir.File("a.bmp"), "-bit", "32"}, &text), 0) << text;
    EXPECT_EQ(DecodeFile(dir.File("a.bmp")).Pixels.at<cv::Vec4b>(0, 0)[3], 0);
    ASSERT_EQ(RunTool({"-i", dir.File("rgba.png"), "-o", dir.File("a.gif"), "-c", std::to_string(RGB(0, 255, 0))},
                      &text), 0) << text;
    EXPECT_EQ(DecodeFile(dir.File("a.gif")).Pixels.at<cv::Vec4b>(0, 0), cv::Vec4b(0, 255, 0, 255));

    // A palette source converted without options keeps every pixel.
    ASSERT_EQ(RunTool({"-i", dir.File("few.png"), "-o", dir.File("b.png")}, &text), 0) << text;
    TDecoded b = DecodeFile(dir.File("b.png"));
    EXPECT_EQ(b.PngColorType, 3);
    for (int x : {0, 4, 8}) EXPECT_EQ(b.Pixels.at<cv::Vec4b>(1, x), few.Pixels.at<cv::Vec4b>(1, x)) << x;
}

TEST(ConverterTool, TargaOutputAtEveryDepth) {
    TempDir dir;
    std::string in = dir.File("in.bmp");
    WriteCoordinateBmp(in, 40, 30);
    // -bit, colour map type, image type (run-length), pixel depth
    struct Case { const char* bit; int mapType, imageType, depth; };
    const Case cases[] = {{"1", 1, 9, 8},   {"4", 1, 9, 8},   {"8", 1, 9, 8},   {"15", 0, 10, 16},
                          {"16", 0, 10, 16}, {"24", 0, 10, 24}, {"32", 0, 10, 32}, {"", 0, 10, 24}};
    for (const auto& c : cases) {
        std::string out = dir.File(std::string("t") + c.bit + ".tga"), text;
        std::vector<std::string> args = {"-i", in, "-o", out};
        if (*c.bit) args.insert(args.end(), {"-bit", c.bit});
        ASSERT_EQ(RunTool(args, &text), 0) << c.bit << text;
        std::string bytes = ReadBytes(out);
        ASSERT_GE(bytes.size(), 18u);
        EXPECT_EQ(uint8_t(bytes[1]), c.mapType) << c.bit;
        EXPECT_EQ(uint8_t(bytes[2]), c.imageType) << c.bit;
        EXPECT_EQ(uint8_t(bytes[16]), c.depth) << c.bit;
        EXPECT_EQ(uint8_t(bytes[12]) | uint8_t(bytes[13]) << 8, 40) << c.bit;
    }
    // Read back through the library's Targa reader: the pixels are the source's.
    std::string text;
    ASSERT_EQ(RunTool({"-i", dir.File("t24.tga"), "-o", dir.File("back.png")}, &text), 0) << text;
    TDecoded back = DecodeFile(dir.File("back.png"));
    EXPECT_EQ(back.Pixels.at<cv::Vec4b>(0, 0), cv::Vec4b(0, 0, 7, 255));
    EXPECT_EQ(back.Pixels.at<cv::Vec4b>(29, 39), cv::Vec4b(39, 29, 7, 255));
}
