#include "FormFixture.h"
#include "SysUtils.h"

#include <unistd.h>

namespace {

TEST_F(FormTest, SavedListLoadsBackToTheSameRows) {
    // An empty "Type" and bytes that are no valid UTF-8 must survive unchanged.
    const Lines lines = {"/pics/a.png", "1024x768", ".png", "12345 byte(s)",
                         "/pics/caf\xE9 noext", "3x2", "", "78 byte(s)"};
    LoadList(lines);
    EXPECT_EQ(Rows(), (Lines{"/pics/a.png|1024x768|.png|12345 byte(s)", "/pics/caf\xE9 noext|3x2||78 byte(s)"}));
    std::string saved = dir.File("saved.txt");
    dialogs.SaveAnswers.push_back(saved);
    Click("Button8");
    EXPECT_EQ(dialogs.SaveFilters, (Lines{"*.txt|*.txt"}));
    EXPECT_EQ(ReadBytes(saved), ListText(lines));
    LoadList({"x", "1", "2", "3"});
    dialogs.OpenAnswers.push_back(Lines{saved});
    Click("Button9");
    EXPECT_EQ(dialogs.OpenCalls.back().Filter, "*.txt|*.txt");
    EXPECT_EQ(ReadBytes(saved), ListText(lines));
    EXPECT_EQ(form->ListView1->Count(), 2);
    EXPECT_EQ(form->ListView1->Caption(1), "/pics/caf\xE9 noext");
    EXPECT_TRUE(messages.Messages.empty());
}

TEST_F(FormTest, LoadingGroupsLinesByFour) {
    struct Case {
        const char* name;
        std::string content;
        Lines rows;
        const char* error;  // nullptr: loads without error
    } cases[] = {
        {"empty file", "", {}, nullptr},
        {"five lines", ListText({"a", "1", "2", "3", "left over"}), {"a|1|2|3"}, nullptr},
        {"six lines", ListText({"a", "1", "2", "3", "b", "b1"}), {"a|1|2|3", "b|b1"}, "List index out of bounds (6)"},
        {"seven lines", ListText({"a", "1", "2", "3", "b", "b1", "b2"}), {"a|1|2|3", "b|b1|b2"},
         "List index out of bounds (7)"},
        {"mixed line ends, no final one", "a\r1\n2\r\n3\nb\n1\n2\n3", {"a|1|2|3", "b|1|2|3"}, nullptr},
        {"zero byte ends the text", std::string("a\r\n1\r\n2\r\n3\r\n") + '\0' + "b\r\n1\r\n2\r\n3\r\n", {"a|1|2|3"}, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        LoadList({"old", "1", "2", "3"});
        std::string file = dir.File("case.txt");
        WriteBytes(file, c.content);
        dialogs.OpenAnswers.push_back(Lines{file});
        if (c.error) {
            try {
                form->Button9Click(form->Button9);
                ADD_FAILURE() << "no error";
            } catch (const EListError& e) {
                EXPECT_STREQ(e.what(), c.error);
            }
        } else {
            form->Button9Click(form->Button9);
        }
        EXPECT_EQ(Rows(), c.rows);
    }
}

TEST_F(FormTest, LoadingAnUnreadableFileLeavesTheList) {
    LoadList({"keep", "1", "2", "3"});
    dialogs.OpenAnswers.push_back(Lines{dir.File("missing.txt")});
    Click("Button9");
    EXPECT_EQ(Rows(), (Lines{"keep|1|2|3"}));
    ASSERT_EQ(messages.Messages.size(), 1u);
    EXPECT_EQ(messages.Messages[0].Type, mtError);
    EXPECT_NE(messages.Messages[0].Text.find(dir.File("missing.txt")), std::string::npos);
    dialogs.OpenAnswers.push_back(std::nullopt);  // cancelled
    Click("Button9");
    EXPECT_EQ(Rows(), (Lines{"keep|1|2|3"}));
}

TEST_F(FormTest, OversizedListFileIsRefusedAndLeavesTheList) {
    LoadList({"keep", "1", "2", "3"});
    std::string huge = dir.File("huge.txt");
    WriteBytes(huge, "");
    ASSERT_EQ(::truncate(huge.c_str(), (32 << 20) + 1), 0);  // sparse
    dialogs.OpenAnswers.push_back(Lines{huge});
    EXPECT_THROW(form->Button9Click(form->Button9), EReadError);
    EXPECT_EQ(Rows(), (Lines{"keep|1|2|3"}));
    // At the limit it loads.
    ASSERT_EQ(::truncate(huge.c_str(), 32 << 20), 0);
    dialogs.OpenAnswers.push_back(Lines{huge});
    form->Button9Click(form->Button9);
    EXPECT_EQ(form->ListView1->Count(), 0);  // zero bytes end the text at once
}

TEST_F(FormTest, SavingARowWithMissingSubItemsFailsAndKeepsTheOldFile) {
    std::string target = dir.File("list.txt");
    WriteBytes(target, "old contents\r\n");
    // Rows with three, one and no sub-items; the error names the first missing sub-item.
    LoadList({"a", "1", "2", "3"});
    form->ListView1->AddSubItem(form->ListView1->AddRow("b"), "b1");
    form->ListView1->AddRow("c");
    dialogs.SaveAnswers = {target};
    try {
        form->Button8Click(form->Button8);
        ADD_FAILURE() << "no error";
    } catch (const EListError& e) {
        EXPECT_STREQ(e.what(), "List index out of bounds (1)");
    }
    form->ListView1->DeleteRow(1);
    dialogs.SaveAnswers = {target};
    Click("Button8");
    EXPECT_EQ(MessageTexts(), (Lines{"List index out of bounds (0)"}));
    EXPECT_EQ(ReadBytes(target), "old contents\r\n");
    EXPECT_EQ(form->ListView1->Count(), 2);
}

TEST_F(FormTest, SavingAnEmptyListWritesAnEmptyFileAndCancelWritesNothing) {
    std::string target = dir.File("list.txt");
    WriteBytes(target, "old contents\r\n");
    dialogs.SaveAnswers = {std::nullopt};
    Click("Button8");
    EXPECT_EQ(ReadBytes(target), "old contents\r\n");
    dialogs.SaveAnswers = {target};
    Click("Button8");
    EXPECT_TRUE(FileExists(target));
    EXPECT_EQ(ReadBytes(target), "");
    // A folder that does not exist: the error is shown and nothing is left behind.
    dialogs.SaveAnswers = {dir.File("no such folder/list.txt")};
    Click("Button8");
    ASSERT_EQ(messages.Messages.size(), 1u);
    EXPECT_EQ(messages.Messages[0].Type, mtError);
    EXPECT_FALSE(DirectoryExists(dir.File("no such folder")));
}

}  // namespace
