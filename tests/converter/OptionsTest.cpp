// The command line: the front end's form (own path first, as the launcher passes it) and typed forms.
#include <gtest/gtest.h>

#include "ConverterOptions.h"

namespace {

std::vector<std::string> Words(const std::string& text) {
    std::vector<std::string> out;
    std::string cur;
    for (char c : text) {
        if (c == ' ') {
            if (!cur.empty()) out.push_back(cur);
            cur.clear();
        } else {
            cur += c;
        }
    }
    if (!cur.empty()) out.push_back(cur);
    return out;
}

}  // namespace

TEST(ConverterOptions, FrontEndTextWithOwnPathFirst) {
    // The worked example of a default row, as a shell would split the launcher's command line.
    auto o = ParseCommandLine({"/opt/varnel/VarnelSilent", "-i", "/pics/a.png", "-o", "/pics/a.bmp", "-s", "1024x768",
                               "-x", "s"});
    EXPECT_EQ(o.InputFile, "/pics/a.png");
    EXPECT_EQ(o.OutputFile, "/pics/a.bmp");
    EXPECT_TRUE(o.Resize);
    EXPECT_FALSE(o.SizeInPercent);
    EXPECT_EQ(o.TargetWidth, 1024);
    EXPECT_EQ(o.TargetHeight, 768);
    EXPECT_EQ(o.SizeMode, TSizeMode::Stretch);
    EXPECT_FALSE(o.Proportional);
    EXPECT_FALSE(o.Overwrite || o.Rotate || o.DeleteInput || o.UseFillColor);
    EXPECT_EQ(o.BitDepth, 0);
    EXPECT_EQ(o.FillColor, clWhite);

    // Every option at once, the own path split at a blank (the launcher does not quote it).
    o = ParseCommandLine(Words("C:\\My Apps\\VarnelSilent.exe -i /p/b.tif -o /q/b.png -ow -r 90 -s 50% -x cp -d "
                               "-e sibe -c -2147483633 -bit 36"));
    EXPECT_EQ(o.InputFile, "/p/b.tif");
    EXPECT_TRUE(o.Overwrite);
    EXPECT_TRUE(o.Rotate);
    EXPECT_EQ(o.RotationDegrees, 90);
    EXPECT_TRUE(o.SizeInPercent);
    EXPECT_EQ(o.TargetWidth, 50);
    EXPECT_EQ(o.SizeMode, TSizeMode::CutExtend);
    EXPECT_TRUE(o.Proportional);
    EXPECT_TRUE(o.DeleteInput);
    EXPECT_EQ(o.Effects, "sibe");
    EXPECT_TRUE(o.UseFillColor);
    EXPECT_EQ(o.FillColor, clBtnFace);
    EXPECT_EQ(o.BitDepth, 32);  // the "32" button sends 36
}

TEST(ConverterOptions, QuotedPathsInTheLaunchersForms) {
    // Typed directly: the shell already removed the quotes.
    auto o = ParseCommandLine({"-i", "/my pics/a b.png", "-o", "/out/a b.jpg"});
    EXPECT_EQ(o.InputFile, "/my pics/a b.png");
    EXPECT_EQ(o.OutputFile, "/out/a b.jpg");
    // Split at blanks only, quotes kept literally.
    o = ParseCommandLine(Words("VarnelSilent -i \"/my pics/a b.png\" -o \"/out/x.gif\" -x sp"));
    EXPECT_EQ(o.InputFile, "/my pics/a b.png");
    EXPECT_EQ(o.OutputFile, "/out/x.gif");
    EXPECT_TRUE(o.Proportional);
    // The whole parameter text in one argument.
    o = ParseCommandLine({"/bin/VarnelSilent", "-i \"/my pics/a.png\" -o \"/o/a.bmp\" -s 800x600  -x c  -bit 4"});
    EXPECT_EQ(o.InputFile, "/my pics/a.png");
    EXPECT_EQ(o.OutputFile, "/o/a.bmp");
    EXPECT_EQ(o.TargetWidth, 800);
    EXPECT_EQ(o.SizeMode, TSizeMode::CutExtend);
    EXPECT_EQ(o.BitDepth, 4);
}

TEST(ConverterOptions, NumbersAtTheirLimits) {
    auto o = ParseCommandLine({"-i", "a", "-o", "b.png", "-r", "-45", "-c", "16777215", "-s", "1x65500"});
    EXPECT_EQ(o.RotationDegrees, -45);
    EXPECT_EQ(o.FillColor, 0xFFFFFF);
    EXPECT_EQ(o.TargetHeight, 65500);
    EXPECT_TRUE(ParseCommandLine({"--help"}).Help);
}

TEST(ConverterOptions, BadCommandLinesAreRefused) {
    const std::vector<std::vector<std::string>> cases = {
        {},                                                   // nothing at all
        {"-o", "b.png"},                                      // no input
        {"-i", "a.png"},                                      // no output
        {"-i", "a.png", "-o"},                                // value missing
        {"-i", "a", "-o", "b.png", "-q"},                     // unknown option
        {"-i", "a", "-o", "b.png", "-r", "ninety"},
        {"-i", "a", "-o", "b.png", "-r", "12.5"},
        {"-i", "a", "-o", "b.png", "-s", "0x10"},
        {"-i", "a", "-o", "b.png", "-s", "10x"},
        {"-i", "a", "-o", "b.png", "-s", "65501x10"},
        {"-i", "a", "-o", "b.png", "-s", "0%"},
        {"-i", "a", "-o", "b.png", "-s", "10001%"},
        {"-i", "a", "-o", "b.png", "-s", "+5%"},
        {"-i", "a", "-o", "b.png", "-x", "p"},
        {"-i", "a", "-o", "b.png", "-x", "sc"},
        {"-i", "a", "-o", "b.png", "-e", "sx"},
        {"-i", "a", "-o", "b.png", "-c", "white"},
        {"-i", "a", "-o", "b.png", "-c", "99999999999"},
        {"-i", "a", "-o", "b.png", "-bit", "12"},
        {"-i", "a", "-o", "b.png", "-bit", "24bit"},
        {"-i", "a", "-o", "b.png", "-ow", "-ow"},             // given twice
        {"-i", "a", "-i", "c", "-o", "b.png"},
        {"stray", "-i", "a", "-o", "b.png"},                  // leading word that is not the tool
        {"-i", "a", "-o", "b.png", "stray"},
        {"-i", "\"a b", "-o", "b.png"},                       // unbalanced quote
    };
    for (const auto& args : cases) {
        std::string joined;
        for (const auto& a : args) joined += "[" + a + "]";
        EXPECT_THROW(ParseCommandLine(args), EBadOptions) << joined;
    }
}
