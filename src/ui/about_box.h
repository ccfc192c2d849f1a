#pragma once

#include <QDialog>

#include "main_window/dialogs_logic.h"
#include "ui/dialogs.h"

namespace quorix {

/// frmAbout: title, version, description, notice and the system information button.
class AboutBox : public QDialog, private WidgetDialogs<UserPort>, private ProgramStarter {
    Q_OBJECT
public:
    explicit AboutBox(QWidget* parent = nullptr);

private:
    void setStatus(const std::string&) override {}
    std::string status() const override { return {}; }
    QWidget* dialogParent() override { return this; }
    bool startDetached(const std::string& program) override;
};

}  // namespace quorix
