#include "Application.h"

#include "../SysUtils.h"

TApplication::TApplication(int& argc, char** argv)
    : QApplication(argc, argv), previous_(SetMessageHandler(&messageHandler_)) {}

TApplication::~TApplication() {
    if (CurrentMessageHandler() == &messageHandler_) SetMessageHandler(previous_);
}

void TApplication::SetTitle(const std::string& title) {
    SetApplicationTitle(title);
    setApplicationDisplayName(QString::fromUtf8(title.data(), qsizetype(title.size())));
}

bool TApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& error) {
        // The one place where the front end's exceptions end: the handler is over, the loop goes on.
        HandleException(error);
        return true;
    }
}

void TApplication::HandleException(const std::exception& error) {
    if (dynamic_cast<const EAbort*>(&error)) return;
    MessageDlg(error.what(), mtError, {mbOK}, ApplicationTitle());
}
