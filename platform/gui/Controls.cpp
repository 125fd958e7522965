#include "Controls.h"

#include <QEvent>
#include <QHeaderView>
#include <QLineEdit>
#include <QPainter>
#include <algorithm>
#include <climits>

// ---------------------------------------------------------------------------
// TSpinEdit

TSpinEdit::TSpinEdit(QWidget* parent) : QSpinBox(parent) {
    setRange(INT_MIN, INT_MAX);
    setValue(0);
}

void TSpinEdit::SetLimits(int minValue, int maxValue) {
    minValue_ = minValue;
    maxValue_ = maxValue;
    if (Limited()) SetValue(Value());
}

int TSpinEdit::Clamp(int value) const {
    if (!Limited()) return value;
    return std::clamp(value, minValue_, std::max(minValue_, maxValue_));
}

int TSpinEdit::Value() const { return StrToIntDef(text().toStdString(), minValue_); }

void TSpinEdit::SetValue(int value) {
    setValue(Clamp(value));
    // The text is the value; keep it so even when Qt would keep an unfinished edit.
    lineEdit()->setText(QString::number(Clamp(value)));
}

void TSpinEdit::focusOutEvent(QFocusEvent* event) {
    QSpinBox::focusOutEvent(event);
    if (Limited() && Clamp(Value()) != Value()) SetValue(Value());
}

void TSpinEdit::stepBy(int steps) {
    int64_t next = int64_t(Value()) + steps;
    next = std::clamp<int64_t>(next, INT_MIN, INT_MAX);
    SetValue(int(next));
}

// ---------------------------------------------------------------------------
// TPanel

TPanel::TPanel(QWidget* parent) : QFrame(parent) {
    setAutoFillBackground(true);
    SetBevelOuter(bvRaised);
    SetColor(clBtnFace);
}

void TPanel::SetColor(TColor color) {
    color_ = color;
    TColor rgb = ColorToRGB(color);
    QPalette p = palette();
    p.setColor(QPalette::Window, QColor(GetRValue(rgb), GetGValue(rgb), GetBValue(rgb)));
    setPalette(p);
    update();
}

void TPanel::SetCaption(std::string caption) {
    caption_ = std::move(caption);
    update();
}

void TPanel::SetBevelOuter(TBevelCut bevel) {
    switch (bevel) {
    case bvNone: setFrameStyle(QFrame::NoFrame); break;
    case bvLowered: setFrameStyle(QFrame::Panel | QFrame::Sunken); break;
    case bvRaised: setFrameStyle(QFrame::Panel | QFrame::Raised); break;
    }
    setLineWidth(1);
}

void TPanel::paintEvent(QPaintEvent* event) {
    QFrame::paintEvent(event);
    if (caption_.empty()) return;
    QPainter painter(this);
    painter.setFont(font());
    painter.drawText(contentsRect(), Qt::AlignCenter, QString::fromUtf8(caption_.data(), qsizetype(caption_.size())));
}

// ---------------------------------------------------------------------------
// TProgressBar

TProgressBar::TProgressBar(QWidget* parent) : QProgressBar(parent) {
    setTextVisible(false);
    Show();
}

void TProgressBar::SetMax(int max) {
    max_ = max;
    position_ = std::clamp(position_, 0, std::max(0, max_));
    Show();
}

void TProgressBar::SetPosition(int position) {
    position_ = std::clamp(position, 0, std::max(0, max_));
    Show();
}

void TProgressBar::Show() {
    // Qt shows a busy indicator for an empty range; an empty bar is meant.
    setRange(0, std::max(1, max_));
    setValue(position_);
}

// ---------------------------------------------------------------------------
// TListView

TListView::TListView(QWidget* parent) : QTableWidget(parent) {
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setShowGrid(true);
    setWordWrap(false);
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
    horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    horizontalHeader()->setHighlightSections(false);
}

void TListView::SetColumns(const std::vector<std::string>& captions) {
    setColumnCount(int(captions.size()));
    QStringList labels;
    for (const auto& c : captions) labels << QString::fromUtf8(c.data(), qsizetype(c.size()));
    setHorizontalHeaderLabels(labels);
}

const TListView::Row& TListView::At(int row) const {
    if (row < 0 || row >= Count()) throw EListError(row);
    return rows_[size_t(row)];
}

void TListView::ShowCell(int row, int column, const std::string& text) {
    if (column >= columnCount()) return;
    setItem(row, column, new QTableWidgetItem(QString::fromUtf8(text.data(), qsizetype(text.size()))));
}

int TListView::AddRow(std::string caption) {
    int row = Count();
    rows_.push_back({std::move(caption), {}});
    insertRow(row);
    ShowCell(row, 0, rows_.back().Caption);
    return row;
}

void TListView::AddSubItem(int row, std::string text) {
    At(row);
    Row& r = rows_[size_t(row)];
    int column = r.SubItems.Add(std::move(text)) + 1;
    ShowCell(row, column, r.SubItems.Strings(column - 1));
}

const std::string& TListView::Caption(int row) const { return At(row).Caption; }

const TStringList& TListView::SubItems(int row) const { return At(row).SubItems; }

void TListView::DeleteRow(int row) {
    At(row);
    rows_.erase(rows_.begin() + row);
    removeRow(row);
}

void TListView::ClearRows() {
    rows_.clear();
    setRowCount(0);
}

std::vector<int> TListView::SelectedRows() const {
    std::vector<int> result;
    if (!selectionModel()) return result;
    for (const QModelIndex& index : selectionModel()->selectedRows()) result.push_back(index.row());
    std::sort(result.begin(), result.end());
    return result;
}

void TListView::SelectRow(int row) {
    At(row);
    selectRow(row);
}

// ---------------------------------------------------------------------------
// TAnchorManager

void TAnchorManager::Watch(QWidget* parent) {
    if (std::find(watched_.begin(), watched_.end(), parent) != watched_.end()) return;
    watched_.push_back(parent);
    parent->installEventFilter(this);
}

void TAnchorManager::Anchor(QWidget* control, TAnchors anchors) {
    QWidget* parent = control->parentWidget();
    entries_.push_back({control, parent, anchors, control->geometry(), parent->size(), false, alTop});
    Watch(parent);
}

void TAnchorManager::Align(QWidget* control, TAlign align) {
    QWidget* parent = control->parentWidget();
    entries_.push_back({control, parent, {}, control->geometry(), parent->size(), true, align});
    Watch(parent);
    Arrange(parent);
}

void TAnchorManager::Arrange(QWidget* parent) {
    const QSize now = parent->size();
    for (const Entry& e : entries_) {
        if (e.Parent != parent) continue;
        if (e.Aligned) {
            int h = e.Design.height();
            e.Control->setGeometry(0, e.Alignment == alTop ? 0 : now.height() - h, now.width(), h);
            continue;
        }
        const int dw = now.width() - e.ParentDesign.width();
        const int dh = now.height() - e.ParentDesign.height();
        QRect r = e.Design;
        const bool left = e.Anchors.Contains(akLeft), right = e.Anchors.Contains(akRight);
        const bool top = e.Anchors.Contains(akTop), bottom = e.Anchors.Contains(akBottom);
        if (right && left) {
            r.setWidth(std::max(0, r.width() + dw));
        } else if (right) {
            r.moveLeft(r.left() + dw);
        } else if (!left) {
            r.moveLeft(r.left() + dw / 2);
        }
        if (bottom && top) {
            r.setHeight(std::max(0, r.height() + dh));
        } else if (bottom) {
            r.moveTop(r.top() + dh);
        } else if (!top) {
            r.moveTop(r.top() + dh / 2);
        }
        e.Control->setGeometry(r);
    }
}

bool TAnchorManager::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Resize) {
        auto it = std::find(watched_.begin(), watched_.end(), watched);
        if (it != watched_.end()) Arrange(*it);
    }
    return QObject::eventFilter(watched, event);
}
