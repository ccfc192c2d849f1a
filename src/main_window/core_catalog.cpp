#include "generation/column_types.h"
#include "generation/type_translation.h"
#include "main_window/dialogs_logic.h"
#include "main_window/main_window_core.h"

namespace quorix {

bool MainWindowCore::openDatabase() {
    const std::string connectionString = buildConnectionString(m_settings);
    Connection connection;
    connection.setConnectionString(connectionString);
    try {
        connection.open();
    } catch (const ServiceError& e) {
        m_port.beep();
        m_port.setStatus("データベースは開けません。");
        // The reason goes where the user can read it: at start-up the window closes at once.
        m_port.showMessage(std::string("データベースは開けません。") + kCrLf + e.description(),
                           kAppTitle, MessageIcon::Critical);
        return false;
    }
    const std::string previousType = m_openDBType;
    const bool typeChanged = m_openDBType != m_settings.getDBType();
    m_connection = std::move(connection);
    m_catalog.setActiveConnection(&m_connection);
    m_openingNote = m_connection.run([](DatabaseSession& s) { return s.openingNote(); });
    ConnectionString = connectionString;
    m_openDataSource = m_settings.getDSN();
    m_openDBType = m_settings.getDBType();
    const std::string shown = shownDataSource(providerFor(m_openDBType), m_openDataSource);
    m_databaseTitle = "Quorix(" + shown + ")";
    updateTitle();
    AppSettings remembered = m_settings;
    remembered.putDSN(shown);
    remembered.putPassword({});
    m_port.storeSettings(remembered);
    RefreshTreeView(ConnectionString);
    if (typeChanged) {
        m_port.setTypeChoices(typeNamesFor(m_openDBType), initialTypeIndex(m_openDBType));
        if (m_table) offerTypeTranslation(previousType, "");
    }
    return true;
}

std::string MainWindowCore::offerTypeTranslation(const std::string& fromType,
                                                 const std::string& madeBy) {
    const TypeTranslation dry = translateTypes(*m_table, fromType, m_openDBType, false);
    if (dry.changed == 0) {
        const std::string report = translationReport(dry, m_openDBType);
        if (madeBy.empty() && !report.empty()) m_port.setStatus(report);
        return report;
    }
    if (!m_port.askYesNo((madeBy.empty() ? "定義" : madeBy) + "の型はデータベースタイプ「" +
                             fromType + "」のものです。" + kCrLf + std::to_string(dry.changed) +
                             " 行の型を「" + m_openDBType + "」の型に置き換えますか？",
                         kAppTitle, MessageIcon::Question))
        return {};
    const TypeTranslation done = translateTypes(*m_table, fromType, m_openDBType, true);
    recordChange();
    PlaceCellEditors();
    const std::string report = translationReport(done, m_openDBType);
    if (madeBy.empty()) m_port.setStatus(report);
    return report;
}

void MainWindowCore::cmdDBConnect_Click() {
    m_port.setStatus({});
    const AppSettings before = m_settings;
    m_settings.putDlgFlg(false);
    m_port.showConnectionDialog(m_settings, m_openDataSource);
    if (!m_settings.getDlgFlg()) return;
    // A confirmed connect takes effect at once; if the new database cannot be opened, the
    // program stays on the old one, settings included.
    if (!openDatabase()) {
        m_settings = before;
    } else if (!m_openingNote.empty() && m_port.status().empty()) {
        m_port.setStatus(m_openingNote);
    }
}

namespace {
const char kReadingCatalog[] = "データベースの構成を読み取っています...";
}  // namespace

void MainWindowCore::readCatalog(const std::function<const TreeNode*()>& read) {
    // A big catalog takes long to read (SQLite parses its whole schema first): the window
    // repaints meanwhile, and shows a progress dialog after half a second.
    BackgroundWork work;
    work.cancellable = false;
    const TreeNode* changed = nullptr;
    m_port.runInBackground(kReadingCatalog, work, [&] { changed = read(); });
    if (changed)
        m_port.treeChildrenChanged(changed);
    else
        m_port.treeRebuilt();
}

void MainWindowCore::RefreshTreeView(const std::string& connectionString) {
    readCatalog([&]() -> const TreeNode* {
        m_browser.ReadTree(connectionString);
        return nullptr;
    });
}

void MainWindowCore::TablesAdded() {
    readCatalog([&] { return m_browser.ReadTablesAdded(ConnectionString); });
}

void MainWindowCore::mnuDBRefresh_Click() {
    RefreshTreeView(ConnectionString);
}

}  // namespace quorix
