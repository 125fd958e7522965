#include <gtest/gtest.h>

#include "Classes.h"
#include "SysUtils.h"
#include "TestSupport.h"

#include <filesystem>

TEST(Format, Directives) {
    struct Case {
        std::string expected, actual;
    } cases[] = {
        {"List index out of bounds (6)", Format("List index out of bounds (%d)", {6})},
        {"-2147483633", Format("%d", {int32_t(0x8000000F)})},
        {"png twice", Format("%s twice", {"png"})},
        {"a (*.x)|*.x", Format("%s (*.%s)|*.%1:s", {"a", "x"})},
        {"ab (*.c)|*.c", Format("%s%s (*.%s)|*.%2:s", {"a", "b", "c"})},
        {"All (p)|p|q", Format("%s (%s)|%1:s|%s", {"All", "p", "q"})},
        {"100%", Format("%d%%", {100})},
        {"  7|7  |007", Format("%3d|%-3d|%.3d", {7, 7, 7})},
        {"FF", Format("%x", {255})},
        {"5000000000", Format("%d", {int64_t(5000000000)})},
        {"1.50", Format("%.2f", {1.5})},
    };
    for (const auto& c : cases) EXPECT_EQ(c.expected, c.actual);
}

TEST(Format, MismatchRaisesConvertError) {
    EXPECT_THROW(Format("%d", {"text"}), EConvertError);
    EXPECT_THROW(Format("%s %s", {"one"}), EConvertError);
    EXPECT_THROW(Format("%", {}), EConvertError);
    EXPECT_THROW(Format("%q", {1}), EConvertError);
}

TEST(Numbers, RoundHalvesToEvenAndMulDivHalvesAwayFromZero) {
    EXPECT_EQ(2, Round(2.5));
    EXPECT_EQ(4, Round(3.5));
    EXPECT_EQ(-2, Round(-2.5));
    EXPECT_EQ(3, Round(2.6));
    EXPECT_EQ(50, MulDiv(1, 100, 2));
    EXPECT_EQ(33, MulDiv(1, 100, 3));
    EXPECT_EQ(67, MulDiv(2, 100, 3));
    EXPECT_EQ(3, MulDiv(5, 1, 2));     // 2.5 goes up
    EXPECT_EQ(-3, MulDiv(-5, 1, 2));   // -2.5 goes down
    EXPECT_EQ(-1, MulDiv(1, 1, 0));
    EXPECT_EQ(42, StrToInt(" 42"));
    EXPECT_EQ(-7, StrToInt("-7"));
    EXPECT_EQ(255, StrToInt("$FF"));
    EXPECT_THROW(StrToInt("12a"), EConvertError);
    EXPECT_THROW(StrToInt("99999999999"), EConvertError);
    EXPECT_EQ(0, StrToIntDef("", 0));
}

TEST(FileNames, SplitAtLastSeparatorAndDot) {
    EXPECT_EQ("/a/", ExtractFilePath("/a/b.tiff"));
    EXPECT_EQ("b.tiff", ExtractFileName("/a/b.tiff"));
    EXPECT_EQ(".tiff", ExtractFileExt("/a/b.tiff"));
    EXPECT_EQ("", ExtractFileExt("/a.d/noext"));
    EXPECT_EQ("/a/b.png", ChangeFileExt("/a/b.tiff", ".png"));
    EXPECT_EQ("/a/noext.png", ChangeFileExt("/a/noext", ".png"));
    EXPECT_EQ("/a.d/noext.png", ChangeFileExt("/a.d/noext", ".png"));
    EXPECT_EQ("", ExtractFilePath("name.png"));
    EXPECT_EQ("/out/", IncludeTrailingPathDelimiter("/out"));
    EXPECT_EQ("/out/", IncludeTrailingPathDelimiter("/out/"));
    EXPECT_TRUE(SameText("TIF", "tif"));
    EXPECT_FALSE(SameText("tif", "tiff"));
}

TEST(Streams, StrictAndTolerantReads) {
    TMemoryStream stream(std::vector<uint8_t>{1, 2, 3, 4, 5});
    uint8_t buffer[8] = {};
    EXPECT_EQ(4, stream.Read(buffer, 4));
    EXPECT_EQ(1, stream.Read(buffer, 4));  // tolerant: what is there
    EXPECT_EQ(0, stream.Read(buffer, 4));
    stream.SetPosition(2);
    EXPECT_THROW(stream.ReadBuffer(buffer, 4), EReadError);
    stream.SetPosition(0);
    EXPECT_EQ(0x0102, stream.ReadWordBE());
    EXPECT_EQ(0x0403, stream.ReadWordLE());
    try {
        stream.ReadBuffer(buffer, 2);
        FAIL();
    } catch (const EReadError& e) {
        EXPECT_STREQ("Stream read error", e.what());
    }
}

TEST(Streams, FileStreamErrorsCarryTheFileName) {
    TempDir dir;
    try {
        TFileStream f(dir.File("missing.bin"), fmOpenRead);
        FAIL();
    } catch (const EFOpenError& e) {
        EXPECT_EQ(0u, std::string(e.what()).find("Cannot open file \"" + dir.File("missing.bin") + "\". "));
    }
    EXPECT_THROW(TFileStream(dir.File("no/such/dir.bin"), fmCreate), EFCreateError);
    {
        TFileStream f(dir.File("x.bin"), fmCreate);
        f.WriteBuffer("abc", 3);
    }
    TFileStream f(dir.File("x.bin"), fmOpenRead);
    EXPECT_EQ(3, f.Size());
}

TEST(StringList, LineEndsOnSaveAndLoad) {
    TStringList list;
    list.Add("a");
    list.Add("");
    list.Add("c");
    EXPECT_EQ("a\r\n\r\nc\r\n", list.Text());

    struct Case {
        std::string text;
        std::vector<std::string> lines;
    } cases[] = {
        {"", {}},
        {"a\r\nb\r\n", {"a", "b"}},
        {"a\rb\nc", {"a", "b", "c"}},
        {"a\n\nb", {"a", "", "b"}},
        {std::string("a\nb\0c\nd", 7), {"a", "b"}},
        {"a\r\n\r\n", {"a", ""}},
    };
    for (const auto& c : cases) {
        list.SetText(c.text);
        ASSERT_EQ(int(c.lines.size()), list.Count()) << c.text;
        for (int i = 0; i < list.Count(); ++i) EXPECT_EQ(c.lines[size_t(i)], list[i]);
    }
    try {
        (void)list.Strings(2);
        FAIL();
    } catch (const EListError& e) {
        EXPECT_STREQ("List index out of bounds (2)", e.what());
    }
}

TEST(StringList, FailedLoadLeavesListUnchanged) {
    TempDir dir;
    TStringList list;
    list.Add("keep");
    EXPECT_THROW(list.LoadFromFile(dir.File("missing.txt")), EFOpenError);
    ASSERT_EQ(1, list.Count());
    list.SaveToFile(dir.File("list.txt"));
    EXPECT_EQ("keep\r\n", ReadBytes(dir.File("list.txt")));
}

TEST(AtomicWrite, ReplacesWholeFileAndLeavesNoTemporary) {
    TempDir dir;
    WriteBytes(dir.File("t.txt"), "old contents");
    WriteFileAtomically(dir.File("t.txt"), "new", 3);
    EXPECT_EQ("new", ReadBytes(dir.File("t.txt")));
    EXPECT_THROW(WriteFileAtomically(dir.File("none/t.txt"), "x", 1), EFCreateError);
    int entries = 0;
    for ([[maybe_unused]] auto& e : std::filesystem::directory_iterator(dir.Path())) ++entries;
    EXPECT_EQ(1, entries);
}
