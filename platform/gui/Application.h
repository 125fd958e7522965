// GUI platform: the application object. It shows the default error box for an exception that
// leaves an event handler: the exception's message in an error box titled with the application's
// title; the silent EAbort shows nothing. While it lives, message boxes are Qt message boxes.
#pragma once

#include <QApplication>
#include <exception>

#include "FileDialogs.h"

class TApplication : public QApplication {
public:
    TApplication(int& argc, char** argv);
    ~TApplication() override;
    TApplication(const TApplication&) = delete;
    TApplication& operator=(const TApplication&) = delete;

    // Sets the title used by message boxes and the application's display name.
    void SetTitle(const std::string& title);

    // Delivers the event; an exception thrown by the receiver's handler ends that handler and is
    // shown by HandleException.
    bool notify(QObject* receiver, QEvent* event) override;

    // The default error box for `error` (nothing for EAbort).
    static void HandleException(const std::exception& error);

    // Runs an event handler; an exception leaving it is shown by HandleException. Handlers
    // connected to signals go through here, so no exception unwinds through Qt's own code.
    template <typename Handler>
    static void Dispatch(Handler&& handler) {
        try {
            handler();
        } catch (const std::exception& error) {
            HandleException(error);
        }
    }

private:
    TQtMessageHandler messageHandler_;
    TMessageHandler* previous_;
};
