#include "FileDialogs.h"

#include "../Graphics.h"
#include "../Icon.h"
#include "../JPEGImage.h"

#include <QColorDialog>
#include <QFileDialog>
#include <QGridLayout>
#include <QImage>
#include <QLabel>
#include <QMessageBox>
#include <QPixmap>
#include <QPushButton>
#include <QStringList>
#include <QFileInfo>
#include <cstring>

namespace {

QString Q(const std::string& s) { return QString::fromUtf8(s.data(), qsizetype(s.size())); }
std::string S(const QString& s) { return s.toUtf8().toStdString(); }

}  // namespace

QImage PicturePreview(const std::string& fileName, QString& error) {
    try {
        TPicture picture;
        picture.LoadFromFile(fileName);
        const TGraphic* graphic = picture.Graphic();
        const TBitmap* source = nullptr;
        if (auto* bitmap = dynamic_cast<const TBitmap*>(graphic)) source = bitmap;
        else if (auto* icon = dynamic_cast<const TIcon*>(graphic)) source = &icon->Bitmap();
        else if (auto* jpeg = dynamic_cast<const TJPEGImage*>(graphic)) source = &jpeg->Bitmap();
        if (!source || source->Empty()) {
            error = QObject::tr("%1 x %2 pixels").arg(picture.Width()).arg(picture.Height());
            return {};
        }
        TBitmap copy;
        copy.Assign(*source);
        copy.SetPixelFormat(pf32bit);
        QImage image(copy.Width(), copy.Height(), QImage::Format_RGB32);
        for (int32_t y = 0; y < copy.Height(); ++y)
            std::memcpy(image.scanLine(y), copy.ScanLine(y), size_t(copy.Width()) * 4);
        return image;
    } catch (const Exception& e) {
        error = QString::fromUtf8(e.what());
        return {};
    }
}

namespace {

// Adds a preview pane to the right of a (Qt-drawn) file dialog.
void AddPreview(QFileDialog& dialog) {
    auto* layout = qobject_cast<QGridLayout*>(dialog.layout());
    if (!layout) return;
    auto* preview = new QLabel(&dialog);
    preview->setObjectName(QStringLiteral("Preview"));
    preview->setMinimumSize(200, 200);
    preview->setAlignment(Qt::AlignCenter);
    preview->setWordWrap(true);
    preview->setFrameShape(QFrame::StyledPanel);
    layout->addWidget(preview, 0, layout->columnCount(), layout->rowCount(), 1);
    QObject::connect(&dialog, &QFileDialog::currentChanged, preview, [preview](const QString& path) {
        preview->clear();
        QFileInfo info(path);
        if (!info.isFile()) return;
        QString error;
        QImage image = PicturePreview(S(path), error);
        if (image.isNull()) {
            preview->setText(error);
            return;
        }
        preview->setPixmap(QPixmap::fromImage(
            image.scaled(preview->size() - QSize(8, 8), Qt::KeepAspectRatio, Qt::SmoothTransformation)));
    });
}

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
    if (options.Preview) {
        dialog.setOption(QFileDialog::DontUseNativeDialog, true);
        AddPreview(dialog);
    }
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
