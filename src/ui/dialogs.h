#pragma once

#include <optional>
#include <string>

#include <QStringList>

#include "app/user_port.h"

class QWidget;

namespace quorix {

// The standard dialogs every window's port uses.

void showMessageBox(QWidget* parent, const std::string& text, const std::string& title,
                    MessageIcon icon);
bool askYesNoBox(QWidget* parent, const std::string& text, const std::string& title,
                 MessageIcon icon);
/// A file-open dialog; nullopt when cancelled.
std::optional<std::string> chooseFileDialog(QWidget* parent, const FileDialogRequest& request);
/// "label|pattern|label|pattern" as Qt's name filters.
QStringList nameFilters(const std::string& filter);

}  // namespace quorix
