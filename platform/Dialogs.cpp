#include "Dialogs.h"

#include <cstdio>

namespace {

class ConsoleMessageHandler : public TMessageHandler {
public:
    int MessageDlg(const std::string& text, TMsgDlgType type, TMsgDlgButtons buttons,
                   const std::string& caption) override {
        const std::string& title = caption.empty() ? ApplicationTitle() : caption;
        std::fprintf(stderr, "%s%s%s\n", title.c_str(), title.empty() ? "" : ": ", text.c_str());
        std::fflush(stderr);
        if (buttons.Contains(mbOK)) return mrOk;
        if (buttons.Contains(mbNo)) return mrNo;
        if (buttons.Contains(mbCancel)) return mrCancel;
        return mrNone;
    }
};

ConsoleMessageHandler consoleHandler;
TMessageHandler* currentHandler = &consoleHandler;
std::string applicationTitle;

}  // namespace

TMessageHandler* SetMessageHandler(TMessageHandler* handler) {
    TMessageHandler* previous = currentHandler;
    currentHandler = handler ? handler : &consoleHandler;
    return previous;
}

TMessageHandler* CurrentMessageHandler() { return currentHandler; }

int MessageDlg(const std::string& text, TMsgDlgType type, TMsgDlgButtons buttons, const std::string& caption) {
    return currentHandler->MessageDlg(text, type, buttons, caption);
}

void ShowMessage(const std::string& text) { MessageDlg(text, mtCustom, {mbOK}); }

const std::string& ApplicationTitle() { return applicationTitle; }

void SetApplicationTitle(std::string title) { applicationTitle = std::move(title); }
