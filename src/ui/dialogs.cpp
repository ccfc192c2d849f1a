#include "ui/dialogs.h"

#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>

#include "ui/qt_text.h"
#include "ui/twips.h"

namespace quorix {

namespace {

QMessageBox::Icon qtIcon(MessageIcon icon) {
    switch (icon) {
        case MessageIcon::Exclamation:
            return QMessageBox::Warning;
        case MessageIcon::Question:
            return QMessageBox::Question;
        case MessageIcon::Information:
            return QMessageBox::Information;
        case MessageIcon::Critical:
            return QMessageBox::Critical;
        case MessageIcon::None:
            break;
    }
    return QMessageBox::NoIcon;
}

}  // namespace

void setUpFixedDialog(QDialog* dialog, const char* name, const QString& title, int widthTwips,
                      int heightTwips) {
    dialog->setObjectName(QLatin1String(name));
    dialog->setWindowTitle(title);
    dialog->setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                           Qt::WindowCloseButtonHint);
    const Twips t = Twips::of(dialog);
    dialog->setFixedSize(t.toPx(widthTwips), t.toPx(heightTwips));
}

void showMessageBox(QWidget* parent, const std::string& text, const std::string& title,
                    MessageIcon icon) {
    QMessageBox box(qtIcon(icon), qs(title), display(text), QMessageBox::Ok, parent);
    box.setObjectName(QStringLiteral("messageBox"));
    box.exec();
}

bool askYesNoBox(QWidget* parent, const std::string& text, const std::string& title,
                 MessageIcon icon) {
    QMessageBox box(qtIcon(icon), qs(title), display(text), QMessageBox::Yes | QMessageBox::No,
                    parent);
    box.setObjectName(QStringLiteral("questionBox"));
    box.setDefaultButton(QMessageBox::Yes);
    return box.exec() == QMessageBox::Yes;
}

QStringList nameFilters(const std::string& filter) {
    const QStringList parts = qs(filter).split(QLatin1Char('|'));
    QStringList filters;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        const QString& label = parts[i];
        QString pattern = parts[i + 1];
        // A label that already shows its pattern, "MS Access(*.mdb)", is Qt's form as it is.
        if (label.endsWith(QLatin1Char('(') + pattern + QLatin1Char(')'))) {
            filters << label;
            continue;
        }
        if (pattern == QStringLiteral("*.*")) pattern = QStringLiteral("*");
        filters << label + QStringLiteral(" (") + pattern + QLatin1Char(')');
    }
    return filters;
}

namespace {

// The chosen files of a file dialog set up as @p request says, @p several at once or one.
QStringList runFileDialog(QWidget* parent, const FileDialogRequest& request, bool several) {
    QFileDialog dialog(parent, qs(request.title));
    dialog.setObjectName(QStringLiteral("cdlOpen"));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setFileMode(request.save ? QFileDialog::AnyFile
                       : several    ? QFileDialog::ExistingFiles
                                    : QFileDialog::ExistingFile);
    dialog.setAcceptMode(request.save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    // Replacing a file is asked by the command itself, in its own words.
    if (request.save) dialog.setOption(QFileDialog::DontConfirmOverwrite);
    const QStringList filters = nameFilters(request.filter);
    dialog.setNameFilters(filters);
    // Qt needs the pattern in each filter; the user sees the labels as they are written.
    const QStringList parts = qs(request.filter).split(QLatin1Char('|'));
    if (auto* combo = dialog.findChild<QComboBox*>(QStringLiteral("fileTypeCombo"))) {
        for (int i = 0; i < combo->count() && 2 * i < parts.size(); ++i)
            combo->setItemText(i, parts[2 * i]);
    }
    dialog.setDefaultSuffix(qs(request.defaultExtension));
    if (!request.initialDirectory.empty()) dialog.setDirectory(qs(request.initialDirectory));
    if (!request.initialFile.empty()) {
        const QFileInfo info(qs(request.initialFile));
        dialog.setDirectory(info.absolutePath());
        dialog.selectFile(info.fileName());
    }
    if (dialog.exec() != QDialog::Accepted) return {};
    return dialog.selectedFiles();
}

}  // namespace

std::optional<std::string> chooseFileDialog(QWidget* parent, const FileDialogRequest& request) {
    const QStringList files = runFileDialog(parent, request, false);
    if (files.isEmpty()) return std::nullopt;
    return ss(files.constFirst());
}

std::vector<std::string> chooseFilesDialog(QWidget* parent, const FileDialogRequest& request) {
    std::vector<std::string> files;
    for (const QString& f : runFileDialog(parent, request, true)) files.push_back(ss(f));
    return files;
}

}  // namespace quorix
