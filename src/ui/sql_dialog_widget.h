#pragma once

#include <QDialog>
#include <string>

#include "ui/dialogs.h"

class QLabel;
class QPlainTextEdit;

namespace quorix {

/// dlgSql: the statements that creation would run, read-only, to copy or save.
class SqlDialogWidget : public QDialog, private WidgetDialogs<UserPort> {
    Q_OBJECT
public:
    SqlDialogWidget(const std::string& sql, QWidget* parent = nullptr);

private:
    void save();
    // UserPort
    void setStatus(const std::string& text) override;
    std::string status() const override { return m_statusText; }
    QWidget* dialogParent() override { return this; }

    std::string m_sql;
    std::string m_statusText;
    QPlainTextEdit* m_text = nullptr;
    QLabel* m_status = nullptr;
};

}  // namespace quorix
