#pragma once

#include <QDialog>

#include "catalog/connect_dialog.h"
#include "ui/dialogs.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QFrame;

namespace quorix {

/// dlgConnect: the modal connection dialog. Forwards its events to ConnectDialog.
class ConnectDialogWidget : public QDialog, private WidgetDialogs<ConnectDialogPort> {
    Q_OBJECT
public:
    /// @p settings is read when the dialog opens and written when it is confirmed.
    /// @p openDataSource is the database the program has open (empty for none).
    ConnectDialogWidget(AppSettings& settings, QWidget* parent = nullptr,
                        const std::string& openDataSource = {});

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    // ConnectDialogPort
    void setStatus(const std::string& text) override;
    std::string status() const override;
    QWidget* dialogParent() override { return this; }
    std::string typeText() const override;
    void setTypeText(const std::string& text) override;
    void addTypeEntry(const std::string& text) override;
    std::string dataSourceText() const override;
    void setDataSourceText(const std::string& text) override;
    std::string userText() const override;
    void setUserText(const std::string& text) override;
    std::string passwordText() const override;
    void setPasswordText(const std::string& text) override;
    void setCreateEnabled(bool enabled) override;
    std::string hostText() const override;
    void setHostText(const std::string& text) override;
    std::string portText() const override;
    void setPortText(const std::string& text) override;
    std::string databaseText() const override;
    void setDatabaseText(const std::string& text) override;
    void showServerFields(bool shown, const std::string& defaultPort) override;
    void setExampleText(const std::string& text) override;
    void closeDialog() override;

    ConnectDialog m_logic;
    QComboBox* m_type;
    QLineEdit* m_dataSource;
    QLineEdit* m_user;
    QLineEdit* m_password;
    QPushButton* m_browse;
    QPushButton* m_create;
    QPushButton* m_ok;
    QPushButton* m_cancel;
    QFrame* m_line;
    QLabel* m_status;
    QLabel* m_typeNote;  // what kind of database the chosen type makes
    QLabel* m_example;   // how a data source of the type is written
    QLineEdit* m_host;
    QLineEdit* m_portField;
    QLineEdit* m_database;
    QLabel* m_userLabel;
    QLabel* m_passwordLabel;
    QLabel* m_hostLabel;
    QLabel* m_portLabel;
    QLabel* m_databaseLabel;
    QPushButton* m_test;
};

}  // namespace quorix
