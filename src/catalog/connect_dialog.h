#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

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
    /// A server's host, port and database, beside the data source they are written into.
    virtual std::string hostText() const = 0;
    virtual void setHostText(const std::string& text) = 0;
    virtual std::string portText() const = 0;
    virtual void setPortText(const std::string& text) = 0;
    virtual std::string databaseText() const = 0;
    virtual void setDatabaseText(const std::string& text) = 0;
    /// Shows the server's fields (a server type) or the file chooser (a database file);
    /// @p defaultPort is shown in the empty port field.
    virtual void showServerFields(bool shown, const std::string& defaultPort) = 0;
    /// The example under the data source.
    virtual void setExampleText(const std::string& text) = 0;
    /// Closes the dialog.
    virtual void closeDialog() = 0;
};

/// A server's data source as its fields: what else it says is kept as it stands.
struct ServerSource {
    std::string host, port, database;
    std::vector<std::pair<std::string, std::string>> others;
};

/// The fields of @p text, a data source of the server type @p dbType ("postgresql",
/// "mysql"); nullopt when it is not "key=value" text (a URI, say).
std::optional<ServerSource> parseServerSource(const std::string& dbType, const std::string& text);
/// The data source of @p source: parseServerSource reads the same fields back.
std::string serverSourceText(const std::string& dbType, const ServerSource& source);

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
    /// The user changed the host, port or database: the data source is written anew.
    void serverFieldEdited();
    /// The user changed the data source: the server's fields show what it says.
    void dataSourceEdited();
    /// Connects with what the boxes say, and tells the server's version or why not.
    void cmdTestConnection_Click();

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
