#include "Process.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <string>
#include <vector>

#include "SysUtils.h"
#include "TestSupport.h"

namespace {

using Args = std::vector<std::string>;

// A shell script that records its arguments (NUL-separated) beside itself and exits with `code`.
std::string WriteRecordingTool(const std::string& path, int code) {
    WriteBytes(path, "#!/bin/sh\nprintf '%s\\0' \"$@\" > \"$(dirname \"$0\")/args\"\nexit " + std::to_string(code) + "\n");
    ::chmod(path.c_str(), 0755);
    return path;
}

Args RecordedArgs(const std::string& folder) {
    std::string bytes = ReadBytes(folder + "/args");
    Args args;
    size_t start = 0;
    for (size_t end; (end = bytes.find('\0', start)) != std::string::npos; start = end + 1)
        args.push_back(bytes.substr(start, end - start));
    return args;
}

TEST(CommandLineToArgs, SplitsByWindowsRules) {
    struct Case {
        const char* line;
        Args args;
    } cases[] = {
        {"", {}},
        {"  \t ", {}},
        {"a b\tc", {"a", "b", "c"}},
        {"  a   b  ", {"a", "b"}},
        {R"("a b" c)", {"a b", "c"}},
        {R"(x"y z"w)", {"xy zw"}},
        {R"("")", {""}},
        {R"(a "" b)", {"a", "", "b"}},
        {R"(a\b c:\d\)", {R"(a\b)", R"(c:\d\)"}},
        {R"(a\"b)", {R"(a"b)"}},
        {R"(a\\"b c")", {R"(a\b c)"}},
        {R"(a\\\"b)", {R"(a\"b)"}},
        {R"("a""b")", {R"(a"b)"}},
        {R"("unterminated quote)", {"unterminated quote"}},
        {R"(-i "/p/a.png" -o "/p/a.bmp" -s 1024x768  -x s )",
         {"-i", "/p/a.png", "-o", "/p/a.bmp", "-s", "1024x768", "-x", "s"}},
    };
    for (const auto& c : cases) EXPECT_EQ(CommandLineToArgs(c.line), c.args) << c.line;
}

TEST(CommandLineToArgs, QuotingRoundTrips) {
    const char* texts[] = {"plain", "with blank", "tab\there", "quote\"inside", "trailing\\", "a\\\"b",
                           "\\\\server\\share\\", "", "\"", "two  blanks \\\\\""};
    for (const char* t : texts) {
        EXPECT_EQ(CommandLineToArgs("x " + QuoteArgument(t) + " y"), (Args{"x", t, "y"})) << t;
        EXPECT_EQ(CommandLineToArgs("-i \"" + EscapeQuoted(t) + "\" -o"), (Args{"-i", t, "-o"})) << t;
    }
    // Text that needs no escaping stays byte for byte.
    EXPECT_EQ(EscapeQuoted("/pics/a b\\c.png"), "/pics/a b\\c.png");
    EXPECT_EQ(QuoteArgument("/app/VarnelSilent"), "/app/VarnelSilent");
    EXPECT_EQ(QuoteArgument("/my app/VarnelSilent"), "\"/my app/VarnelSilent\"");
}

TEST(CommandLineToArgs, EscapingRoundTripsForAnyText) {
    // Texts made of the characters that matter to the splitting rules, in every arrangement up to
    // five characters.
    const char alphabet[] = {'a', ' ', '\t', '"', '\\'};
    std::vector<std::string> texts = {""};
    for (size_t begin = 0, length = 0; length < 5; ++length) {
        size_t end = texts.size();
        for (size_t i = begin; i < end; ++i)
            for (char c : alphabet) texts.push_back(texts[i] + c);
        begin = end;
    }
    ASSERT_EQ(texts.size(), 1u + 5 + 25 + 125 + 625 + 3125);
    for (const auto& t : texts) {
        ASSERT_EQ(CommandLineToArgs("-i \"" + EscapeQuoted(t) + "\" " + QuoteArgument(t)), (Args{"-i", t, t})) << t;
    }
}

TEST(FindExecutable, ResultCodes) {
    TempDir dir;
    std::string tool = WriteRecordingTool(dir.File("tool"), 0);
    WriteBytes(dir.File("plain.txt"), "x");
    std::string found = "stale";
    EXPECT_EQ(FindExecutable(dir.File("missing"), found), SE_ERR_FNF);
    EXPECT_EQ(found, "");
    EXPECT_EQ(FindExecutable("", found), SE_ERR_FNF);
    EXPECT_EQ(FindExecutable(dir.File("missing/below"), found), SE_ERR_FNF);
    EXPECT_EQ(FindExecutable(dir.File("plain.txt"), found), SE_ERR_NOASSOC);
    EXPECT_EQ(FindExecutable(dir.Path(), found), SE_ERR_NOASSOC);
    EXPECT_GT(FindExecutable(tool, found), 32u);
    EXPECT_EQ(found, tool);
}

TEST(StartAssociatedExe, RunsToolWithItsPathFirstAndReturnsExitCode) {
    for (const char* folder : {"app", "my app"}) {
        TempDir dir;
        std::string sub = dir.File(folder);
        ASSERT_TRUE(CreateDir(sub));
        std::string tool = WriteRecordingTool(sub + "/VarnelSilent", 3);
        uint32_t code = 0;
        TLaunchStatus status = lsNotFound;
        std::string line;
        EXPECT_TRUE(StartAssociatedExe(tool, "-i \"/in dir/a.png\" -o \"/out/a.bmp\" -s 50% ", code, &status, &line));
        EXPECT_EQ(status, lsExited);
        EXPECT_EQ(code, 3u);
        EXPECT_EQ(RecordedArgs(sub), (Args{tool, "-i", "/in dir/a.png", "-o", "/out/a.bmp", "-s", "50%"})) << folder;
        const std::string quoted = QuoteArgument(tool);
        EXPECT_EQ(line, quoted + " " + quoted + " -i \"/in dir/a.png\" -o \"/out/a.bmp\" -s 50% ");
    }
}

TEST(StartAssociatedExe, FailuresReportLookupAndSystemErrors) {
    TempDir dir;
    uint32_t code = 0;
    TLaunchStatus status = lsExited;
    EXPECT_FALSE(StartAssociatedExe(dir.File("VarnelSilent"), "-x", code, &status));
    EXPECT_EQ(status, lsNotFound);
    EXPECT_EQ(code, SE_ERR_FNF);

    WriteBytes(dir.File("noexec"), "#!/bin/sh\nexit 0\n");
    EXPECT_FALSE(StartAssociatedExe(dir.File("noexec"), "", code, &status));
    EXPECT_EQ(status, lsNotFound);
    EXPECT_EQ(code, SE_ERR_NOASSOC);

    // Executable, but no program the system can start.
    WriteBytes(dir.File("garbage"), "\x01\x02\x03 not a program");
    ::chmod(dir.File("garbage").c_str(), 0755);
    EXPECT_FALSE(StartAssociatedExe(dir.File("garbage"), "", code, &status));
    EXPECT_EQ(status, lsNotStarted);
    EXPECT_EQ(code, uint32_t(ENOEXEC));
}

TEST(StartAssociatedExe, ProcessEndedBySignal) {
    TempDir dir;
    WriteBytes(dir.File("tool"), "#!/bin/sh\nkill -9 $$\n");
    ::chmod(dir.File("tool").c_str(), 0755);
    uint32_t code = 0;
    EXPECT_TRUE(StartAssociatedExe(dir.File("tool"), "", code));
    EXPECT_EQ(code, 128u + 9u);
}

}  // namespace
