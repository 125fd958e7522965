// GUI platform: the controls the front end needs beyond plain Qt widgets, with the platform's
// behaviour: spin edit, panel with a colour, progress bar, report-style list view, and anchors.
#pragma once

#include <QFrame>
#include <QObject>
#include <QProgressBar>
#include <QRect>
#include <QSize>
#include <QSpinBox>
#include <QTableWidget>
#include <string>
#include <vector>

#include "../Classes.h"
#include "../GraphicsTypes.h"
#include "../Sets.h"

// A spin edit. Minimum and maximum both 0 mean no limits. Its value is its text read as an integer;
// text that is no integer reads as the minimum. With limits, a typed value outside them is pulled
// to the nearer limit when the box loses the focus.
class TSpinEdit : public QSpinBox {
    Q_OBJECT
public:
    explicit TSpinEdit(QWidget* parent = nullptr);
    int MinValue() const { return minValue_; }
    int MaxValue() const { return maxValue_; }
    void SetLimits(int minValue, int maxValue);
    int Value() const;
    void SetValue(int value);

protected:
    void focusOutEvent(QFocusEvent* event) override;
    void stepBy(int steps) override;

private:
    bool Limited() const { return minValue_ != 0 || maxValue_ != 0; }
    int Clamp(int value) const;
    int minValue_ = 0;
    int maxValue_ = 0;
};

enum TBevelCut : uint8_t { bvNone, bvLowered, bvRaised };

// A panel: a frame with a fill colour (a platform colour value, system colours included) and a
// caption drawn in its middle.
class TPanel : public QFrame {
    Q_OBJECT
public:
    explicit TPanel(QWidget* parent = nullptr);
    TColor Color() const { return color_; }
    void SetColor(TColor color);
    const std::string& Caption() const { return caption_; }
    void SetCaption(std::string caption);
    void SetBevelOuter(TBevelCut bevel);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    TColor color_ = clBtnFace;
    std::string caption_;
};

// A progress bar with the platform's position, maximum and step. A maximum of 0 shows an empty bar
// (not Qt's busy indicator).
class TProgressBar : public QProgressBar {
    Q_OBJECT
public:
    explicit TProgressBar(QWidget* parent = nullptr);
    int Max() const { return max_; }
    void SetMax(int max);
    int Position() const { return position_; }
    void SetPosition(int position);
    int Step() const { return step_; }
    void SetStep(int step) { step_ = step; }
    void StepIt() { SetPosition(position_ + step_); }

private:
    void Show();
    int max_ = 100;
    int position_ = 0;
    int step_ = 10;
};

// A report-style list view: rows with a caption and sub-items kept exactly as text; the columns
// show the caption and the first sub-items. Reading a missing sub-item raises
// "List index out of bounds (%d)".
class TListView : public QTableWidget {
    Q_OBJECT
public:
    explicit TListView(QWidget* parent = nullptr);
    void SetColumns(const std::vector<std::string>& captions);

    int Count() const { return int(rows_.size()); }
    // Appends a row; returns its index.
    int AddRow(std::string caption);
    void AddSubItem(int row, std::string text);
    const std::string& Caption(int row) const;
    const TStringList& SubItems(int row) const;
    void DeleteRow(int row);
    void ClearRows();
    // Indexes of the selected rows in ascending order.
    std::vector<int> SelectedRows() const;
    void SelectRow(int row);

private:
    struct Row {
        std::string Caption;
        TStringList SubItems;
    };
    const Row& At(int row) const;
    void ShowCell(int row, int column, const std::string& text);
    std::vector<Row> rows_;
};

enum TAnchorKind : uint8_t { akLeft, akTop, akRight, akBottom };
using TAnchors = TSet<TAnchorKind>;

// Keeps controls at their distances to the anchored edges of their parent when the parent is
// resized: anchored left and right, a control grows with the parent's width; anchored right only, it
// moves with the right edge (likewise top, bottom and the height). Also places controls aligned to
// the top or bottom of their parent across its full width.
class TAnchorManager : public QObject {
    Q_OBJECT
public:
    explicit TAnchorManager(QObject* parent = nullptr) : QObject(parent) {}
    // Records the control's present geometry and its parent's present size as the design state.
    void Anchor(QWidget* control, TAnchors anchors);
    enum TAlign : uint8_t { alTop, alBottom };
    // Keeps the control at the top or bottom edge of its parent, full width, at its present height.
    void Align(QWidget* control, TAlign align);
    // Places the controls of `parent` for its present size.
    void Arrange(QWidget* parent);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Entry {
        QWidget* Control;
        QWidget* Parent;
        TAnchors Anchors;
        QRect Design;
        QSize ParentDesign;
        bool Aligned;
        TAlign Alignment;
    };
    void Watch(QWidget* parent);
    std::vector<Entry> entries_;
    std::vector<QWidget*> watched_;
};
