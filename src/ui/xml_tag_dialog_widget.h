#pragma once

#include <QDialog>

#include "main_window/dialogs_logic.h"

class QLineEdit;

namespace quorix {

/// dlgXML: the modal dialog for the rowset and row tags.
class XmlTagDialogWidget : public QDialog, private UserPort {
    Q_OBJECT
public:
    XmlTagDialogWidget(AppSettings& settings, QWidget* parent = nullptr);

private:
    void setStatus(const std::string&) override {}
    std::string status() const override { return {}; }
    void beep() override;
    bool askYesNo(const std::string& text, const std::string& title, MessageIcon icon) override;
    void showMessage(const std::string& text, const std::string& title, MessageIcon icon) override;
    std::optional<std::string> chooseFile(const FileDialogRequest&) override { return std::nullopt; }

    XmlTagDialog m_logic;
    QLineEdit* m_rowset;
    QLineEdit* m_row;
};

}  // namespace quorix
