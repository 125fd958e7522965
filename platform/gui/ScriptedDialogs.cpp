#include "ScriptedDialogs.h"

namespace {

template <typename T>
std::optional<T> Next(std::deque<std::optional<T>>& queue) {
    if (queue.empty()) return std::nullopt;
    std::optional<T> value = std::move(queue.front());
    queue.pop_front();
    return value;
}

}  // namespace

TScriptedMessageHandler::TScriptedMessageHandler() : previous_(SetMessageHandler(this)) {}

TScriptedMessageHandler::~TScriptedMessageHandler() { SetMessageHandler(previous_); }

int TScriptedMessageHandler::MessageDlg(const std::string& text, TMsgDlgType type, TMsgDlgButtons buttons,
                                        const std::string& caption) {
    const TRecordedMessage message{text, type, buttons, caption};
    Messages.push_back(message);
    if (OnMessage) OnMessage(message);
    TMsgDlgButtons okOnly{mbOK};
    if (buttons == okOnly || buttons == TMsgDlgButtons{}) return mrOk;
    if (Answers.empty()) {
        ++UnexpectedQuestions;
        return mrNo;
    }
    int answer = Answers.front();
    Answers.pop_front();
    return answer;
}

bool TScriptedDialogs::OpenFiles(QWidget*, const TOpenDialogOptions& options, std::vector<std::string>& files) {
    OpenCalls.push_back(options);
    auto answer = Next(OpenAnswers);
    if (!answer) return false;
    files = std::move(*answer);
    return true;
}

bool TScriptedDialogs::SaveFile(QWidget*, const std::string& filter, std::string& fileName) {
    SaveFilters.push_back(filter);
    auto answer = Next(SaveAnswers);
    if (!answer) return false;
    fileName = std::move(*answer);
    return true;
}

bool TScriptedDialogs::ChooseColor(QWidget*, TColor& color) {
    ColorCalls.push_back(color);
    auto answer = Next(ColorAnswers);
    if (!answer) return false;
    color = *answer;
    return true;
}

bool TScriptedDialogs::BrowseForFolder(QWidget*, const TBrowseOptions& options, std::string& directory) {
    FolderCalls.push_back(options);
    auto answer = Next(FolderAnswers);
    if (!answer) return false;
    directory = std::move(*answer);
    return true;
}
