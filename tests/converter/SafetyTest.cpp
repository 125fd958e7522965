// The safety rules and exit codes: existing output, same-file conversion, -d only after success,
// failures that leave nothing behind.
#include <dirent.h>
#include <gtest/gtest.h>

#include "ConverterTestSupport.h"
#include "TestSupport.h"

namespace {

std::vector<std::string> FolderEntries(const std::string& path) {
    std::vector<std::string> names;
    if (DIR* d = opendir(path.c_str())) {
        while (dirent* e = readdir(d))
            if (std::string(e->d_name) != "." && std::string(e->d_name) != "..") names.push_back(e->d_name);
        closedir(d);
    }
    std::sort(names.begin(), names.end());
    return names;
}

struct Fixture {
    TempDir dir;
    TFakeFiles files;
    std::string in = dir.File("photo.bmp");
    Fixture() {
        TSourceImage s;
        s.Pixels = CoordinateImage(8, 6);
        files.Images["photo.bmp"] = s;
        files.Images["photo.png"] = s;
        WriteBytes(in, "input bytes");
    }
    int Run(std::vector<std::string> args) { return RunConverter(args, files.Loader()); }
};

}  // namespace

TEST(ConverterSafety, ExistingOutputNeedsOverwrite) {
    Fixture f;
    std::string out = f.dir.File("photo.png");
    WriteBytes(out, "old");
    EXPECT_EQ(f.Run({"-i", f.in, "-o", out, "-d"}), ecOutputExists);
    EXPECT_EQ(ReadBytes(out), "old");
    EXPECT_TRUE(FileExists(f.in));   // -d does nothing after a failure
    EXPECT_EQ(f.Run({"-i", f.in, "-o", out, "-ow"}), ecSuccess);
    EXPECT_EQ(DecodeFile(out).Width, 8);
    EXPECT_EQ(FolderEntries(f.dir.Path()), (std::vector<std::string>{"photo.bmp", "photo.png"}));
}

TEST(ConverterSafety, DeleteOnlyAfterSuccess) {
    Fixture f;
    std::string out = f.dir.File("photo.gif");
    EXPECT_EQ(f.Run({"-i", f.in, "-o", out, "-d"}), ecSuccess);
    EXPECT_FALSE(FileExists(f.in));
    EXPECT_EQ(DecodeFile(out).Kind, "gif");

    Fixture g;
    std::string bad = g.dir.File("unknown.bmp");   // exists, but cannot be decoded
    WriteBytes(bad, "junk");
    EXPECT_EQ(g.Run({"-i", bad, "-o", g.dir.File("x.png"), "-d"}), ecInputFailed);
    EXPECT_TRUE(FileExists(bad));
    EXPECT_FALSE(FileExists(g.dir.File("x.png")));
    EXPECT_EQ(g.Run({"-i", g.in, "-o", g.dir.File("missing/x.png"), "-d"}), ecWriteFailed);
    EXPECT_EQ(g.Run({"-i", g.in, "-o", "/proc/varnel-test.png", "-d"}), ecWriteFailed);  // folder refuses files
    EXPECT_EQ(g.Run({"-i", g.in, "-o", g.dir.File("big.png"), "-s", "60000x60000", "-d"}), ecProcessFailed);
    EXPECT_TRUE(FileExists(g.in));
    EXPECT_EQ(FolderEntries(g.dir.Path()), (std::vector<std::string>{"photo.bmp", "unknown.bmp"}));
}

TEST(ConverterSafety, InputThatCannotBeDeletedIsReported) {
    Fixture f;
    // The input vanishes while it is read, so deleting it afterwards fails: the output stays.
    TImageLoader vanishing = [&](const std::string& name) {
        TSourceImage s = f.files.Loader()(name);
        DeleteFile(name);
        return s;
    };
    std::string out = f.dir.File("kept.png");
    EXPECT_EQ(RunConverter({"-i", f.in, "-o", out, "-d"}, vanishing), ecDeleteFailed);
    EXPECT_EQ(DecodeFile(out).Width, 8);
}

TEST(ConverterSafety, ConvertingAFileOntoItself) {
    Fixture f;
    std::string png = f.dir.File("photo.png");
    ASSERT_EQ(f.Run({"-i", f.in, "-o", png}), ecSuccess);
    // Same path, -ow and -d: converted in place, and the file is not deleted.
    ASSERT_EQ(f.Run({"-i", png, "-o", png, "-ow", "-d", "-r", "90"}), ecSuccess);
    ASSERT_TRUE(FileExists(png));
    EXPECT_EQ(DecodeFile(png).Width, 6);
    // Another spelling of the same file counts as the same file.
    std::string other = f.dir.Path() + "/./photo.png";
    ASSERT_EQ(f.Run({"-i", png, "-o", other, "-ow", "-d"}), ecSuccess);
    EXPECT_TRUE(FileExists(png));
    // Without -ow the file is left alone.
    EXPECT_EQ(f.Run({"-i", png, "-o", png}), ecOutputExists);
}

TEST(ConverterSafety, MissingInputAndFolderOutput) {
    Fixture f;
    EXPECT_EQ(f.Run({"-i", f.dir.File("nothing.bmp"), "-o", f.dir.File("n.png")}), ecInputFailed);
    EXPECT_EQ(f.Run({"-i", f.dir.Path(), "-o", f.dir.File("n.png")}), ecInputFailed);
    EXPECT_EQ(f.Run({"-i", f.in, "-o", f.dir.Path() + "/sub.png", "-ow"}), ecSuccess);
    CreateDir(f.dir.File("folder.png"));
    EXPECT_EQ(f.Run({"-i", f.in, "-o", f.dir.File("folder.png"), "-ow"}), ecWriteFailed);
    EXPECT_EQ(f.Run({"-i", f.in, "-o", f.dir.File("n.webp")}), ecBadOptions);
}

TEST(ConverterTool, HelpAndBadOptionsAsAProcess) {
    std::string text;
    EXPECT_EQ(RunTool({"--help"}, &text), 0);
    EXPECT_NE(text.find("Exit codes"), std::string::npos);
    EXPECT_NE(text.find("-bit"), std::string::npos);
    EXPECT_EQ(RunTool({}, &text), 1);
    TempDir dir;
    std::string in = dir.File("a.bmp");
    WriteBytes(in, "x");
    EXPECT_EQ(RunTool({"-i", in, "-o", dir.File("b.png"), "-q"}, &text), 1);
    EXPECT_NE(text.find("Unknown option \"-q\""), std::string::npos) << text;
    EXPECT_EQ(RunTool({ToolPath(), "-i", in, "-o", dir.File("b.png"), "-bit", "7"}, &text), 1);
    EXPECT_NE(text.find("-bit"), std::string::npos) << text;
    EXPECT_EQ(RunTool({"-i", in, "-o", dir.File("b.png"), "-bit", "7"}, &text), 1);
    EXPECT_EQ(FolderEntries(dir.Path()), std::vector<std::string>{"a.bmp"});   // nothing written
    // A metafile is refused, naming the file.
    std::string wmf = dir.File("m.wmf");
    WriteBytes(wmf, "\xD7\xCD\xC6\x9A");
    EXPECT_EQ(RunTool({"-i", wmf, "-o", dir.File("m.png")}, &text), 2);
    EXPECT_NE(text.find("m.wmf"), std::string::npos) << text;
}
