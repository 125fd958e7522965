// The main window of the batch front end: the image list, list files, the conversion run, the
// converter launcher and the folder and colour choosers.
#pragma once

#include <QWidget>
#include <cstdint>
#include <string>
#include <vector>

#include "Controls.h"
#include "FileDialogs.h"
#include "Process.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

// What the window does with a close request.
enum TCloseAction : uint8_t { caNone, caHide, caFree, caMinimize };

class TForm1 : public QWidget {
    Q_OBJECT
public:
    // The window asks the user through `dialogs`; it must outlive the window.
    explicit TForm1(TDialogs& dialogs, QWidget* parent = nullptr);
    ~TForm1() override;

    // Controls, named as in the window's layout (each is also its Qt object name).
    QLabel* Label1;
    TListView* ListView1;
    QPushButton* Button1;
    QPushButton* Button3;
    QPushButton* Button4;
    QPushButton* Button8;
    QPushButton* Button9;
    QPushButton* Button5;
    QPushButton* Button7;
    QGroupBox* GroupBox1;
    QRadioButton* RadioButton1;
    QRadioButton* RadioButton2;
    QLineEdit* Edit1;
    QPushButton* Button6;
    QCheckBox* CheckBox5;
    QCheckBox* CheckBox7;
    QGroupBox* GroupBox2;
    QRadioButton* RadioButton3;
    TSpinEdit* SpinEdit1;
    QLabel* Label3;
    TSpinEdit* SpinEdit2;
    QRadioButton* RadioButton4;
    TSpinEdit* SpinEdit3;
    QLabel* Label2;
    TPanel* Panel1;
    QRadioButton* RadioButton5;
    QRadioButton* RadioButton6;
    QCheckBox* CheckBox6;
    QGroupBox* GroupBox3;
    QComboBox* ComboBox1;
    QGroupBox* GroupBox4;
    QCheckBox* CheckBox1;
    TSpinEdit* SpinEdit4;
    QLabel* Label4;
    QGroupBox* GroupBox7;
    QRadioButton* RadioButton7;
    QRadioButton* RadioButton8;
    QRadioButton* RadioButton9;
    QRadioButton* RadioButton10;
    QRadioButton* RadioButton11;
    QRadioButton* RadioButton12;
    QRadioButton* RadioButton13;
    QRadioButton* RadioButton14;
    QGroupBox* GroupBox5;
    QCheckBox* CheckBox2;
    QCheckBox* CheckBox3;
    QCheckBox* CheckBox4;
    QCheckBox* CheckBox8;
    QGroupBox* GroupBox6;
    QCheckBox* CheckBox9;
    TPanel* Panel3;
    QPushButton* Button2;
    TPanel* Panel2;
    TProgressBar* ProgressBar1;

    // The colour dialog's own colour: black at first, then the last colour chosen.
    TColor ColorDialog1Color = clBlack;

    // Event handlers.
    void FormClose(QObject* Sender, TCloseAction& Action);
    void Button1Click(QObject* Sender);
    void Button2Click(QObject* Sender);
    void Button3Click(QObject* Sender);
    void Button4Click(QObject* Sender);
    void Button5Click(QObject* Sender);
    void Button6Click(QObject* Sender);
    void Button7Click(QObject* Sender);
    void Button8Click(QObject* Sender);
    void Button9Click(QObject* Sender);

    // The file's size in bytes (64-bit), 0 when it cannot be found.
    int64_t GetFileSize(const std::string& FileName) const;

    // Runs the program associated with FileName and waits for it (see Process.h). `Status`, when
    // given, tells how the launch ended. The conversion run starts the tool through here.
    virtual bool StartAssociatedExe(const std::string& FileName, const std::string& Parameters, uint32_t& ExitCode,
                            TLaunchStatus* Status = nullptr);

    // Shows the folder browser; true when a folder was chosen, which is then in Directory. A
    // Directory that names no existing folder is emptied first.
    bool AdvSelectDirectory(const std::string& Title, const std::u16string& RootPath, std::string& Directory,
                            bool WithEditBox, bool WithFiles, bool AllowNewFolder);

    // The converter tool: "VarnelSilent" in the program's own folder unless set otherwise.
    const std::string& ToolPath() const { return toolPath_; }
    void SetToolPath(std::string path) { toolPath_ = std::move(path); }

    // Whether a conversion run is in progress.
    bool Running() const { return running_; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    // Adds rows for image files: the caption at once, then the picture's size, the extension and the
    // file size. An error loading a file ends the call; that row keeps its caption, an empty size,
    // its extension and its file size.
    void AddImageFiles(const std::vector<std::string>& files);
    // The parameter text of one row, from the settings as they are now. `overwrite` says whether the
    // user allowed overwriting an existing output file.
    std::string ParameterText(const std::string& input, const std::string& output, bool overwrite) const;
    // The controls that change the list or start a run.
    std::vector<QWidget*> RunLockedControls() const;

    class TBusyLock {
    public:
        explicit TBusyLock(TForm1& form);
        ~TBusyLock();
        TBusyLock(const TBusyLock&) = delete;
        TBusyLock& operator=(const TBusyLock&) = delete;

    private:
        TForm1& form_;
        std::vector<QWidget*> controls_;
    };

    TDialogs& dialogs_;
    TAnchorManager* anchors_;
    std::string toolPath_;
    bool running_ = false;
    bool closeRequested_ = false;
};
