// GUI platform: the dialogs the front end asks the user through. An abstract interface with a Qt
// implementation (TQtDialogs) and a scripted one for tests (ScriptedDialogs.h); message boxes go
// through the core's TMessageHandler, whose Qt implementation lives here as well.
#pragma once

#include <string>
#include <vector>

#include "../Dialogs.h"
#include "../GraphicsTypes.h"

#include <QImage>

class QWidget;
class QString;

// What an open dialog shows. `Filter` is in the platform's form: pairs of description and
// patterns separated by "|", patterns of one pair separated by ";" ("Text (*.txt)|*.txt|All|*").
struct TOpenDialogOptions {
    std::string Title;
    std::string Filter;
    bool MultiSelect = false;
    // Show a preview pane that decodes the selected file through the picture layer.
    bool Preview = false;
};

// What the folder browser shows. `StartDirectory` is preselected when not empty; `RootPath`, when
// not empty, is the folder the browser starts from.
struct TBrowseOptions {
    std::string Title;
    std::string RootPath;
    std::string StartDirectory;
    bool WithEditBox = false;
    bool WithFiles = false;
    bool AllowNewFolder = true;
};

class TDialogs {
public:
    virtual ~TDialogs() = default;
    // Each returns false when the user cancelled; the out-parameter is then left unchanged.
    virtual bool OpenFiles(QWidget* parent, const TOpenDialogOptions& options, std::vector<std::string>& files) = 0;
    virtual bool SaveFile(QWidget* parent, const std::string& filter, std::string& fileName) = 0;
    // `color` in: the colour the dialog opens with; out: the colour chosen.
    virtual bool ChooseColor(QWidget* parent, TColor& color) = 0;
    virtual bool BrowseForFolder(QWidget* parent, const TBrowseOptions& options, std::string& directory) = 0;
};

// The real dialogs of Qt.
class TQtDialogs : public TDialogs {
public:
    bool OpenFiles(QWidget* parent, const TOpenDialogOptions& options, std::vector<std::string>& files) override;
    bool SaveFile(QWidget* parent, const std::string& filter, std::string& fileName) override;
    bool ChooseColor(QWidget* parent, TColor& color) override;
    bool BrowseForFolder(QWidget* parent, const TBrowseOptions& options, std::string& directory) override;
};

// Message boxes as Qt message boxes; an empty caption shows the application's title.
class TQtMessageHandler : public TMessageHandler {
public:
    int MessageDlg(const std::string& text, TMsgDlgType type, TMsgDlgButtons buttons,
                   const std::string& caption) override;
};

// The picture of a file, decoded through the picture layer, for the open dialog's preview pane. A
// picture without pixels (a metafile) gives a null image and its size in `error`; a file that
// cannot be read gives a null image and the error's message.
QImage PicturePreview(const std::string& fileName, QString& error);

// The platform's filter text ("desc|*.a;*.b|...") in Qt's form ("desc (*.a *.b);;...").
QString QtFilter(const std::string& filter);
