#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QFocusEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>

#include "Application.h"
#include "FormFixture.h"
#include "Graphics.h"
#include "SysUtils.h"

namespace {

struct Placement {
    const char* name;
    const char* parent;
    int left, top, width, height;
    const char* text;  // caption, title or text; nullptr where the control has none
};

// The window's layout at its design size.
const Placement kLayout[] = {
    {"Label1", "Form1", 8, 96, 37, 13, "Images:"},
    {"ListView1", "Form1", 8, 112, 663, 369, nullptr},
    {"Button1", "Form1", 686, 112, 105, 25, "Add images..."},
    {"Button3", "Form1", 686, 208, 105, 25, "Remove selected"},
    {"Button4", "Form1", 686, 240, 105, 25, "Remove all"},
    {"Button8", "Form1", 686, 312, 105, 25, "Save list..."},
    {"Button9", "Form1", 686, 344, 105, 25, "Load list..."},
    {"Button5", "Form1", 686, 401, 105, 49, "Start conversion"},
    {"Button7", "Form1", 686, 457, 105, 25, "Exit"},
    {"GroupBox1", "Form1", 8, 491, 361, 120, " Target directory "},
    {"RadioButton1", "GroupBox1", 16, 24, 153, 17, "Use same as input file"},
    {"RadioButton2", "GroupBox1", 16, 48, 17, 17, ""},
    {"Edit1", "GroupBox1", 40, 48, 273, 21, "/"},
    {"Button6", "GroupBox1", 320, 48, 35, 21, "..."},
    {"CheckBox5", "GroupBox1", 16, 72, 169, 17, "Overwrite without confirmation"},
    {"CheckBox7", "GroupBox1", 16, 88, 137, 17, "Delete after conversion"},
    {"GroupBox2", "Form1", 480, 491, 311, 118, " Target image size "},
    {"RadioButton3", "GroupBox2", 16, 24, 57, 17, "Pixels:"},
    {"SpinEdit1", "GroupBox2", 112, 16, 65, 22, "1024"},
    {"Label3", "GroupBox2", 184, 24, 5, 13, "x"},
    {"SpinEdit2", "GroupBox2", 200, 16, 65, 22, "768"},
    {"RadioButton4", "GroupBox2", 16, 48, 65, 17, "Percent:"},
    {"SpinEdit3", "GroupBox2", 112, 40, 65, 22, "100"},
    {"Label2", "GroupBox2", 184, 48, 8, 13, "%"},
    {"Panel1", "GroupBox2", 8, 72, 257, 41, nullptr},
    {"RadioButton5", "Panel1", 8, 8, 73, 17, "Strech"},
    {"RadioButton6", "Panel1", 104, 8, 113, 17, "Cut / Extend"},
    {"CheckBox6", "Panel1", 8, 24, 97, 17, "Propotional"},
    {"GroupBox3", "Form1", 8, 617, 129, 65, " Target type "},
    {"ComboBox1", "GroupBox3", 16, 24, 97, 21, ".bmp"},
    {"GroupBox4", "Form1", 144, 617, 225, 65, " Rotation "},
    {"CheckBox1", "GroupBox4", 8, 32, 73, 17, "Rotate by"},
    {"SpinEdit4", "GroupBox4", 80, 24, 89, 22, "0"},
    {"Label4", "GroupBox4", 176, 32, 33, 13, "degree"},
    {"GroupBox7", "Form1", 376, 496, 97, 185, " Bit depth "},
    {"RadioButton7", "GroupBox7", 8, 24, 81, 17, "No changes"},
    {"RadioButton8", "GroupBox7", 8, 40, 73, 17, "1"},
    {"RadioButton9", "GroupBox7", 8, 56, 73, 17, "4"},
    {"RadioButton10", "GroupBox7", 8, 72, 65, 17, "8"},
    {"RadioButton11", "GroupBox7", 8, 88, 57, 17, "15"},
    {"RadioButton12", "GroupBox7", 8, 104, 57, 17, "16"},
    {"RadioButton13", "GroupBox7", 8, 120, 57, 17, "24"},
    {"RadioButton14", "GroupBox7", 8, 136, 57, 17, "32"},
    {"GroupBox5", "Form1", 478, 617, 181, 65, " Effects "},
    {"CheckBox2", "GroupBox5", 16, 24, 57, 17, "Sepia"},
    {"CheckBox3", "GroupBox5", 16, 40, 57, 17, "Invert"},
    {"CheckBox4", "GroupBox5", 80, 24, 81, 17, "Grey scale"},
    {"CheckBox8", "GroupBox5", 80, 40, 89, 17, "Emboss"},
    {"GroupBox6", "Form1", 666, 617, 125, 65, " Color "},
    {"CheckBox9", "GroupBox6", 8, 16, 81, 17, "Use fill color"},
    {"Panel3", "GroupBox6", 8, 40, 17, 17, nullptr},
    {"Button2", "GroupBox6", 40, 40, 75, 17, "Change"},
    {"Panel2", "Form1", 0, 0, 803, 81, nullptr},
    {"ProgressBar1", "Form1", 0, 687, 803, 18, nullptr},
};

std::string TextOf(QWidget* w) {
    QString text;
    if (auto* b = qobject_cast<QAbstractButton*>(w)) text = b->text();
    else if (auto* l = qobject_cast<QLabel*>(w)) text = l->text();
    else if (auto* e = qobject_cast<QLineEdit*>(w)) text = e->text();
    else if (auto* g = qobject_cast<QGroupBox*>(w)) text = g->title();
    else if (auto* s = qobject_cast<QAbstractSpinBox*>(w)) text = s->text();
    else if (auto* c = qobject_cast<QComboBox*>(w)) text = c->currentText();
    return text.toStdString();
}

TEST_F(FormTest, ControlsArePlacedAsDesigned) {
    EXPECT_EQ(form->windowTitle().toStdString(), "Varnel UI");
    EXPECT_EQ(form->size(), QSize(803, 705));
    for (const Placement& p : kLayout) {
        SCOPED_TRACE(p.name);
        QWidget* w = Find<QWidget>(p.name);
        ASSERT_NE(w, nullptr);
        EXPECT_EQ(w->parentWidget()->objectName().toStdString(), p.parent);
        QRect g = w->geometry();
        EXPECT_EQ(g.topLeft(), QPoint(p.left, p.top));
        EXPECT_EQ(g.height(), p.height);
        // Labels grow to their text when the substitute font is wider.
        if (qobject_cast<QLabel*>(w)) {
            EXPECT_GE(g.width(), p.width);
        } else {
            EXPECT_EQ(g.width(), p.width);
        }
        if (p.text) {
            EXPECT_EQ(TextOf(w), p.text);
        }
    }
    EXPECT_TRUE(form->Button5->font().bold());
    EXPECT_EQ(form->Panel2->Caption(), "Varnel");
    EXPECT_EQ(ColorToRGB(form->Panel2->Color()), clWhite);
    EXPECT_TRUE(form->Panel2->font().bold());
    EXPECT_EQ(form->Panel2->font().pixelSize(), 27);
    EXPECT_EQ(form->ListView1->columnCount(), 4);
    const char* headers[] = {"File", "Image size", "Type", "File size"};
    for (int c = 0; c < 4; ++c) EXPECT_EQ(form->ListView1->horizontalHeaderItem(c)->text().toStdString(), headers[c]);
    QStringList items;
    for (int i = 0; i < form->ComboBox1->count(); ++i) items << form->ComboBox1->itemText(i);
    EXPECT_EQ(items.join(QLatin1Char(' ')).toStdString(), ".bmp .jpg .gif .png");
    EXPECT_FALSE(form->ComboBox1->isEditable());
}

TEST_F(FormTest, StartsWithDefaults) {
    EXPECT_EQ(form->ListView1->Count(), 0);
    EXPECT_TRUE(form->RadioButton1->isChecked());
    EXPECT_FALSE(form->RadioButton2->isChecked());
    EXPECT_TRUE(form->RadioButton3->isChecked());
    EXPECT_TRUE(form->RadioButton5->isChecked());
    EXPECT_TRUE(form->RadioButton7->isChecked());
    EXPECT_EQ(form->SpinEdit1->Value(), 1024);
    EXPECT_EQ(form->SpinEdit2->Value(), 768);
    EXPECT_EQ(form->SpinEdit3->Value(), 100);
    EXPECT_EQ(form->SpinEdit4->Value(), 0);
    EXPECT_EQ(form->ComboBox1->currentText().toStdString(), ".bmp");
    EXPECT_EQ(form->Edit1->text().toStdString(), "/");
    for (QCheckBox* box : form->findChildren<QCheckBox*>()) EXPECT_FALSE(box->isChecked()) << box->objectName().toStdString();
    EXPECT_EQ(form->Panel3->Color(), -2147483633);
    EXPECT_EQ(form->ColorDialog1Color, clBlack);
    EXPECT_EQ(form->ProgressBar1->Position(), 0);
    EXPECT_EQ(form->ProgressBar1->Step(), 1);
    EXPECT_EQ(form->ToolPath(), ProgramDirectory() + "VarnelSilent");
}

TEST_F(FormTest, RadioButtonsAreExclusiveWithinTheirParent) {
    form->RadioButton2->setChecked(true);
    EXPECT_FALSE(form->RadioButton1->isChecked());
    form->RadioButton6->setChecked(true);
    EXPECT_FALSE(form->RadioButton5->isChecked());
    EXPECT_TRUE(form->RadioButton3->isChecked());  // another parent
    form->RadioButton4->setChecked(true);
    EXPECT_FALSE(form->RadioButton3->isChecked());
    EXPECT_TRUE(form->RadioButton6->isChecked());
    form->RadioButton14->setChecked(true);
    EXPECT_FALSE(form->RadioButton7->isChecked());
    EXPECT_TRUE(form->RadioButton2->isChecked());
}

TEST_F(FormTest, ResizingKeepsAnchoredEdges) {
    form->show();
    form->resize(903, 755);  // 100 wider, 50 taller
    QCoreApplication::processEvents();
    struct Expected {
        const char* name;
        QRect geometry;
    } expected[] = {
        {"ListView1", {8, 112, 763, 419}},  {"Button1", {786, 112, 105, 25}},  {"Button9", {786, 344, 105, 25}},
        {"Button5", {786, 451, 105, 49}},   {"Button7", {786, 507, 105, 25}},  {"GroupBox1", {8, 541, 461, 120}},
        {"Edit1", {40, 48, 373, 21}},       {"Button6", {420, 48, 35, 21}},    {"RadioButton2", {16, 48, 17, 17}},
        {"GroupBox2", {580, 541, 311, 118}}, {"GroupBox3", {8, 667, 129, 65}}, {"GroupBox4", {144, 667, 225, 65}},
        {"GroupBox7", {476, 546, 97, 185}}, {"GroupBox5", {578, 667, 181, 65}}, {"GroupBox6", {766, 667, 125, 65}},
        {"Label1", {8, 96, form->Label1->width(), 13}}, {"Panel2", {0, 0, 903, 81}}, {"ProgressBar1", {0, 737, 903, 18}},
    };
    for (const auto& e : expected) EXPECT_EQ(Find<QWidget>(e.name)->geometry(), e.geometry) << e.name;
    form->resize(803, 705);
    QCoreApplication::processEvents();
    EXPECT_EQ(form->ListView1->geometry(), QRect(8, 112, 663, 369));
    EXPECT_EQ(form->Edit1->geometry(), QRect(40, 48, 273, 21));
}

TEST_F(FormTest, RotationSpinEditIsPulledIntoRangeOnLeaving) {
    struct Case {
        TSpinEdit* spin;
        const char* typed;
        int shown;
    } cases[] = {
        {form->SpinEdit4, "400", 360}, {form->SpinEdit4, "-5", 0},        {form->SpinEdit4, "90", 90},
        {form->SpinEdit1, "99999", 99999}, {form->SpinEdit3, "-20", -20},
    };
    for (const auto& c : cases) {
        c.spin->findChild<QLineEdit*>()->setText(QString::fromLatin1(c.typed));
        QFocusEvent leave(QEvent::FocusOut, Qt::TabFocusReason);
        QCoreApplication::sendEvent(c.spin, &leave);
        EXPECT_EQ(c.spin->Value(), c.shown) << c.typed;
        EXPECT_EQ(c.spin->text().toStdString(), std::to_string(c.shown)) << c.typed;
    }
    // Text that is no integer reads as the minimum.
    form->SpinEdit2->findChild<QLineEdit*>()->setText(QString());
    EXPECT_EQ(form->SpinEdit2->Value(), 0);
}

TEST_F(FormTest, ExitQuestionAnsweredNoKeepsEverything) {
    LoadList({"/p/a.png", "1x1", ".png", "5 byte(s)"});
    form->CheckBox7->setChecked(true);
    form->show();
    messages.Answers = {mrNo};
    EXPECT_FALSE(form->close());
    ASSERT_EQ(messages.Messages.size(), 1u);
    EXPECT_EQ(messages.Messages[0].Text, "Do you really want to exit?");
    EXPECT_EQ(messages.Messages[0].Type, mtConfirmation);
    EXPECT_EQ(messages.Messages[0].Buttons, (TMsgDlgButtons{mbYes, mbNo}));
    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(Rows(), (Lines{"/p/a.png|1x1|.png|5 byte(s)"}));
    EXPECT_TRUE(form->CheckBox7->isChecked());

    // A question that cannot be asked keeps the window open and shows why.
    messages.OnMessage = [](const TRecordedMessage& m) {
        if (m.Type == mtConfirmation) throw EOutOfResources("No box");
    };
    EXPECT_FALSE(form->close());
    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(messages.Messages.back().Text, "No box");
    messages.OnMessage = nullptr;
    messages.Messages.clear();

    // "Exit" closes through the same question.
    messages.Answers = {mrYes};
    Click("Button7");
    EXPECT_EQ(MessageTexts(), (Lines{"Do you really want to exit?"}));
    EXPECT_FALSE(form->isVisible());
}

TEST_F(FormTest, RemoveSelectedAndRemoveAll) {
    LoadList({"a", "1", "2", "3", "b", "1", "2", "3", "c", "1", "2", "3"});
    Click("Button3");  // nothing selected
    EXPECT_EQ(form->ListView1->Count(), 3);
    form->ListView1->SelectRow(1);
    Click("Button3");
    EXPECT_EQ(Rows(), (Lines{"a|1|2|3", "c|1|2|3"}));
    Click("Button4");
    EXPECT_EQ(form->ListView1->Count(), 0);
    EXPECT_EQ(form->ListView1->rowCount(), 0);
}

// A 24-bit bottom-up BMP of width x height pixels.
std::string Bmp(int width, int height) {
    int stride = (width * 3 + 3) & ~3;
    int size = 54 + stride * height;
    auto le = [](uint32_t v, int n) {
        std::string s;
        for (int i = 0; i < n; ++i) s.push_back(char((v >> (8 * i)) & 0xFF));
        return s;
    };
    return "BM" + le(uint32_t(size), 4) + le(0, 4) + le(54, 4) + le(40, 4) + le(uint32_t(width), 4) +
           le(uint32_t(height), 4) + le(1, 2) + le(24, 2) + le(0, 4) + le(uint32_t(stride * height), 4) + le(2835, 4) +
           le(2835, 4) + le(0, 4) + le(0, 4) + std::string(size_t(stride * height), '\x7f');
}

TEST_F(FormTest, AddImagesMeasuresEachFileAndStopsAtTheFirstFailure) {
    WriteBytes(dir.File("one.bmp"), Bmp(3, 2));
    WriteBytes(dir.File("TWO.BMP"), Bmp(5, 7));
    WriteBytes(dir.File("bad.xyz"), "???");
    dialogs.OpenAnswers.push_back(std::nullopt);  // cancelled
    Click("Button1");
    EXPECT_EQ(form->ListView1->Count(), 0);
    ASSERT_EQ(dialogs.OpenCalls.size(), 1u);
    EXPECT_TRUE(dialogs.OpenCalls[0].MultiSelect);
    EXPECT_EQ(dialogs.OpenCalls[0].Filter, GraphicFilter(&TGraphic::Class));

    dialogs.OpenAnswers.push_back(Lines{dir.File("one.bmp"), dir.File("TWO.BMP"), dir.File("bad.xyz"), dir.File("one.bmp")});
    Click("Button1");
    // The failing file keeps its row with an empty size, so the list can still be saved.
    EXPECT_EQ(Rows(), (Lines{dir.File("one.bmp") + "|3x2|.bmp|78 byte(s)",
                             dir.File("TWO.BMP") + "|5x7|.BMP|166 byte(s)", dir.File("bad.xyz") + "||.xyz|3 byte(s)"}));
    EXPECT_EQ(MessageTexts(), (Lines{"Unknown picture file extension (.xyz)"}));
    EXPECT_EQ(messages.Messages[0].Type, mtError);
    EXPECT_EQ(messages.Messages[0].Caption, "Varnel");
    // Everything is usable again after the failure, and the bar is back at 0.
    for (const char* name : {"Button1", "Button3", "Button4", "Button5", "Button9"})
        EXPECT_TRUE(Find<QPushButton>(name)->isEnabled()) << name;
    EXPECT_EQ(form->ProgressBar1->Position(), 0);
    ASSERT_TRUE(dialogs.OpenCalls[1].Preview);

    dialogs.SaveAnswers.push_back(dir.File("saved.txt"));
    Click("Button8");
    EXPECT_EQ(ReadBytes(dir.File("saved.txt")),
              ListText({dir.File("one.bmp"), "3x2", ".bmp", "78 byte(s)", dir.File("TWO.BMP"), "5x7", ".BMP",
                        "166 byte(s)", dir.File("bad.xyz"), "", ".xyz", "3 byte(s)"}));
}

TEST_F(FormTest, AddImagesShowsSixtyFourBitSizesAndTheExtensionAsWritten) {
    // A bitmap followed by a sparse tail: five thousand million bytes on the disk's books.
    std::string big = dir.File("big.bmp");
    WriteBytes(big, Bmp(2, 2));
    ASSERT_EQ(::truncate(big.c_str(), 5000000000LL), 0);
    std::vector<Lines> expected{{big + "|2x2|.bmp|5000000000 byte(s)"}};
    Lines files{big};
    if (HaveProgram("convert")) {
        std::string jpeg = dir.File("photo.JPG");
        ASSERT_EQ(RunCommand("convert -size 6x4 xc:red 'jpg:" + jpeg + "'"), 0);
        files.push_back(jpeg);
        expected[0].push_back(jpeg + "|6x4|.JPG|" + std::to_string(ReadBytes(jpeg).size()) + " byte(s)");
    }
    dialogs.OpenAnswers.push_back(files);
    Click("Button1");
    EXPECT_EQ(Rows(), expected[0]);
    EXPECT_TRUE(MessageTexts().empty());
}

TEST_F(FormTest, FileSizeIsSixtyFourBitAndZeroWhenMissing) {
    std::string big = dir.File("big");
    WriteBytes(big, "");
    ASSERT_EQ(::truncate(big.c_str(), 5000000000LL), 0);  // sparse
    EXPECT_EQ(form->GetFileSize(big), 5000000000LL);
    EXPECT_EQ(form->GetFileSize(dir.File("missing")), 0);
    EXPECT_EQ(form->GetFileSize(dir.Path()), 0);
}

TEST_F(FormTest, FolderChooserFillsEdit1AndCancelKeepsIt) {
    dialogs.FolderAnswers = {std::string("/data/out"), std::nullopt};
    Click("Button6");
    EXPECT_EQ(form->Edit1->text().toStdString(), "/data/out");
    ASSERT_EQ(dialogs.FolderCalls.size(), 1u);
    EXPECT_EQ(dialogs.FolderCalls[0].Title, "Select a directory");
    EXPECT_EQ(dialogs.FolderCalls[0].StartDirectory, "");
    EXPECT_FALSE(dialogs.FolderCalls[0].WithEditBox);
    EXPECT_FALSE(dialogs.FolderCalls[0].WithFiles);
    EXPECT_TRUE(dialogs.FolderCalls[0].AllowNewFolder);
    Click("Button6");
    EXPECT_EQ(form->Edit1->text().toStdString(), "/data/out");

    // A start folder that does not exist is emptied; an existing one is preselected.
    std::string missing = dir.File("missing"), existing = dir.Path();
    EXPECT_FALSE(form->AdvSelectDirectory("t", u"", missing, true, true, false));
    EXPECT_EQ(missing, "");
    EXPECT_FALSE(form->AdvSelectDirectory("t", u"/", existing, true, true, false));
    EXPECT_EQ(existing, dir.Path());
    EXPECT_EQ(dialogs.FolderCalls[3].StartDirectory, dir.Path());
    EXPECT_EQ(dialogs.FolderCalls[3].RootPath, "/");
}

TEST_F(FormTest, ColourChooserKeepsItsOwnLastColour) {
    dialogs.ColorAnswers = {RGB(10, 20, 30), std::nullopt, RGB(1, 2, 3)};
    Click("Button2");
    EXPECT_EQ(form->Panel3->Color(), RGB(10, 20, 30));
    Click("Button2");  // cancelled
    EXPECT_EQ(form->Panel3->Color(), RGB(10, 20, 30));
    form->Panel3->SetColor(clBtnFace);
    Click("Button2");
    EXPECT_EQ(form->Panel3->Color(), RGB(1, 2, 3));
    // The dialog opens with its own colour, never the panel's.
    EXPECT_EQ(dialogs.ColorCalls, (std::vector<TColor>{clBlack, RGB(10, 20, 30), RGB(10, 20, 30)}));
}

class ThrowingObject : public QObject {
public:
    std::function<void()> action;
    bool event(QEvent*) override {
        action();
        return true;
    }
};

TEST_F(FormTest, DefaultErrorBoxShowsMessagesAndNothingForAbort) {
    TApplication::Dispatch([] { throw EInvalidGraphic("Broken image"); });
    TApplication::Dispatch([] { Abort(); });
    ThrowingObject object;
    object.action = [] { throw EReadError(); };
    QEvent event(QEvent::User);
    QCoreApplication::sendEvent(&object, &event);
    object.action = [] { Abort(); };
    QCoreApplication::sendEvent(&object, &event);
    ASSERT_EQ(MessageTexts(), (Lines{"Broken image", "Stream read error"}));
    for (const auto& m : messages.Messages) {
        EXPECT_EQ(m.Caption, "Varnel");
        EXPECT_EQ(m.Type, mtError);
        EXPECT_EQ(m.Buttons, TMsgDlgButtons{mbOK});
    }
}

}  // namespace
