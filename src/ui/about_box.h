#pragma once

#include <QDialog>

#include "main_window/dialogs_logic.h"

namespace quorix {

/// frmAbout: title, version, description, notice and the system information button.
class AboutBox : public QDialog, private UserPort, private ProgramStarter {
    Q_OBJECT
public:
    explicit AboutBox(QWidget* parent = nullptr);

private:
    void setStatus(const std::string&) override {}
    std::string status() const override { return {}; }
    void beep() override;
    bool askYesNo(const std::string&, const std::string&, MessageIcon) override { return false; }
    void showMessage(const std::string& text, const std::string& title, MessageIcon icon) override;
    std::optional<std::string> chooseFile(const FileDialogRequest&) override { return std::nullopt; }
    bool startDetached(const std::string& program) override;
};

}  // namespace quorix
