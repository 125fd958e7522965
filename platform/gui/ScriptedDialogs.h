// GUI platform: scripted stand-ins for the dialogs and message boxes, for tests. Every box and
// dialog is recorded; answers come from queues filled in advance.
#pragma once

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "FileDialogs.h"

// One message box as it was asked for.
struct TRecordedMessage {
    std::string Text;
    TMsgDlgType Type = mtCustom;
    TMsgDlgButtons Buttons;
    std::string Caption;
};

// Answers questions (boxes with more than an OK button) from a queue of modal results; a question
// with an empty queue is answered mrNo and counted in UnexpectedQuestions. Boxes with only an OK
// button return mrOk. Installs itself as the process's message handler for its lifetime.
class TScriptedMessageHandler : public TMessageHandler {
public:
    TScriptedMessageHandler();
    ~TScriptedMessageHandler() override;
    TScriptedMessageHandler(const TScriptedMessageHandler&) = delete;
    TScriptedMessageHandler& operator=(const TScriptedMessageHandler&) = delete;

    int MessageDlg(const std::string& text, TMsgDlgType type, TMsgDlgButtons buttons,
                   const std::string& caption) override;

    std::deque<int> Answers;
    std::vector<TRecordedMessage> Messages;
    int UnexpectedQuestions = 0;
    // Called for every box before it is answered (for looking at the program's state meanwhile).
    std::function<void(const TRecordedMessage&)> OnMessage;

private:
    TMessageHandler* previous_;
};

// Dialogs answered from queues: an empty optional (or an empty queue) means the user cancelled.
class TScriptedDialogs : public TDialogs {
public:
    bool OpenFiles(QWidget* parent, const TOpenDialogOptions& options, std::vector<std::string>& files) override;
    bool SaveFile(QWidget* parent, const std::string& filter, std::string& fileName) override;
    bool ChooseColor(QWidget* parent, TColor& color) override;
    bool BrowseForFolder(QWidget* parent, const TBrowseOptions& options, std::string& directory) override;

    std::deque<std::optional<std::vector<std::string>>> OpenAnswers;
    std::deque<std::optional<std::string>> SaveAnswers;
    std::deque<std::optional<TColor>> ColorAnswers;
    std::deque<std::optional<std::string>> FolderAnswers;

    // What the dialogs were opened with.
    std::vector<TOpenDialogOptions> OpenCalls;
    std::vector<std::string> SaveFilters;
    std::vector<TColor> ColorCalls;
    std::vector<TBrowseOptions> FolderCalls;
};
