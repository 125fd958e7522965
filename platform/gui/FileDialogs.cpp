#include "FileDialogs.h"

#include <QColorDialog>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QStringList>

namespace {

QString Q(const std::string& s) { return QString::fromUtf8(s.data(), qsizetype(s.size())); }
std::string S(const QString& s) { return s.toUtf8().toStdString(); }

}  // namespace

QString QtFilter(const std::string& filter) {
    QStringList parts = Q(filter).split(QLatin1Char('|'));
    QStringList result;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        // Qt reads the patterns from the parentheses at the end of the description; a description
        // that already ends in its own list of patterns has that list replaced.
        QString description = parts[i].trimmed();
        qsizetype open = description.lastIndexOf(QLatin1Char('('));
        if (description.endsWith(QLatin1Char(')')) && open > 0) description = description.left(open).trimmed();
        // Name matching ignores letter case on the systems the lists come from: offer the upper-case
        // form of each pattern as well.
        QStringList patterns;
        for (const QString& pattern : parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
            patterns << pattern;
            if (pattern.toUpper() != pattern) patterns << pattern.toUpper();
        }
        result << description + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) + QStringLiteral(")");
    }
    return result.join(QStringLiteral(";;"));
}

bool TQtDialogs::OpenFiles(QWidget* parent, const TOpenDialogOptions& options, std::vector<std::string>& files) {
    QFileDialog dialog(parent, Q(options.Title), QString(), QtFilter(options.Filter));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(options.MultiSelect ? QFileDialog::ExistingFiles : QFileDialog::ExistingFile);
    dialog.setOption(QFileDialog::ReadOnly, false);
    if (dialog.exec() != QDialog::Accepted) return false;
    std::vector<std::string> chosen;
    for (const QString& f : dialog.selectedFiles()) chosen.push_back(S(f));
    if (chosen.empty()) return false;
    files = std::move(chosen);
    return true;
}

bool TQtDialogs::SaveFile(QWidget* parent, const std::string& filter, std::string& fileName) {
    QFileDialog dialog(parent, QString(), Q(fileName), QtFilter(filter));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return false;
    fileName = S(dialog.selectedFiles().first());
    return true;
}

bool TQtDialogs::ChooseColor(QWidget* parent, TColor& color) {
    TColor rgb = ColorToRGB(color);
    QColor chosen = QColorDialog::getColor(QColor(GetRValue(rgb), GetGValue(rgb), GetBValue(rgb)), parent);
    if (!chosen.isValid()) return false;
    color = RGB(uint8_t(chosen.red()), uint8_t(chosen.green()), uint8_t(chosen.blue()));
    return true;
}

bool TQtDialogs::BrowseForFolder(QWidget* parent, const TBrowseOptions& options, std::string& directory) {
    QFileDialog dialog(parent, Q(options.Title));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly, !options.WithFiles);
    if (!options.StartDirectory.empty()) {
        dialog.setDirectory(Q(options.StartDirectory));
    } else if (!options.RootPath.empty()) {
        dialog.setDirectory(Q(options.RootPath));
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return false;
    directory = S(dialog.selectedFiles().first());
    return true;
}

int TQtMessageHandler::MessageDlg(const std::string& text, TMsgDlgType type, TMsgDlgButtons buttons,
                                  const std::string& caption) {
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    switch (type) {
    case mtWarning: icon = QMessageBox::Warning; break;
    case mtError: icon = QMessageBox::Critical; break;
    case mtInformation: icon = QMessageBox::Information; break;
    case mtConfirmation: icon = QMessageBox::Question; break;
    case mtCustom: break;
    }
    static constexpr struct {
        TMsgDlgBtn button;
        QMessageBox::StandardButton qt;
        int result;
    } kButtons[] = {
        {mbYes, QMessageBox::Yes, mrYes},           {mbNo, QMessageBox::No, mrNo},
        {mbOK, QMessageBox::Ok, mrOk},              {mbCancel, QMessageBox::Cancel, mrCancel},
        {mbAbort, QMessageBox::Abort, mrAbort},     {mbRetry, QMessageBox::Retry, mrRetry},
        {mbIgnore, QMessageBox::Ignore, mrIgnore},  {mbAll, QMessageBox::YesToAll, mrAll},
        {mbNoToAll, QMessageBox::NoToAll, mrNoToAll}, {mbYesToAll, QMessageBox::YesToAll, mrYesToAll},
    };
    QMessageBox box(icon, Q(caption.empty() ? ApplicationTitle() : caption), Q(text));
    bool any = false;
    for (const auto& b : kButtons) {
        if (buttons.Contains(b.button) && !box.button(b.qt)) {
            box.addButton(b.qt);
            any = true;
        }
    }
    if (!any) box.addButton(QMessageBox::Ok);
    box.exec();
    QAbstractButton* clicked = box.clickedButton();
    if (!clicked) return mrCancel;
    QMessageBox::StandardButton which = box.standardButton(clicked);
    for (const auto& b : kButtons) {
        if (b.qt == which && buttons.Contains(b.button)) return b.result;
    }
    return which == QMessageBox::Ok ? mrOk : mrCancel;
}
