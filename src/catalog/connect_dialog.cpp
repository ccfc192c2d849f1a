#include "catalog/connect_dialog.h"

#include <unistd.h>

#include <cerrno>
#include <filesystem>

#include "services/db/catalog.h"
#include "services/db/connection.h"
#include "services/db/engine/connection_info.h"
#include "services/text/text.h"

namespace quorix {

ConnectDialog::ConnectDialog(AppSettings& settings, ConnectDialogPort& port,
                             std::string openDataSource)
    : m_settings(settings), m_port(port), m_openDataSource(std::move(openDataSource)) {}

void ConnectDialog::Form_Load() {
    m_port.setDataSourceText(m_settings.getDSN());
    m_port.setUserText(m_settings.getUser());
    m_port.setPasswordText(m_settings.getPassword());
    m_port.addTypeEntry(kSupportedType);
    m_port.addTypeEntry(kPostgresType);
    m_port.addTypeEntry(kMariaDbType);
    if (m_settings.getDBType() == "access") m_port.setTypeText(kSupportedType);
    if (m_settings.getDBType() == "postgresql") m_port.setTypeText(kPostgresType);
    if (m_settings.getDBType() == "mysql") m_port.setTypeText(kMariaDbType);
    cboDBType_Change();
}

std::string ConnectDialog::typeKey() const {
    const std::string text = m_port.typeText();
    if (text == kSupportedType) return "access";
    if (text == kPostgresType) return "postgresql";
    if (text == kMariaDbType) return "mysql";
    return {};
}

std::string ConnectDialog::creationString() const {
    const std::string source = trimBlanks(m_port.dataSourceText());
    // Values are quoted where needed: no box can add or replace another key.
    const std::string key = typeKey();
    const std::string provider =
        key == "access" || key.empty() ? std::string("Microsoft.Jet.OLEDB.3.51") : providerFor(key);
    std::string text = "Provider=" + provider + ";Data Source=" + connectionStringValue(source);
    if (!m_port.userText().empty()) text += ";User ID=" + connectionStringValue(m_port.userText());
    if (!m_port.passwordText().empty())
        text += ";Password=" + connectionStringValue(m_port.passwordText());
    return text;
}

std::optional<ServerSource> parseServerSource(const std::string& dbType, const std::string& text) {
    const auto pairs = splitKeyValues(text);
    if (!pairs) return std::nullopt;
    ServerSource s;
    for (const auto& [key, value] : *pairs) {
        if (key == "host")
            s.host = value;
        else if (key == "port")
            s.port = value;
        else if (key == "dbname" || (dbType == "mysql" && key == "database"))
            s.database = value;
        else
            s.others.emplace_back(key, value);
    }
    return s;
}

std::string serverSourceText(const std::string& dbType, const ServerSource& source) {
    std::vector<std::pair<std::string, std::string>> pairs;
    if (!source.host.empty()) pairs.emplace_back("host", source.host);
    if (!source.port.empty()) pairs.emplace_back("port", source.port);
    if (!source.database.empty())
        pairs.emplace_back(dbType == "mysql" ? "database" : "dbname", source.database);
    pairs.insert(pairs.end(), source.others.begin(), source.others.end());
    return joinKeyValues(pairs);
}

namespace {

bool isServer(const std::string& key) { return key == "postgresql" || key == "mysql"; }

}  // namespace

void ConnectDialog::cboDBType_Change() {
    const std::string key = typeKey();
    m_port.setCreateEnabled(!key.empty());
    m_port.showServerFields(isServer(key), key == "mysql" ? "3306" : "5432");
    if (key == "postgresql")
        m_port.setExampleText("例：host=db.example.jp port=5432 dbname=sales");
    else if (key == "mysql")
        m_port.setExampleText("例：host=db.example.jp port=3306 database=sales");
    else if (key == "access")
        m_port.setExampleText("例：/home/user/sales.mdb（「参照」で選べます）");
    else
        m_port.setExampleText({});
    dataSourceEdited();
}

void ConnectDialog::dataSourceEdited() {
    const std::string key = typeKey();
    if (!isServer(key)) return;
    const auto source = parseServerSource(key, trimBlanks(m_port.dataSourceText()));
    m_port.setHostText(source ? source->host : "");
    m_port.setPortText(source ? source->port : "");
    m_port.setDatabaseText(source ? source->database : "");
}

void ConnectDialog::serverFieldEdited() {
    const std::string key = typeKey();
    if (!isServer(key)) return;
    // What the data source says besides the fields stays; text that is no list of keys
    // (a URI) gives way to the fields.
    ServerSource source =
        parseServerSource(key, trimBlanks(m_port.dataSourceText())).value_or(ServerSource{});
    source.host = trimBlanks(m_port.hostText());
    source.port = trimBlanks(m_port.portText());
    source.database = trimBlanks(m_port.databaseText());
    m_port.setDataSourceText(serverSourceText(key, source));
}

void ConnectDialog::cmdTestConnection_Click() {
    const std::string key = typeKey();
    if (key.empty()) {
        reportUnsupportedType();
        return;
    }
    const std::string source = trimBlanks(m_port.dataSourceText());
    if (source.empty()) {
        m_port.setStatus("データソースを入力してください。");
        return;
    }
    try {
        Connection connection;
        connection.setConnectionString(formatConnectionString(
            {providerFor(key), source, m_port.userText(), m_port.passwordText()}));
        connection.open();
        const std::string version =
            connection.run([](DatabaseSession& s) { return s.serverVersion(); });
        m_port.setStatus("接続できました（" + version + "）。");
    } catch (const ServiceError& e) {
        m_port.beep();
        m_port.setStatus("接続できません。" + e.description());
    }
}

void ConnectDialog::cmdDSN_Click() {
    FileDialogRequest request;
    request.filter = "MS Access(*.mdb)|*.mdb|全てのファイル|*.*";
    request.defaultExtension = "mdb";
    request.title = "データベースファイルを開く";
    // Start beside the database named in the box, if its folder exists.
    const std::filesystem::path typed(trimBlanks(m_port.dataSourceText()));
    std::error_code ec;
    if (typed.has_parent_path() && std::filesystem::is_directory(typed.parent_path(), ec))
        request.initialDirectory = typed.parent_path().string();
    // A cancelled dialog leaves what the user typed.
    if (auto file = m_port.chooseFile(request)) m_port.setDataSourceText(trimBlanks(*file));
}

void ConnectDialog::reportUnsupportedType() {
    m_port.beep();
    m_port.showMessage("データベースタイプ「" + m_port.typeText() + "」はサポートされていません。",
                       kAppTitle, MessageIcon::None);
}

void ConnectDialog::OKButton_Click() {
    if (trimBlanks(m_port.dataSourceText()).empty()) {
        m_port.showMessage("DSNを入力してください。", kTitle, MessageIcon::Exclamation);
        return;
    }
    const std::string key = typeKey();
    if (key.empty()) {
        reportUnsupportedType();
        return;
    }
    m_settings.putDBType(key);
    m_settings.putDlgFlg(true);
    m_settings.putConnStatus(true);
    m_settings.putDSN(m_port.dataSourceText());
    m_settings.putUser(m_port.userText());
    m_settings.putPassword(m_port.passwordText());
    m_port.closeDialog();
}

void ConnectDialog::cmdCreateDB_Click() {
    if (typeKey().empty()) {
        reportUnsupportedType();
        return;
    }
    const std::string source = trimBlanks(m_port.dataSourceText());
    if (source.empty()) {
        m_port.showMessage(
            std::string("データソースを入力してください。") + kCrLf + "(例：test.mdb)", kAppTitle,
            MessageIcon::None);
        return;
    }
    try {
        Catalog catalog;
        catalog.create(creationString());
    } catch (const ServiceError& e) {
        if (e.number() == ErrorNumber::kFileExists) {
            ReplaceExistingDB();
        } else {
            m_port.beep();
            m_port.setStatus(std::to_string(e.number()) + ": " + e.description());
        }
        return;
    }
    m_port.setStatus("データベースを作成しました。");
    OKButton_Click();
}

void ConnectDialog::ReplaceExistingDB() {
    const std::string source = trimBlanks(m_port.dataSourceText());
    // Messages repeat the data source without a password written into it.
    const std::string shown = shownDataSource(providerFor(typeKey()), source);
    // The database the program works on is never replaced under it; the paths are compared
    // as files, so another spelling of the same file is caught too.
    std::error_code ec;
    const std::string open = trimBlanks(m_openDataSource);
    if (!open.empty() && (open == source || std::filesystem::equivalent(source, open, ec))) {
        m_port.beep();
        m_port.showMessage("データベース「" + shown + "」は削除できません。", kAppTitle,
                           MessageIcon::None);
        return;
    }
    if (!m_port.askYesNo("データベース" + shown + "は既に存在します。" + kCrLf + "削除しますか？",
                         "データベースの削除", MessageIcon::Question))
        return;
    try {
        Catalog().dropDatabase(creationString());
    } catch (const ServiceError& e) {
        // The server says why it refused (in use, no privilege).
        if (typeKey() != "access") m_port.setStatus(e.description());
        m_port.showMessage("データベース「" + shown + "」は削除できません。", kAppTitle,
                           MessageIcon::None);
        return;
    }
    cmdCreateDB_Click();
}

void ConnectDialog::CancelButton_Click() {
    m_settings.putDlgFlg(false);
    m_settings.putConnStatus(false);
    m_port.closeDialog();
}

}  // namespace quorix
