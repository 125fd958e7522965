// The main window under test: scripted dialogs and message boxes, a recording stand-in for the
// converter tool, and helpers that drive the window through its buttons.
#pragma once

#include <gtest/gtest.h>

#include <QPushButton>
#include <memory>
#include <string>
#include <vector>

#include "PMain.h"
#include "ScriptedDialogs.h"
#include "TestSupport.h"

using Lines = std::vector<std::string>;

// The window, with every launch's parameter text recorded before the real launch.
class TRecordingForm : public TForm1 {
public:
    using TForm1::TForm1;
    bool StartAssociatedExe(const std::string& FileName, const std::string& Parameters, uint32_t& ExitCode,
                            TLaunchStatus* Status) override {
        Launches.push_back({FileName, Parameters});
        return TForm1::StartAssociatedExe(FileName, Parameters, ExitCode, Status);
    }
    struct Launch {
        std::string FileName;
        std::string Parameters;
    };
    std::vector<Launch> Launches;
};

class FormTest : public ::testing::Test {
protected:
    FormTest();
    ~FormTest() override;

    template <typename T>
    T* Find(const char* name) {
        T* control = form->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(control, nullptr) << name;
        return control;
    }
    void Click(const char* button) { Find<QPushButton>(button)->click(); }

    // The converter stand-in (a shell script in a folder with a blank in its name) that appends its
    // arguments to a record file and exits with 4 for inputs whose path contains "fail".
    std::string InstallTool();
    // The arguments of each run of the stand-in, in order.
    std::vector<Lines> ToolCalls() const;
    // Loads rows through "Load list..." from a list file of the given lines.
    void LoadList(const Lines& lines);
    // The texts of the recorded message boxes.
    Lines MessageTexts() const;
    Lines Rows() const;  // each row as caption and sub-items joined by "|"

    TempDir dir;
    TScriptedMessageHandler messages;
    TScriptedDialogs dialogs;
    std::unique_ptr<TRecordingForm> form;
    std::string toolPath;
};

// Lines joined with CR LF after each, as list files are written.
std::string ListText(const Lines& lines);
