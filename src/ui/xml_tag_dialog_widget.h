#pragma once

#include <QDialog>

#include "main_window/dialogs_logic.h"
#include "ui/dialogs.h"

class QLineEdit;

namespace quorix {

/// dlgXML: the modal dialog for the rowset and row tags.
class XmlTagDialogWidget : public QDialog, private WidgetDialogs<UserPort> {
    Q_OBJECT
public:
    XmlTagDialogWidget(AppSettings& settings, QWidget* parent = nullptr);

private:
    void setStatus(const std::string&) override {}
    std::string status() const override { return {}; }
    QWidget* dialogParent() override { return this; }

    XmlTagDialog m_logic;
    QLineEdit* m_rowset;
    QLineEdit* m_row;
};

}  // namespace quorix
