#include "catalog/connect_dialog.h"

#include <unistd.h>

#include <cerrno>
#include <filesystem>

#include "services/db/catalog.h"
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
    if (m_settings.getDBType() == "access") m_port.setTypeText(kSupportedType);
    cboDBType_Change();
}

void ConnectDialog::cboDBType_Change() {
    m_port.setCreateEnabled(m_port.typeText() == kSupportedType);
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
    if (m_port.typeText() != kSupportedType) {
        reportUnsupportedType();
        return;
    }
    m_settings.putDBType("access");
    m_settings.putDlgFlg(true);
    m_settings.putConnStatus(true);
    m_settings.putDSN(m_port.dataSourceText());
    m_settings.putUser(m_port.userText());
    m_settings.putPassword(m_port.passwordText());
    m_port.closeDialog();
}

void ConnectDialog::cmdCreateDB_Click() {
    if (m_port.typeText() != kSupportedType) {
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
    std::string text = "Provider=Microsoft.Jet.OLEDB.3.51;Data Source=" + source;
    if (!m_port.userText().empty()) text += ";User ID=" + m_port.userText();
    if (!m_port.passwordText().empty()) text += ";Password=" + m_port.passwordText();
    try {
        Catalog catalog;
        catalog.create(text);
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
    // The database the program works on is never replaced under it; the paths are compared
    // as files, so another spelling of the same file is caught too.
    std::error_code ec;
    if (!m_openDataSource.empty() &&
        std::filesystem::equivalent(source, trimBlanks(m_openDataSource), ec)) {
        m_port.beep();
        m_port.showMessage("データベース「" + source + "」は削除できません。", kAppTitle,
                           MessageIcon::None);
        return;
    }
    if (!m_port.askYesNo("データベース" + source + "は既に存在します。" + kCrLf + "削除しますか？",
                         "データベースの削除", MessageIcon::Question))
        return;
    if (::unlink(source.c_str()) != 0) {
        m_port.showMessage("データベース「" + source + "」は削除できません。", kAppTitle,
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
