#pragma once

#include <string>

#include "app/app_settings.h"
#include "app/user_port.h"

namespace quorix {

/// The connection dialog's controls as the logic sees them.
class ConnectDialogPort : public UserPort {
public:
    virtual std::string typeText() const = 0;
    virtual void setTypeText(const std::string& text) = 0;
    virtual void addTypeEntry(const std::string& text) = 0;
    virtual std::string dataSourceText() const = 0;
    virtual void setDataSourceText(const std::string& text) = 0;
    virtual std::string userText() const = 0;
    virtual void setUserText(const std::string& text) = 0;
    virtual std::string passwordText() const = 0;
    virtual void setPasswordText(const std::string& text) = 0;
    virtual void setCreateEnabled(bool enabled) = 0;
    /// Closes the dialog.
    virtual void closeDialog() = 0;
};

/// The rules of the connection dialog dlgConnect: which database the program works on, and
/// the creation of new empty database files.
class ConnectDialog {
public:
    static constexpr const char* kSupportedType = "MS Access";
    static constexpr const char* kPostgresType = "PostgreSQL";
    static constexpr const char* kMariaDbType = "MariaDB / MySQL";
    static constexpr const char* kTitle = "データベース接続情報";

    /// Both must outlive the dialog. @p openDataSource names the database the program has
    /// open (empty for none): it is never deleted to make room for a new one.
    ConnectDialog(AppSettings& settings, ConnectDialogPort& port, std::string openDataSource = {});

    void Form_Load();
    void cboDBType_Change();
    void cmdDSN_Click();
    void OKButton_Click();
    void cmdCreateDB_Click();
    void CancelButton_Click();

private:
    void ReplaceExistingDB();
    void reportUnsupportedType();
    /// The database type key of the type box's text, or empty for an unsupported one.
    std::string typeKey() const;
    /// The connection string that creates (or drops) the database in the boxes.
    std::string creationString() const;

    AppSettings& m_settings;
    ConnectDialogPort& m_port;
    std::string m_openDataSource;
};

}  // namespace quorix
