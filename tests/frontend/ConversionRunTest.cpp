#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QRadioButton>
#include <functional>

#include "FormFixture.h"
#include "SysUtils.h"

namespace {

class RunTest : public FormTest {
protected:
    RunTest() {
        pics = dir.File("pics");
        CreateDir(pics);
        InstallTool();
    }
    // Loads one row per caption, with made-up sub-items.
    void LoadRows(const Lines& captions) {
        Lines lines;
        for (const auto& c : captions) lines.insert(lines.end(), {c, "1x1", ".png", "1 byte(s)"});
        LoadList(lines);
    }
    // The closing message of a run, with its first line checked and the seconds taken out.
    std::string Summary() {
        EXPECT_FALSE(messages.Messages.empty());
        if (messages.Messages.empty()) return {};
        const auto& last = messages.Messages.back();
        EXPECT_EQ(last.Buttons, TMsgDlgButtons{mbOK});
        const std::string prefix = "Done in ", suffix = " seconds!";
        const size_t end = last.Text.find(suffix);
        if (last.Text.rfind(prefix, 0) != 0 || end == std::string::npos || end == prefix.size() ||
            last.Text.find_first_not_of("0123456789", prefix.size()) != end)
            return last.Text;
        return prefix + "N" + last.Text.substr(end);
    }
    std::string pics;
};

std::string Replace(std::string text, const std::string& from, const std::string& to) {
    for (size_t p; (p = text.find(from)) != std::string::npos;) text.replace(p, from.size(), to);
    return text;
}

struct SettingsCase {
    const char* name;
    std::function<void(TForm1&)> set;
    const char* input;     // below the pictures folder
    const char* output;    // $PICS and $OUT stand for the pictures folder and the "out" folder
    const char* expected;  // the parameter text; $IN and $OUT stand for the input and output paths
};

TEST_F(RunTest, ParameterTextFollowsTheSettings) {
    const std::string out = dir.File("out");
    CreateDir(out);
    std::vector<SettingsCase> cases = {
        {"defaults", [](TForm1&) {}, "a.png", "$PICS/a.bmp", R"(-i "$IN" -o "$OUT" -s 1024x768  -x s )"},
        {"percent", [](TForm1& f) { f.RadioButton4->setChecked(true); f.SpinEdit3->SetValue(50); }, "a.png",
         "$PICS/a.bmp", R"(-i "$IN" -o "$OUT" -s 50%  -x s )"},
        {"pixels", [](TForm1& f) { f.SpinEdit1->SetValue(800); f.SpinEdit2->SetValue(600); }, "a.png", "$PICS/a.bmp",
         R"(-i "$IN" -o "$OUT" -s 800x600  -x s )"},
        {"negative size keeps its sign", [](TForm1& f) { f.SpinEdit1->SetValue(-8); }, "a.png", "$PICS/a.bmp",
         R"(-i "$IN" -o "$OUT" -s -8x768  -x s )"},
        {"stretch proportional", [](TForm1& f) { f.CheckBox6->setChecked(true); }, "a.png", "$PICS/a.bmp",
         R"(-i "$IN" -o "$OUT" -s 1024x768  -x sp )"},
        {"cut extend", [](TForm1& f) { f.RadioButton6->setChecked(true); }, "a.png", "$PICS/a.bmp",
         R"(-i "$IN" -o "$OUT" -s 1024x768  -x c )"},
        {"cut extend proportional", [](TForm1& f) { f.RadioButton6->setChecked(true); f.CheckBox6->setChecked(true); },
         "a.png", "$PICS/a.bmp", R"(-i "$IN" -o "$OUT" -s 1024x768  -x cp )"},
        {"delete", [](TForm1& f) { f.CheckBox7->setChecked(true); }, "a.png", "$PICS/a.bmp",
         R"(-i "$IN" -o "$OUT" -s 1024x768  -x s  -d )"},
        {"emboss", [](TForm1& f) { f.CheckBox8->setChecked(true); }, "a.png", "$PICS/a.bmp",
         R"(-i "$IN" -o "$OUT" -s 1024x768  -x s  -e e )"},
        {"sepia and grey", [](TForm1& f) { f.CheckBox2->setChecked(true); f.CheckBox4->setChecked(true); }, "a.png",
         "$PICS/a.bmp", R"(-i "$IN" -o "$OUT" -s 1024x768  -x s  -e sb )"},
        {"every effect",
         [](TForm1& f) {
             for (auto* b : {f.CheckBox8, f.CheckBox4, f.CheckBox3, f.CheckBox2}) b->setChecked(true);
         },
         "a.png", "$PICS/a.bmp", R"(-i "$IN" -o "$OUT" -s 1024x768  -x s  -e sibe )"},
        {"rotation 0", [](TForm1& f) { f.CheckBox1->setChecked(true); }, "a.png", "$PICS/a.bmp",
         R"(-i "$IN" -o "$OUT" -r 0  -s 1024x768  -x s )"},
        {"rotation value without the tick", [](TForm1& f) { f.SpinEdit4->SetValue(90); }, "a.png", "$PICS/a.bmp",
         R"(-i "$IN" -o "$OUT" -s 1024x768  -x s )"},
        {"initial fill colour", [](TForm1& f) { f.CheckBox9->setChecked(true); }, "a.png", "$PICS/a.bmp",
         R"(-i "$IN" -o "$OUT" -s 1024x768  -x s  -c -2147483633 )"},
        {"chosen fill colour", [](TForm1& f) { f.CheckBox9->setChecked(true); f.Panel3->SetColor(RGB(0x12, 0x34, 0x56)); },
         "a.png", "$PICS/a.bmp", R"(-i "$IN" -o "$OUT" -s 1024x768  -x s  -c 5649426 )"},
        {"overwrite without confirmation", [](TForm1& f) { f.CheckBox5->setChecked(true); }, "a.png", "$PICS/a.bmp",
         R"(-i "$IN" -o "$OUT" -ow  -s 1024x768  -x s )"},
        {"target type, name with two dots", [](TForm1& f) { f.ComboBox1->setCurrentIndex(3); }, "b.tar.tiff",
         "$PICS/b.tar.png", R"(-i "$IN" -o "$OUT" -s 1024x768  -x s )"},
        {"name without extension", [](TForm1& f) { f.ComboBox1->setCurrentIndex(1); }, "noext", "$PICS/noext.jpg",
         R"(-i "$IN" -o "$OUT" -s 1024x768  -x s )"},
        {"edit-box target", [&](TForm1& f) { f.RadioButton2->setChecked(true); f.Edit1->setText(QString::fromStdString(out)); },
         "a.png", "$OUT_DIR/a.bmp", R"(-i "$IN" -o "$OUT" -s 1024x768  -x s )"},
        {"edit-box target ending in a slash",
         [&](TForm1& f) { f.RadioButton2->setChecked(true); f.Edit1->setText(QString::fromStdString(out + "/")); },
         "a.png", "$OUT_DIR/a.bmp", R"(-i "$IN" -o "$OUT" -s 1024x768  -x s )"},
        {"path with blanks", [](TForm1&) {}, "my pics a.png", "$PICS/my pics a.bmp",
         R"(-i "$IN" -o "$OUT" -s 1024x768  -x s )"},
        {"everything at once",
         [](TForm1& f) {
             f.CheckBox5->setChecked(true);
             f.CheckBox1->setChecked(true);
             f.SpinEdit4->SetValue(270);
             f.RadioButton4->setChecked(true);
             f.RadioButton6->setChecked(true);
             f.CheckBox6->setChecked(true);
             f.CheckBox7->setChecked(true);
             f.CheckBox3->setChecked(true);
             f.CheckBox9->setChecked(true);
             f.RadioButton13->setChecked(true);
         },
         "a.png", "$PICS/a.bmp", R"(-i "$IN" -o "$OUT" -ow  -r 270  -s 100%  -x cp  -d  -e i  -c -2147483633  -bit 24)"},
    };
    const std::pair<const char*, const char*> depths[] = {{"RadioButton8", "1"},   {"RadioButton9", "4"},
                                                          {"RadioButton10", "8"},  {"RadioButton11", "15"},
                                                          {"RadioButton12", "16"}, {"RadioButton13", "24"},
                                                          {"RadioButton14", "32"}};
    std::vector<std::string> depthTexts;
    for (const auto& [button, bits] : depths) depthTexts.push_back(std::string(R"(-i "$IN" -o "$OUT" -s 1024x768  -x s  -bit )") + bits);
    for (size_t k = 0; k < std::size(depths); ++k) {
        std::string name = depths[k].first;
        cases.push_back({depths[k].first,
                         [name](TForm1& f) { f.findChild<QRadioButton*>(QString::fromStdString(name))->setChecked(true); },
                         "a.png", "$PICS/a.bmp", depthTexts[k].c_str()});
    }

    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        form = std::make_unique<TRecordingForm>(dialogs);
        form->SetToolPath(toolPath);
        std::remove(dir.File("tool dir/calls").c_str());
        const std::string input = pics + "/" + c.input;
        const std::string output = Replace(Replace(c.output, "$PICS", pics), "$OUT_DIR", out);
        LoadRows({input});
        c.set(*form);
        Click("Button5");
        const std::string expected = Replace(Replace(c.expected, "$IN", input), "$OUT", output);
        ASSERT_EQ(form->Launches.size(), 1u);
        EXPECT_EQ(form->Launches[0].FileName, toolPath);
        EXPECT_EQ(form->Launches[0].Parameters, expected);
        Lines args = {toolPath};
        for (auto& a : CommandLineToArgs(expected)) args.push_back(a);
        EXPECT_EQ(ToolCalls(), std::vector<Lines>{args});
        EXPECT_EQ(Summary(), "Done in N seconds!");
        messages.Messages.clear();
    }
}

TEST_F(RunTest, TheWorkedExampleByteForByte) {
    LoadRows({"/pics/a.png"});
    Click("Button5");
    ASSERT_EQ(form->Launches.size(), 1u);
    EXPECT_EQ(form->Launches[0].Parameters, R"(-i "/pics/a.png" -o "/pics/a.bmp" -s 1024x768  -x s )");
}

TEST_F(RunTest, PathsWithDoubleQuotesReachTheToolExactly) {
    const std::string input = pics + "/say \"hi\" \\\"x.png";
    LoadRows({input});
    Click("Button5");
    ASSERT_EQ(ToolCalls().size(), 1u);
    Lines args = ToolCalls()[0];
    ASSERT_GE(args.size(), 5u);
    EXPECT_EQ(args[1], "-i");
    EXPECT_EQ(args[2], input);
    EXPECT_EQ(args[3], "-o");
    EXPECT_EQ(args[4], pics + "/say \"hi\" \\\"x.bmp");
    EXPECT_EQ(args.size(), 9u);
}

TEST_F(RunTest, OverwriteQuestion) {
    const std::string input = pics + "/a.png", output = pics + "/a.bmp";
    WriteBytes(output, "exists");
    LoadRows({input, input});
    messages.Answers = {mrYes, mrNo};
    Click("Button5");
    const std::string question = "The file \"" + output + "\" already exists. Do you want to overwrite it?";
    ASSERT_EQ(messages.Messages.size(), 3u);
    EXPECT_EQ(messages.Messages[0].Text, question);
    EXPECT_EQ(messages.Messages[0].Type, mtConfirmation);
    EXPECT_EQ(messages.Messages[0].Buttons, (TMsgDlgButtons{mbYes, mbNo}));
    EXPECT_EQ(messages.Messages[1].Text, question);
    // Yes: one " -ow "; No: the row is skipped and is no failure.
    ASSERT_EQ(form->Launches.size(), 1u);
    EXPECT_EQ(form->Launches[0].Parameters, "-i \"" + input + "\" -o \"" + output + "\" -ow  -s 1024x768  -x s ");
    EXPECT_EQ(Summary(), "Done in N seconds!");

    // Ticked: no question, one " -ow ".
    messages.Messages.clear();
    form->Launches.clear();
    form->CheckBox5->setChecked(true);
    Click("Button5");
    EXPECT_EQ(MessageTexts().size(), 1u);
    ASSERT_EQ(form->Launches.size(), 2u);
    EXPECT_EQ(form->Launches[1].Parameters, "-i \"" + input + "\" -o \"" + output + "\" -ow  -s 1024x768  -x s ");
}

TEST_F(RunTest, CleanRunRunsTheToolOncePerRowInOrder) {
    LoadRows({pics + "/a.png", pics + "/b.tif", pics + "/c"});
    Click("Button5");
    EXPECT_EQ(MessageTexts().size(), 1u);
    EXPECT_EQ(Summary(), "Done in N seconds!");
    auto calls = ToolCalls();
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[0][2], pics + "/a.png");
    EXPECT_EQ(calls[1][2], pics + "/b.tif");
    EXPECT_EQ(calls[2][4], pics + "/c.bmp");
    EXPECT_EQ(form->ProgressBar1->Max(), 3);
    EXPECT_EQ(form->ProgressBar1->Position(), 0);
}

TEST_F(RunTest, EmptyListReportsAtOnce) {
    Click("Button5");
    EXPECT_EQ(MessageTexts(), (Lines{"Done in 0 seconds!"}));
    EXPECT_EQ(form->ProgressBar1->Max(), 0);
    EXPECT_TRUE(form->Launches.empty());
}

TEST_F(RunTest, FailedRowsAreReported) {
    LoadRows({pics + "/a.png", pics + "/fail.png", pics + "/c.png"});
    Click("Button5");
    EXPECT_EQ(ToolCalls().size(), 3u);
    EXPECT_EQ(Summary(), "Done in N seconds!\n\n1 of 3 files could not be converted:\n" + pics + "/fail.png: exit code 4");
}

TEST_F(RunTest, MissingToolReportsEveryRowAndAtMostTenLines) {
    form->SetToolPath(dir.File("nowhere/VarnelSilent"));
    LoadRows({pics + "/a.png", pics + "/b.png"});
    Click("Button5");
    EXPECT_EQ(Summary(), "Done in N seconds!\n\n2 of 2 files could not be converted:\n" + pics + "/a.png: tool not found\n" +
                             pics + "/b.png: tool not found");
    EXPECT_EQ(form->ProgressBar1->Position(), 0);

    messages.Messages.clear();
    Lines rows;
    for (int i = 0; i < 12; ++i) rows.push_back(pics + "/" + std::to_string(i) + ".png");
    LoadRows(rows);
    Click("Button5");
    std::string expected = "Done in N seconds!\n\n12 of 12 files could not be converted:";
    for (int i = 0; i < 10; ++i) expected += "\n" + pics + "/" + std::to_string(i) + ".png: tool not found";
    EXPECT_EQ(Summary(), expected + "\n...");
}

TEST_F(RunTest, ToolThatCannotStartIsReported) {
    WriteBytes(toolPath, "not a program");  // still executable
    LoadRows({pics + "/a.png"});
    Click("Button5");
    EXPECT_EQ(Summary(), "Done in N seconds!\n\n1 of 1 files could not be converted:\n" + pics +
                             "/a.png: could not start: " + SysErrorMessage(ENOEXEC));
}

TEST_F(RunTest, EditBoxTargetDirectory) {
    LoadRows({pics + "/a.png"});
    form->RadioButton2->setChecked(true);

    // Empty: nothing runs, the user is told to choose a folder.
    form->Edit1->clear();
    Click("Button5");
    EXPECT_EQ(MessageTexts(), (Lines{"Please choose a target directory."}));
    EXPECT_EQ(messages.Messages[0].Buttons, TMsgDlgButtons{mbOK});
    EXPECT_TRUE(form->Launches.empty());

    // Missing and not to be created: nothing runs and nothing more is said.
    messages.Messages.clear();
    const std::string target = dir.File("new out");
    form->Edit1->setText(QString::fromStdString(target));
    messages.Answers = {mrNo};
    Click("Button5");
    EXPECT_EQ(MessageTexts(), (Lines{"Target directory does not exist! Do you want to create it?"}));
    EXPECT_EQ(messages.Messages[0].Type, mtConfirmation);
    EXPECT_FALSE(DirectoryExists(target));
    EXPECT_TRUE(form->Launches.empty());

    // Created after Yes.
    messages.Messages.clear();
    messages.Answers = {mrYes};
    Click("Button5");
    EXPECT_TRUE(DirectoryExists(target));
    ASSERT_EQ(form->Launches.size(), 1u);
    EXPECT_EQ(ToolCalls()[0][4], target + "/a.bmp");
    EXPECT_EQ(Summary(), "Done in N seconds!");
}

TEST_F(RunTest, ListControlsAreLockedDuringARunAndUnlockedAfterwards) {
    const std::string input = pics + "/a.png";
    WriteBytes(pics + "/a.bmp", "exists");
    LoadRows({input, input});
    const char* locked[] = {"Button1", "Button3", "Button4", "Button9", "Button5"};
    std::vector<bool> enabledDuringRun;
    messages.OnMessage = [&](const TRecordedMessage& m) {
        if (m.Type != mtConfirmation) return;
        for (const char* name : locked) enabledDuringRun.push_back(Find<QWidget>(name)->isEnabled());
        EXPECT_TRUE(form->Running());
    };
    messages.Answers = {mrYes, mrYes};
    Click("Button5");
    EXPECT_EQ(enabledDuringRun, std::vector<bool>(10, false));
    for (const char* name : locked) EXPECT_TRUE(Find<QWidget>(name)->isEnabled()) << name;

    // Also when the run ends by an error.
    messages.OnMessage = [&](const TRecordedMessage& m) {
        if (m.Type == mtConfirmation) throw EAbort();
    };
    EXPECT_THROW(form->Button5Click(form->Button5), EAbort);
    for (const char* name : locked) EXPECT_TRUE(Find<QWidget>(name)->isEnabled()) << name;
    EXPECT_FALSE(form->Running());
    EXPECT_EQ(form->ProgressBar1->Position(), 0);
}

TEST_F(RunTest, ClosingTheWindowDuringARunStopsAfterTheCurrentRow) {
    const std::string b = pics + "/b.png";
    WriteBytes(pics + "/b.bmp", "exists");
    LoadRows({pics + "/a.png", b, pics + "/c.png"});
    form->show();
    bool asked = false;
    messages.OnMessage = [&](const TRecordedMessage& m) {
        if (!asked && m.Text.find("already exists") != std::string::npos) {
            asked = true;
            form->close();  // asks the exit question, answered first
        }
    };
    messages.Answers = {mrYes, mrYes};
    Click("Button5");
    EXPECT_EQ(ToolCalls().size(), 2u);
    EXPECT_FALSE(form->isVisible());
    ASSERT_EQ(messages.Messages.size(), 2u);  // no closing message
    EXPECT_EQ(messages.Messages[1].Text, "Do you really want to exit?");
}

}  // namespace
