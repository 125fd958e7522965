// Platform core: message boxes, routed through an exchangeable handler. The GUI installs one that
// shows real boxes, tests install a scripted one; without a handler a message becomes one line on
// standard error (the console tool's case) and a question is answered "No".
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>

enum TMsgDlgType : uint8_t { mtWarning, mtError, mtInformation, mtConfirmation, mtCustom };

enum TMsgDlgBtn : uint8_t { mbYes, mbNo, mbOK, mbCancel, mbAbort, mbRetry, mbIgnore, mbAll, mbNoToAll, mbYesToAll };

// A set of buttons.
class TMsgDlgButtons {
public:
    constexpr TMsgDlgButtons() = default;
    constexpr TMsgDlgButtons(std::initializer_list<TMsgDlgBtn> buttons) {
        for (auto b : buttons) bits_ = uint16_t(bits_ | (1u << b));
    }
    constexpr bool Contains(TMsgDlgBtn b) const { return (bits_ >> b) & 1u; }
    constexpr void Include(TMsgDlgBtn b) { bits_ = uint16_t(bits_ | (1u << b)); }
    constexpr void Exclude(TMsgDlgBtn b) { bits_ = uint16_t(bits_ & ~(1u << b)); }
    constexpr uint16_t Value() const { return bits_; }
    friend constexpr bool operator==(TMsgDlgButtons, TMsgDlgButtons) = default;

private:
    uint16_t bits_ = 0;
};

enum TModalResult : int {
    mrNone = 0, mrOk = 1, mrCancel = 2, mrAbort = 3, mrRetry = 4, mrIgnore = 5, mrYes = 6, mrNo = 7,
    mrAll = 8, mrNoToAll = 9, mrYesToAll = 10
};

// Receives every message box of the process.
class TMessageHandler {
public:
    virtual ~TMessageHandler() = default;
    // Shows `text` with the icon of `type` and the given buttons; an empty caption means the
    // application's title. Returns the modal result of the button chosen.
    virtual int MessageDlg(const std::string& text, TMsgDlgType type, TMsgDlgButtons buttons,
                           const std::string& caption) = 0;
};

// Installs a handler (nullptr restores the console default); returns the previous one.
TMessageHandler* SetMessageHandler(TMessageHandler* handler);
TMessageHandler* CurrentMessageHandler();

int MessageDlg(const std::string& text, TMsgDlgType type, TMsgDlgButtons buttons, const std::string& caption = {});
// A plain box with an OK button and no icon.
void ShowMessage(const std::string& text);

const std::string& ApplicationTitle();
void SetApplicationTitle(std::string title);
