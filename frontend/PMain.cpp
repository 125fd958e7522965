#include "PMain.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <algorithm>
#include <cerrno>
#include <type_traits>

#include "Application.h"
#include "Classes.h"
#include "Dialogs.h"
#include "Graphics.h"
#include "SysUtils.h"
#include "VaderezUv.h"

namespace {

QString Q(const std::string& s) { return QString::fromUtf8(s.data(), qsizetype(s.size())); }
std::string S(const QString& s) { return s.toUtf8().toStdString(); }

template <typename T>
T* Make(QWidget* parent, const char* name, int left, int top, int width, int height) {
    T* control = new T(parent);
    control->setObjectName(QString::fromLatin1(name));
    control->setGeometry(left, top, width, height);
    return control;
}

template <typename T>
T* MakeText(QWidget* parent, const char* name, int left, int top, int width, int height, const char* text) {
    T* control = Make<T>(parent, name, left, top, width, height);
    control->setText(QString::fromUtf8(text));
    if constexpr (std::is_same_v<T, QLabel>) {
        // Labels size themselves to their text, so a wider substitute font never cuts a caption.
        control->resize(std::max(width, control->sizeHint().width()), height);
    }
    return control;
}

QGroupBox* MakeGroup(QWidget* parent, const char* name, int left, int top, int width, int height, const char* title) {
    QGroupBox* group = Make<QGroupBox>(parent, name, left, top, width, height);
    group->setTitle(QString::fromUtf8(title));
    return group;
}

// The list of rows that failed in a run, for the closing message.
struct TFailedRow {
    std::string Path;
    std::string Reason;
};

std::string FailureReason(bool started, TLaunchStatus status, uint32_t exitCode) {
    if (started) return "exit code " + IntToStr(exitCode);
    if (status == lsNotFound) {
        if (exitCode == SE_ERR_NOASSOC) return "could not start: " + SysErrorMessage(EACCES);
        return "tool not found";
    }
    return "could not start: " + SysErrorMessage(int(exitCode));
}

constexpr int kMaxReportedFailures = 10;

// The largest list file that is loaded: some hundred thousand rows, far more than anyone converts at
// once, while a runaway file cannot exhaust the memory.
constexpr int64_t kMaxListFileSize = 32 << 20;

}  // namespace

TForm1::TForm1(TDialogs& dialogs, QWidget* parent)
    : QWidget(parent), dialogs_(dialogs), anchors_(new TAnchorManager(this)),
      toolPath_(ProgramDirectory() + "VarnelSilent") {
    // The image library registers its formats with the picture layer before the window needs them
    // (the open-picture dialog's filter, "Add images...").
    VaderezUvStartup();
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Varnel UI"));
    // The window's fonts are not on every system: take metrically close ones where they exist.
    QFont::insertSubstitutions(QStringLiteral("MS Sans Serif"),
                               {QStringLiteral("Liberation Sans"), QStringLiteral("Arimo"),
                                QStringLiteral("Nimbus Sans"), QStringLiteral("Helvetica")});
    QFont::insertSubstitutions(QStringLiteral("Arial"), {QStringLiteral("Liberation Sans"), QStringLiteral("Arimo"),
                                                         QStringLiteral("Nimbus Sans"), QStringLiteral("Helvetica")});
    QFont windowFont(QStringLiteral("MS Sans Serif"));
    windowFont.setPixelSize(11);
    setFont(windowFont);
    resize(803, 705);
    move(981, 157);

    Label1 = MakeText<QLabel>(this, "Label1", 8, 96, 37, 13, "Images:");
    ListView1 = Make<TListView>(this, "ListView1", 8, 112, 663, 369);
    ListView1->SetColumns({"File", "Image size", "Type", "File size"});
    Button1 = MakeText<QPushButton>(this, "Button1", 686, 112, 105, 25, "Add images...");
    Button3 = MakeText<QPushButton>(this, "Button3", 686, 208, 105, 25, "Remove selected");
    Button4 = MakeText<QPushButton>(this, "Button4", 686, 240, 105, 25, "Remove all");
    Button8 = MakeText<QPushButton>(this, "Button8", 686, 312, 105, 25, "Save list...");
    Button9 = MakeText<QPushButton>(this, "Button9", 686, 344, 105, 25, "Load list...");
    Button5 = MakeText<QPushButton>(this, "Button5", 686, 401, 105, 49, "Start conversion");
    QFont bold = Button5->font();
    bold.setBold(true);
    Button5->setFont(bold);
    Button7 = MakeText<QPushButton>(this, "Button7", 686, 457, 105, 25, "Exit");

    GroupBox1 = MakeGroup(this, "GroupBox1", 8, 491, 361, 120, " Target directory ");
    RadioButton1 = MakeText<QRadioButton>(GroupBox1, "RadioButton1", 16, 24, 153, 17, "Use same as input file");
    RadioButton1->setChecked(true);
    RadioButton2 = MakeText<QRadioButton>(GroupBox1, "RadioButton2", 16, 48, 17, 17, "");
    Edit1 = Make<QLineEdit>(GroupBox1, "Edit1", 40, 48, 273, 21);
    Edit1->setText(QString(QChar::fromLatin1(PathDelim)));
    Button6 = MakeText<QPushButton>(GroupBox1, "Button6", 320, 48, 35, 21, "...");
    CheckBox5 = MakeText<QCheckBox>(GroupBox1, "CheckBox5", 16, 72, 169, 17, "Overwrite without confirmation");
    CheckBox7 = MakeText<QCheckBox>(GroupBox1, "CheckBox7", 16, 88, 137, 17, "Delete after conversion");

    GroupBox2 = MakeGroup(this, "GroupBox2", 480, 491, 311, 118, " Target image size ");
    RadioButton3 = MakeText<QRadioButton>(GroupBox2, "RadioButton3", 16, 24, 57, 17, "Pixels:");
    RadioButton3->setChecked(true);
    SpinEdit1 = Make<TSpinEdit>(GroupBox2, "SpinEdit1", 112, 16, 65, 22);
    SpinEdit1->SetValue(1024);
    Label3 = MakeText<QLabel>(GroupBox2, "Label3", 184, 24, 5, 13, "x");
    SpinEdit2 = Make<TSpinEdit>(GroupBox2, "SpinEdit2", 200, 16, 65, 22);
    SpinEdit2->SetValue(768);
    RadioButton4 = MakeText<QRadioButton>(GroupBox2, "RadioButton4", 16, 48, 65, 17, "Percent:");
    SpinEdit3 = Make<TSpinEdit>(GroupBox2, "SpinEdit3", 112, 40, 65, 22);
    SpinEdit3->SetValue(100);
    Label2 = MakeText<QLabel>(GroupBox2, "Label2", 184, 48, 8, 13, "%");
    Panel1 = Make<TPanel>(GroupBox2, "Panel1", 8, 72, 257, 41);
    Panel1->SetBevelOuter(bvNone);
    Panel1->setAutoFillBackground(false);
    RadioButton5 = MakeText<QRadioButton>(Panel1, "RadioButton5", 8, 8, 73, 17, "Strech");
    RadioButton5->setChecked(true);
    RadioButton6 = MakeText<QRadioButton>(Panel1, "RadioButton6", 104, 8, 113, 17, "Cut / Extend");
    CheckBox6 = MakeText<QCheckBox>(Panel1, "CheckBox6", 8, 24, 97, 17, "Propotional");

    GroupBox3 = MakeGroup(this, "GroupBox3", 8, 617, 129, 65, " Target type ");
    ComboBox1 = Make<QComboBox>(GroupBox3, "ComboBox1", 16, 24, 97, 21);
    ComboBox1->setEditable(false);
    ComboBox1->addItems({QStringLiteral(".bmp"), QStringLiteral(".jpg"), QStringLiteral(".gif"), QStringLiteral(".png")});
    ComboBox1->setCurrentIndex(0);

    GroupBox4 = MakeGroup(this, "GroupBox4", 144, 617, 225, 65, " Rotation ");
    CheckBox1 = MakeText<QCheckBox>(GroupBox4, "CheckBox1", 8, 32, 73, 17, "Rotate by");
    SpinEdit4 = Make<TSpinEdit>(GroupBox4, "SpinEdit4", 80, 24, 89, 22);
    SpinEdit4->SetLimits(0, 360);
    SpinEdit4->SetValue(0);
    Label4 = MakeText<QLabel>(GroupBox4, "Label4", 176, 32, 33, 13, "degree");

    GroupBox7 = MakeGroup(this, "GroupBox7", 376, 496, 97, 185, " Bit depth ");
    RadioButton7 = MakeText<QRadioButton>(GroupBox7, "RadioButton7", 8, 24, 81, 17, "No changes");
    RadioButton7->setChecked(true);
    RadioButton8 = MakeText<QRadioButton>(GroupBox7, "RadioButton8", 8, 40, 73, 17, "1");
    RadioButton9 = MakeText<QRadioButton>(GroupBox7, "RadioButton9", 8, 56, 73, 17, "4");
    RadioButton10 = MakeText<QRadioButton>(GroupBox7, "RadioButton10", 8, 72, 65, 17, "8");
    RadioButton11 = MakeText<QRadioButton>(GroupBox7, "RadioButton11", 8, 88, 57, 17, "15");
    RadioButton12 = MakeText<QRadioButton>(GroupBox7, "RadioButton12", 8, 104, 57, 17, "16");
    RadioButton13 = MakeText<QRadioButton>(GroupBox7, "RadioButton13", 8, 120, 57, 17, "24");
    RadioButton14 = MakeText<QRadioButton>(GroupBox7, "RadioButton14", 8, 136, 57, 17, "32");

    GroupBox5 = MakeGroup(this, "GroupBox5", 478, 617, 181, 65, " Effects ");
    CheckBox2 = MakeText<QCheckBox>(GroupBox5, "CheckBox2", 16, 24, 57, 17, "Sepia");
    CheckBox3 = MakeText<QCheckBox>(GroupBox5, "CheckBox3", 16, 40, 57, 17, "Invert");
    CheckBox4 = MakeText<QCheckBox>(GroupBox5, "CheckBox4", 80, 24, 81, 17, "Grey scale");
    CheckBox8 = MakeText<QCheckBox>(GroupBox5, "CheckBox8", 80, 40, 89, 17, "Emboss");

    GroupBox6 = MakeGroup(this, "GroupBox6", 666, 617, 125, 65, " Color ");
    CheckBox9 = MakeText<QCheckBox>(GroupBox6, "CheckBox9", 8, 16, 81, 17, "Use fill color");
    Panel3 = Make<TPanel>(GroupBox6, "Panel3", 8, 40, 17, 17);
    Panel3->SetBevelOuter(bvLowered);
    Panel3->SetColor(clBtnFace);
    Button2 = MakeText<QPushButton>(GroupBox6, "Button2", 40, 40, 75, 17, "Change");

    Panel2 = Make<TPanel>(this, "Panel2", 0, 0, 803, 81);
    Panel2->SetCaption("Varnel");
    Panel2->SetColor(clWhite);
    QFont title(QStringLiteral("Arial"));
    title.setPixelSize(27);
    title.setBold(true);
    Panel2->setFont(title);
    ProgressBar1 = Make<TProgressBar>(this, "ProgressBar1", 0, 705 - 18, 803, 18);
    ProgressBar1->SetStep(1);
    ProgressBar1->SetPosition(0);

    // Edges the controls keep their distance to when the window (or their group) is resized.
    anchors_->Anchor(ListView1, {akLeft, akTop, akRight, akBottom});
    for (QWidget* w : {(QWidget*)Button1, (QWidget*)Button3, (QWidget*)Button4, (QWidget*)Button8, (QWidget*)Button9})
        anchors_->Anchor(w, {akTop, akRight});
    for (QWidget* w : {(QWidget*)Button5, (QWidget*)Button7, (QWidget*)GroupBox2, (QWidget*)GroupBox7,
                       (QWidget*)GroupBox5, (QWidget*)GroupBox6})
        anchors_->Anchor(w, {akRight, akBottom});
    anchors_->Anchor(GroupBox1, {akLeft, akRight, akBottom});
    anchors_->Anchor(Edit1, {akLeft, akTop, akRight});
    anchors_->Anchor(Button6, {akTop, akRight});
    anchors_->Anchor(GroupBox3, {akLeft, akBottom});
    anchors_->Anchor(GroupBox4, {akLeft, akBottom});
    anchors_->Align(Panel2, TAnchorManager::alTop);
    anchors_->Align(ProgressBar1, TAnchorManager::alBottom);

    auto wire = [this](QPushButton* button, void (TForm1::*handler)(QObject*)) {
        connect(button, &QPushButton::clicked, this,
                [this, button, handler] { TApplication::Dispatch([&] { (this->*handler)(button); }); });
    };
    wire(Button1, &TForm1::Button1Click);
    wire(Button2, &TForm1::Button2Click);
    wire(Button3, &TForm1::Button3Click);
    wire(Button4, &TForm1::Button4Click);
    wire(Button5, &TForm1::Button5Click);
    wire(Button6, &TForm1::Button6Click);
    wire(Button7, &TForm1::Button7Click);
    wire(Button8, &TForm1::Button8Click);
    wire(Button9, &TForm1::Button9Click);
}

TForm1::~TForm1() = default;

// ---------------------------------------------------------------------------
// Closing

void TForm1::closeEvent(QCloseEvent* event) {
    event->ignore();
    TCloseAction action = caHide;
    bool asked = false;
    TApplication::Dispatch([&] {
        FormClose(this, action);
        asked = true;
    });
    // Without an answer (the question failed) the window stays open.
    if (!asked || action == caNone) return;
    // A run in progress stops after the row being converted.
    if (running_) closeRequested_ = true;
    event->accept();
}

void TForm1::FormClose(QObject*, TCloseAction& Action) {
    if (MessageDlg("Do you really want to exit?", mtConfirmation, {mbYes, mbNo}) == mrNo) Action = caNone;
}

void TForm1::Button7Click(QObject*) { close(); }

// ---------------------------------------------------------------------------
// Image list

int64_t TForm1::GetFileSize(const std::string& FileName) const {
    int64_t size = FileSizeOf(FileName);
    return size < 0 ? 0 : size;
}

void TForm1::Button1Click(QObject*) {
    TOpenDialogOptions od;
    od.Filter = GraphicFilter(&TGraphic::Class);
    od.MultiSelect = true;
    od.Preview = true;
    std::vector<std::string> files;
    if (!dialogs_.OpenFiles(this, od, files)) return;
    AddImageFiles(files);
}

void TForm1::AddImageFiles(const std::vector<std::string>& files) {
    TBusyLock lock(*this);
    const int previousMax = ProgressBar1->Max();
    struct RestoreMax {
        TProgressBar* bar;
        int max;
        ~RestoreMax() { bar->SetMax(max); }
    } restoreMax{ProgressBar1, previousMax};
    ProgressBar1->SetMax(100);

    // One picture for the whole call. While a file decodes, its progress drives the bar and the
    // window repaints, so a long list of large files does not look hung.
    TPicture picture;
    int shownPercent = -1;
    picture.OnProgress = [&](TGraphic*, TProgressStage stage, uint8_t percent, bool, const TRect&, const std::string&) {
        int value = stage == psRunning ? percent : 0;
        if (value == shownPercent) return;
        shownPercent = value;
        ProgressBar1->SetPosition(value);
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    };
    for (const std::string& file : files) {
        if (closeRequested_) break;
        int row = ListView1->AddRow(file);
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        try {
            picture.LoadFromFile(file);
        } catch (...) {
            // The failing file keeps its row, completed but for its size, so the user sees which one
            // failed and the list can still be saved; files after it are not added.
            ListView1->AddSubItem(row, "");
            ListView1->AddSubItem(row, ExtractFileExt(file));
            ListView1->AddSubItem(row, IntToStr(GetFileSize(ListView1->Caption(row))) + " byte(s)");
            throw;
        }
        ListView1->AddSubItem(row, IntToStr(picture.Width()) + "x" + IntToStr(picture.Height()));
        ListView1->AddSubItem(row, ExtractFileExt(file));
        ListView1->AddSubItem(row, IntToStr(GetFileSize(ListView1->Caption(row))) + " byte(s)");
        shownPercent = -1;
        ProgressBar1->SetPosition(0);
    }
}

void TForm1::Button3Click(QObject*) {
    std::vector<int> selected = ListView1->SelectedRows();
    for (auto it = selected.rbegin(); it != selected.rend(); ++it) ListView1->DeleteRow(*it);
}

void TForm1::Button4Click(QObject*) { ListView1->ClearRows(); }

// ---------------------------------------------------------------------------
// List files

void TForm1::Button8Click(QObject*) {
    std::string fileName;
    if (!dialogs_.SaveFile(this, "*.txt|*.txt", fileName)) return;
    TStringList lines;
    for (int i = 0; i < ListView1->Count(); ++i) {
        lines.Add(ListView1->Caption(i));
        const TStringList& subItems = ListView1->SubItems(i);
        for (int k = 0; k < 3; ++k) lines.Add(subItems.Strings(k));
    }
    // Written to a temporary file renamed into place: a failed save leaves the old file as it was.
    std::string text = lines.Text();
    WriteFileAtomically(fileName, text.data(), text.size());
}

void TForm1::Button9Click(QObject*) {
    TOpenDialogOptions options;
    options.Filter = "*.txt|*.txt";
    std::vector<std::string> files;
    if (!dialogs_.OpenFiles(this, options, files) || files.empty()) return;
    // The whole file is read before the list is touched, so a file that cannot be read leaves it.
    TStringList lines;
    {
        TFileStream file(files.front(), fmOpenRead | fmShareDenyWrite);
        const int64_t size = file.Size();
        if (size > kMaxListFileSize)
            throw EReadError(Format("The list file \"%s\" is too large (%d bytes; at most %d bytes are read)",
                                    {files.front(), size, kMaxListFileSize}));
        std::string text(size_t(size), '\0');
        file.ReadBuffer(text.data(), size);
        lines.SetText(text);
    }
    ListView1->ClearRows();
    for (int i = 0; i < lines.Count() - 1; i += 4) {
        int row = ListView1->AddRow(lines.Strings(i));
        for (int k = 1; k <= 3; ++k) ListView1->AddSubItem(row, lines.Strings(i + k));
    }
}

// ---------------------------------------------------------------------------
// Conversion run

std::vector<QWidget*> TForm1::RunLockedControls() const { return {Button1, Button3, Button4, Button9, Button5}; }

// While a run or an "Add images..." call processes messages, the list cannot change and no second
// one can start; the controls come back, and the progress bar returns to 0, however the call ends.
TForm1::TBusyLock::TBusyLock(TForm1& form) : form_(form), controls_(form.RunLockedControls()) {
    form_.running_ = true;
    form_.closeRequested_ = false;
    for (QWidget* c : controls_) c->setEnabled(false);
}

TForm1::TBusyLock::~TBusyLock() {
    for (QWidget* c : controls_) c->setEnabled(true);
    form_.running_ = false;
    form_.ProgressBar1->SetPosition(0);
}

std::string TForm1::ParameterText(const std::string& input, const std::string& output, bool overwrite) const {
    std::string text = "-i \"" + EscapeQuoted(input) + "\"";
    text += " -o \"" + EscapeQuoted(output) + "\"";
    if (overwrite) text += " -ow ";
    if (CheckBox5->isChecked()) text += " -ow ";
    if (CheckBox1->isChecked()) text += " -r " + IntToStr(SpinEdit4->Value()) + " ";
    if (RadioButton3->isChecked()) {
        text += " -s " + IntToStr(SpinEdit1->Value()) + "x" + IntToStr(SpinEdit2->Value()) + " ";
    } else {
        text += " -s " + IntToStr(SpinEdit3->Value()) + "% ";
    }
    text += RadioButton5->isChecked() ? " -x s" : " -x c";
    text += CheckBox6->isChecked() ? "p " : " ";
    if (CheckBox7->isChecked()) text += " -d ";
    if (CheckBox2->isChecked() || CheckBox3->isChecked() || CheckBox4->isChecked() || CheckBox8->isChecked()) {
        text += " -e ";
        if (CheckBox2->isChecked()) text += "s";
        if (CheckBox3->isChecked()) text += "i";
        if (CheckBox4->isChecked()) text += "b";
        if (CheckBox8->isChecked()) text += "e";
        text += " ";
    }
    if (CheckBox9->isChecked()) text += " -c " + IntToStr(Panel3->Color()) + " ";
    static const struct {
        QRadioButton* TForm1::*button;
        const char* piece;
    } kBitDepths[] = {
        {&TForm1::RadioButton8, " -bit 1"},   {&TForm1::RadioButton9, " -bit 4"},
        {&TForm1::RadioButton10, " -bit 8"},  {&TForm1::RadioButton11, " -bit 15"},
        {&TForm1::RadioButton12, " -bit 16"}, {&TForm1::RadioButton13, " -bit 24"},
        {&TForm1::RadioButton14, " -bit 32"},
    };
    for (const auto& depth : kBitDepths) {
        if ((this->*depth.button)->isChecked()) text += depth.piece;
    }
    return text;
}

bool TForm1::StartAssociatedExe(const std::string& FileName, const std::string& Parameters, uint32_t& ExitCode,
                                TLaunchStatus* Status) {
    return ::StartAssociatedExe(FileName, Parameters, ExitCode, Status);
}

void TForm1::Button5Click(QObject*) {
    const uint32_t startTick = GetTickCount();
    std::string targetDir;
    if (RadioButton2->isChecked()) {
        std::string directory = S(Edit1->text());
        if (directory.empty()) {
            // Never fall back to the root or the current folder.
            ShowMessage("Please choose a target directory.");
            return;
        }
        if (!DirectoryExists(directory)) {
            if (MessageDlg("Target directory does not exist! Do you want to create it?", mtConfirmation,
                           {mbYes, mbNo}) != mrYes)
                return;
            CreateDir(directory);  // a failure shows up as failed rows
        }
        targetDir = IncludeTrailingPathDelimiter(directory);
    }

    TBusyLock lock(*this);

    const int count = ListView1->Count();
    ProgressBar1->SetMax(count);
    std::vector<TFailedRow> failures;
    for (int i = 0; i < count && !closeRequested_; ++i) {
        const std::string input = ListView1->Caption(i);
        if (RadioButton1->isChecked()) targetDir = ExtractFilePath(input);
        const std::string output = targetDir + ChangeFileExt(ExtractFileName(input), S(ComboBox1->currentText()));
        bool overwrite = false;
        if (FileExists(output) && !CheckBox5->isChecked()) {
            if (MessageDlg("The file \"" + output + "\" already exists. Do you want to overwrite it?", mtConfirmation,
                           {mbYes, mbNo}) == mrNo)
                continue;
            overwrite = true;
        }
        const std::string parameters = ParameterText(input, output, overwrite);
        ProgressBar1->StepIt();
        uint32_t exitCode = 0;
        TLaunchStatus status = lsExited;
        bool started = StartAssociatedExe(toolPath_, parameters, exitCode, &status);
        if (!started || exitCode != 0) failures.push_back({input, FailureReason(started, status, exitCode)});
        QCoreApplication::processEvents();
    }
    if (closeRequested_) return;

    const int32_t seconds = int32_t(GetTickCount() - startTick) / 1000;
    std::string message = "Done in " + IntToStr(seconds) + " seconds!";
    if (!failures.empty()) {
        message += "\n\n" + IntToStr(int64_t(failures.size())) + " of " + IntToStr(count) +
                   " files could not be converted:";
        for (size_t k = 0; k < failures.size() && k < size_t(kMaxReportedFailures); ++k)
            message += "\n" + failures[k].Path + ": " + failures[k].Reason;
        if (failures.size() > size_t(kMaxReportedFailures)) message += "\n...";
    }
    ShowMessage(message);
}

// ---------------------------------------------------------------------------
// Choosers

bool TForm1::AdvSelectDirectory(const std::string& Title, const std::u16string& RootPath, std::string& Directory,
                                bool WithEditBox, bool WithFiles, bool AllowNewFolder) {
    if (!DirectoryExists(Directory)) Directory.clear();
    TBrowseOptions options;
    options.Title = Title;
    options.RootPath = S(QString::fromStdU16String(RootPath));
    options.StartDirectory = Directory;
    options.WithEditBox = WithEditBox;
    options.WithFiles = WithFiles;
    options.AllowNewFolder = AllowNewFolder;
    std::string chosen;
    if (!dialogs_.BrowseForFolder(this, options, chosen)) return false;
    Directory = chosen;
    return true;
}

void TForm1::Button6Click(QObject*) {
    std::string directory;
    // Cancelling keeps what Edit1 holds.
    if (AdvSelectDirectory("Select a directory", u"", directory, false, false, true)) Edit1->setText(Q(directory));
}

void TForm1::Button2Click(QObject*) {
    TColor color = ColorDialog1Color;
    if (!dialogs_.ChooseColor(this, color)) return;
    ColorDialog1Color = color;
    Panel3->SetColor(color);
}
