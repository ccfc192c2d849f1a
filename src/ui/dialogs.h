#pragma once

#include <QApplication>
#include <QStringList>
#include <QWidget>
#include <optional>
#include <string>

#include "app/user_port.h"

class QDialog;

namespace quorix {

/// Names a fixed-size dialog, titles it and sizes its client area (twips).
void setUpFixedDialog(QDialog* dialog, const char* name, const QString& title, int widthTwips,
                      int heightTwips);

// The standard dialogs every window's port uses.

void showMessageBox(QWidget* parent, const std::string& text, const std::string& title,
                    MessageIcon icon);
bool askYesNoBox(QWidget* parent, const std::string& text, const std::string& title,
                 MessageIcon icon);
/// A file-open dialog; nullopt when cancelled.
std::optional<std::string> chooseFileDialog(QWidget* parent, const FileDialogRequest& request);
/// The same for one or more existing files; none when cancelled.
std::vector<std::string> chooseFilesDialog(QWidget* parent, const FileDialogRequest& request);
/// "label|pattern|label|pattern" as Qt's name filters.
QStringList nameFilters(const std::string& filter);

/// The standard dialogs and the beep of a port, shown over the widget that implements it.
/// @p Port is UserPort or one of its extensions.
template <typename Port>
class WidgetDialogs : public Port {
public:
    void beep() override { QApplication::beep(); }
    bool askYesNo(const std::string& text, const std::string& title, MessageIcon icon) override {
        return askYesNoBox(dialogParent(), text, title, icon);
    }
    void showMessage(const std::string& text, const std::string& title, MessageIcon icon) override {
        showMessageBox(dialogParent(), text, title, icon);
    }
    std::optional<std::string> chooseFile(const FileDialogRequest& request) override {
        return chooseFileDialog(dialogParent(), request);
    }
    std::vector<std::string> chooseFiles(const FileDialogRequest& request) override {
        return chooseFilesDialog(dialogParent(), request);
    }

protected:
    virtual QWidget* dialogParent() = 0;
};

}  // namespace quorix
