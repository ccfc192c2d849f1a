#include "main_window/main_window_core.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include "definition_edit/line_edits.h"
#include "definition_file/definition_file.h"
#include "generation/column_types.h"
#include "generation/table_creation.h"
#include "generation/type_proposal.h"
#include "generation/type_translation.h"
#include "loading/document_loader.h"
#include "loading/key_links.h"
#include "main_window/dialogs_logic.h"
#include "services/text/text.h"
#include "xml_analysis/grid_geometry.h"
#include "xml_analysis/xml_loading.h"

namespace quorix {

namespace {

// Shows the busy cursor for a scope and restores it on every way out.
class BusyCursor {
public:
    explicit BusyCursor(MainWindowPort& port) : m_port(port) { m_port.setBusyCursor(true); }
    ~BusyCursor() { m_port.setBusyCursor(false); }
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;

private:
    MainWindowPort& m_port;
};

// Text of the current line's field, or empty without a current line.
std::string currentText(const DefinitionTable* table, const char* field) {
    if (!table) return {};
    const RecordSet& rs = table->records();
    if (rs.bof() || rs.eof()) return {};
    return rs.text(field);
}

}  // namespace

MainWindowCore::MainWindowCore(MainWindowPort& port) : m_port(port), m_browser(port, port) {}

MainWindowCore::~MainWindowCore() = default;

MainWindowCore::StartResult MainWindowCore::Form_Load() {
    m_settings.setDefaults();
    m_port.loadStoredSettings(m_settings);
    IndentUnit = "･･";
    Busy = false;

    do {
        m_port.showConnectionDialog(m_settings, {});
        if (!m_settings.getDlgFlg()) {
            if (m_port.askYesNo("プログラムを終了しますか？", "プログラムの終了",
                                MessageIcon::None))
                return StartResult::Quit;
            m_settings.putDSN({});
        }
    } while (m_settings.getDSN().empty());

    if (!openDatabase()) return StartResult::Failed;
    replaceTable(nullptr);
    InitDefinitionTable(true);
    m_history.reset(currentState());
    updateTitle();
    if (!m_openingNote.empty()) m_port.setStatus(m_openingNote);
    return StartResult::Started;
}

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

void MainWindowCore::Form_Unload() {
    replaceTable(nullptr);
    m_connection.close();
    m_catalog.setActiveConnection(nullptr);
}

void MainWindowCore::replaceTable(std::unique_ptr<DefinitionTable> table) {
    // The grid lets go of the old records before they are destroyed.
    m_port.bindDefinitionTable(table ? &table->records() : nullptr);
    m_table = std::move(table);
}

void MainWindowCore::InitDefinitionTable(bool withFirstLine) {
    if (!m_table) m_table = std::make_unique<DefinitionTable>();
    m_port.bindDefinitionTable(&m_table->records());
    const InitialEditorLayout layout =
        initialEditorLayout(m_port.gridState().geometry, m_port.typeChooserHeight());
    m_port.setGridRowHeight(layout.rowHeight);
    m_port.setCellEditors({layout.generateButton, layout.typeChooser});
    m_port.setStatus({});
    if (withFirstLine) cmdAppend_Click();
}

std::optional<std::string> MainWindowCore::chooseXmlFile(const std::string& title) {
    FileDialogRequest request;
    request.filter = "XML(*.xml)|*.xml|全てのファイル|*.*";
    request.defaultExtension = "xml";
    request.title = title;
    request.initialFile = XmlPath;
    return m_port.chooseFile(request);
}

void MainWindowCore::cmdOpen_Click() {
    m_port.setStatus({});
    if (!mayReplaceDefinition()) return;
    const auto file = chooseXmlFile("XML文書を開く");
    if (!file) return;  // a cancel changes nothing, in particular no reload
    const std::string extension = fileExtension(*file);
    if (extension == "dtd") return;
    const std::string previous = XmlPath;
    XmlPath = *file;
    if (extension == "xml") LoadXmlDocument(previous);
}

namespace {

// Keeps what a command running off the window's thread would say, to be said afterwards.
class DeferredReport : public UserPort {
public:
    void setStatus(const std::string& text) override { m_status = text; }
    std::string status() const override { return m_status; }
    void beep() override { m_beep = true; }
    bool askYesNo(const std::string&, const std::string&, MessageIcon) override { return false; }
    void showMessage(const std::string&, const std::string&, MessageIcon) override {}
    std::optional<std::string> chooseFile(const FileDialogRequest&) override { return {}; }

    void replay(UserPort& port) const {
        if (m_beep) port.beep();
        port.setStatus(m_status);
    }

private:
    std::string m_status;
    bool m_beep = false;
};

}  // namespace

namespace {

// What became of the document's attributes, for the status line after a read.
std::string attributeNote(const RecordSet& rs, bool made, std::size_t left) {
    if (!made)
        return left == 0 ? std::string()
                         : "列にしていない属性が " + std::to_string(left) +
                               " 種類あります（「設定」→「属性も列にする」）。";
    int lines = 0;
    for (int row = 0; row < rs.recordCount(); ++row)
        lines += rs.valueAt(row, rs.fieldIndex(Field::kKind)) == FieldValue(std::string(kAttributeKind));
    return lines == 0 ? std::string() : "属性の行を " + std::to_string(lines) + " 行作りました。";
}

}  // namespace

void MainWindowCore::LoadXmlDocument() {
    LoadXmlDocument(XmlPath);
}

void MainWindowCore::LoadXmlDocument(const std::string& previousPath) {
    BusyCursor cursor(m_port);
    // One streaming pass on a worker thread: the document is never held in memory, and the
    // window stays responsive and can stop it.
    const std::string path = XmlPath;
    const std::string rowset = m_settings.getRowset();
    const std::string row = m_settings.getRow();
    const bool attributes = m_settings.getAttributes();
    std::size_t attributesLeft = 0;
    BackgroundWork work;
    DeferredReport report;
    std::unique_ptr<StructureTemplate> tmpl;
    m_port.runInBackground("XML文書を読み込んでいます...", work, [&] {
        tmpl = ReadStructureTemplate(path, rowset, row, report,
                                     [&](std::uint64_t done, std::uint64_t total) {
                                         work.done = done;
                                         work.total = total;
                                         return !work.cancelRequested;
                                     },
                                     true, attributes, &attributesLeft);
    });
    if (!tmpl) {
        // A stop changes nothing: the previous document stays the current one.
        report.replay(m_port);
        if (work.cancelRequested) {
            XmlPath = previousPath;
            if (m_table) m_port.setStatus(m_port.status() + "前の定義はそのままです。");
        }
        return;
    }
    const long long rows = tmpl->root().evidence.rows;
    // Untyped elements take the chooser's type; with none there, the vocabulary's first.
    std::string untyped = trimBlanks(m_port.typeChooserText());
    if (untyped.empty()) {
        const auto names = typeNamesFor(m_openDBType);
        const int first = initialTypeIndex(m_openDBType);
        if (first >= 0) untyped = names.at(static_cast<std::size_t>(first));
    }
    std::unique_ptr<DefinitionTable> table;
    try {
        const std::string dbType = m_settings.getDBType();
        table = FillDefinitionTable(
            *tmpl, [&](const std::string& xmlType) { return DBDatatype(dbType, xmlType); },
            IndentUnit, untyped);
    } catch (const ServiceError& e) {
        // The old lines stay: nothing of the document is shown cut.
        m_port.beep();
        m_port.setStatus("XML文書を読み込めません。" + e.description());
        return;
    }
    replaceTable(nullptr);
    m_table = std::move(table);
    InitDefinitionTable(false);
    m_table->records().moveFirst();
    m_documentPath = path;
    m_definitionPath.clear();
    recordOpened();
    m_port.fileUsed(path);
    PlaceCellEditors();
    m_port.setStatus(std::to_string(rows) + " 行を読み、" +
                     std::to_string(m_table->records().recordCount()) +
                     " 行の定義にしました。型のない要素は「" + untyped + "」にしました。" +
                     attributeNote(m_table->records(), attributes, attributesLeft));
}

template <typename Command>
void MainWindowCore::edit(Command command) {
    if (!m_table) return;
    // A command that fails midway says why; Busy never stays set.
    try {
        command(*m_table, *this);
    } catch (const ServiceError& e) {
        Busy = false;
        m_port.beep();
        m_port.setStatus(e.description());
    }
    recordChange();  // what was done, also of a command that stopped midway
}

void MainWindowCore::cmdUp_Click() {
    edit(MoveLineUp);
}
void MainWindowCore::cmdDown_Click() {
    edit(MoveLineDown);
}
void MainWindowCore::cmdLeft_Click() {
    edit(ShiftLineLeft);
}
void MainWindowCore::cmdRight_Click() {
    edit(ShiftLineRight);
}
void MainWindowCore::cmdInsert_Click() {
    edit(InsertLine);
}
void MainWindowCore::cmdAppend_Click() {
    edit(AppendLine);
}
void MainWindowCore::cmdDelete_Click() {
    edit(DeleteLine);
}
void MainWindowCore::cmdGen1_Click() {
    edit(ToggleGenerateFlag);
}
void MainWindowCore::cboFType_Click() {
    edit(SetLineType);
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

void MainWindowCore::cmdCreate_Click() {
    if (!m_table) return;
    static const char kUndone[] = "全ての処理は元の状態に戻されました。";
    RecordSet& rs = m_table->records();
    Busy = true;
    m_port.setStatus({});
    LayoutResult layout = buildTableLayout(*m_table, m_settings.getDBType(), IndentUnit);
    if (layout.outcome == LayoutResult::Outcome::Stop) {
        m_port.beep();
        m_port.setStatus(layout.message);
        Busy = false;
        PlaceCellEditors();  // over the offending line
        return;
    }
    if (layout.outcome == LayoutResult::Outcome::Failure) {
        Busy = false;
        m_port.beep();
        m_port.setStatus(layout.message + kCrLf + kUndone);
        rs.moveFirst();
        PlaceCellEditors();
        return;
    }
    m_layout = std::move(layout.layout);
    const CreationResult created = createLayoutTables(*m_layout, m_connection, m_catalog);
    if (!created.ok) {
        Busy = false;
        m_port.beep();
        // Only the errors: the tables reported so far were rolled back (or, when the
        // connection was lost at the commit, may or may not exist).
        std::string text;
        for (const auto& e : created.errors) text += e + kCrLf;
        m_port.setStatus(text + creationFailureOutcome(created));
        PlaceCellEditors();
        return;
    }
    const std::string report = creationReport(created.createdTables, kCrLf);
    m_port.setStatus(report);
    TablesAdded();
    Busy = false;
    rs.moveFirst();
    PlaceCellEditors();
}

void MainWindowCore::mnuNew_Click() {
    if (!mayReplaceDefinition()) return;
    m_documentPath.clear();
    m_definitionPath.clear();
    replaceTable(nullptr);
    InitDefinitionTable(true);
    recordOpened();
}

bool MainWindowCore::mayReplaceDefinition() {
    if (!m_table || !m_history.modified()) return true;
    switch (m_port.askSaveChanges()) {
        case MainWindowPort::SaveAnswer::Cancel:
            return false;
        case MainWindowPort::SaveAnswer::Discard:
            return true;
        case MainWindowPort::SaveAnswer::Save:
            mnuSaveDefAgain_Click();
            return !m_history.modified();  // a cancelled or failed save keeps the window as it is
    }
    return false;
}

bool MainWindowCore::Form_QueryUnload() {
    return mayReplaceDefinition();
}

DefinitionState MainWindowCore::currentState() const {
    DefinitionState state;
    if (m_table) state.lines = m_table->records().contents();
    state.documentPath = m_documentPath;
    state.definitionPath = m_definitionPath;
    return state;
}

void MainWindowCore::recordChange() {
    if (m_table && m_history.record(currentState())) updateTitle();
}

void MainWindowCore::recordOpened() {
    m_history.record(currentState());
    m_history.markClean();
    updateTitle();
}

void MainWindowCore::showState(const DefinitionState& state) {
    if (!m_table) InitDefinitionTable(false);
    m_table->records().restore(state.lines);
    m_documentPath = state.documentPath;
    m_definitionPath = state.definitionPath;
    if (!m_documentPath.empty()) XmlPath = m_documentPath;
    updateTitle();
    PlaceCellEditors();
}

void MainWindowCore::mnuUndo_Click() {
    m_port.setStatus({});
    if (const auto state = m_history.undo()) showState(*state);
}

void MainWindowCore::mnuRedo_Click() {
    m_port.setStatus({});
    if (const auto state = m_history.redo()) showState(*state);
}

void MainWindowCore::DataGrid1_AfterColUpdate() {
    recordChange();
}

void MainWindowCore::updateTitle() {
    std::string title = m_databaseTitle.empty() ? std::string(kAppTitle) : m_databaseTitle;
    const std::string& file = !m_definitionPath.empty() ? m_definitionPath : m_documentPath;
    if (!file.empty()) title += " - " + std::filesystem::path(file).filename().string();
    if (m_history.modified()) title += "*";
    m_port.setWindowTitle(title);
    m_port.setUndoState(m_history.canUndo(), m_history.canRedo());
}

void MainWindowCore::mnuExit_Click() {
    m_port.closeWindow();
}

void MainWindowCore::mnuXML_Click() {
    m_port.setStatus({});
    const std::string rowset = m_settings.getRowset();
    const std::string row = m_settings.getRow();
    m_port.showXmlTagDialog(m_settings);
    if (rowset != m_settings.getRowset() || row != m_settings.getRow())
        m_port.storeSettings(m_settings);
}

void MainWindowCore::mnuAttributes_Click() {
    m_settings.putAttributes(!m_settings.getAttributes());
    m_port.storeSettings(m_settings);
    m_port.setStatus(m_settings.getAttributes()
                         ? "次に読み込む文書から、要素の属性も「@名前」の行にして列にします。"
                         : "次に読み込む文書から、要素の属性は列にしません。");
}

void MainWindowCore::OpenGivenFile(const std::string& path) {
    m_port.setStatus({});
    if (!mayReplaceDefinition()) return;
    if (fileExtension(path) == "qxd") {
        LoadDefinitionFile(path);
        return;
    }
    const std::string previous = XmlPath;
    XmlPath = path;
    LoadXmlDocument(previous);
}

void MainWindowCore::SplitterMoved(int frameWidth) {
    // Both panes keep a usable width.
    constexpr int kMinimumPane = 1200;
    const int limit = std::max(kMinimumPane, m_outerWidth - kMinimumPane - kSplitterWidth);
    frameWidth = std::clamp(frameWidth, kMinimumPane, limit);
    m_windowLayout.frameWidth = frameWidth;
    m_windowLayout.tabLeft = frameWidth + kSplitterWidth;
    if (m_outerWidth > 0) {
        m_windowLayout = quorix::Form_Resize(m_windowLayout, m_outerWidth, m_innerHeight);
    } else {
        m_windowLayout.tabWidth = std::max(0, m_windowLayout.lineX2 - m_windowLayout.tabLeft);
    }
    m_port.applyLayout(m_windowLayout);
}

namespace {

const char kDefinitionFilter[] = "定義ファイル(*.qxd)|*.qxd|全てのファイル|*.*";

}  // namespace

void MainWindowCore::mnuLoadDef_Click() {
    m_port.setStatus({});
    if (!mayReplaceDefinition()) return;
    FileDialogRequest request;
    request.filter = kDefinitionFilter;
    request.defaultExtension = "qxd";
    request.title = "定義を開く";
    request.initialFile = m_definitionPath;
    if (const auto file = m_port.chooseFile(request)) LoadDefinitionFile(*file);
}

void MainWindowCore::LoadDefinitionFile(const std::string& path) {
    m_port.setStatus({});
    auto loaded = loadDefinitionFile(path);
    if (auto* message = std::get_if<std::string>(&loaded)) {
        // Nothing is replaced.
        m_port.beep();
        m_port.setStatus(*message);
        return;
    }
    DefinitionFile& file = std::get<DefinitionFile>(loaded);
    if (file.table->records().recordCount() == 0) {
        m_port.beep();
        m_port.setStatus("定義ファイル「" + path + "」には行がありません。");
        return;
    }
    m_definitionPath = path;
    m_documentPath.clear();
    replaceTable(nullptr);
    m_table = std::move(file.table);
    InitDefinitionTable(false);
    m_table->records().moveFirst();
    recordOpened();
    m_port.fileUsed(path);
    PlaceCellEditors();
    std::string status = "定義ファイル「" + path + "」を開きました。";
    if (file.context.dbType != m_openDBType) {
        // Types of another engine move over after a question, as an undoable step.
        const std::string report = offerTypeTranslation(file.context.dbType, "この定義");
        status +=
            kCrLf + (report.empty() ? std::string("（データベースタイプ「") + file.context.dbType +
                                          "」で作られた定義です。型を確かめてください。）"
                                    : report);
    }
    m_port.setStatus(status);
}

void MainWindowCore::mnuSaveDef_Click() {
    m_port.setStatus({});
    if (!m_table) return;
    FileDialogRequest request;
    request.filter = kDefinitionFilter;
    request.defaultExtension = "qxd";
    request.title = "定義を保存";
    request.initialFile = m_definitionPath;
    request.save = true;
    auto file = m_port.chooseFile(request);
    if (!file) return;
    std::string path = *file;
    if (fileExtension(std::filesystem::path(path).filename().string()).empty()) path += ".qxd";
    std::error_code ec;
    if (std::filesystem::exists(path, ec) &&
        !m_port.askYesNo(
            "定義ファイル「" + path + "」は既に存在します。" + kCrLf + "置き換えますか？",
            "定義の保存", MessageIcon::Question))
        return;
    saveDefinitionTo(path);
}

void MainWindowCore::saveDefinitionTo(const std::string& path) {
    const DefinitionContext context{m_settings.getRowset(), m_settings.getRow(), m_openDBType};
    const std::string error = saveDefinitionFile(path, *m_table, context);
    if (!error.empty()) {
        m_port.beep();
        m_port.setStatus(error);
        return;
    }
    m_definitionPath = path;
    m_history.amendCurrent(currentState());
    m_history.markClean();
    updateTitle();
    m_port.fileUsed(path);
    m_port.setStatus("定義ファイル「" + path + "」を保存しました。");
}

void MainWindowCore::mnuSaveDefAgain_Click() {
    if (!m_table) return;
    if (m_definitionPath.empty()) {
        mnuSaveDef_Click();
        return;
    }
    m_port.setStatus({});
    saveDefinitionTo(m_definitionPath);
}

void MainWindowCore::mnuProposeTypes_Click() {
    m_port.setStatus({});
    if (!m_table) return;
    ProposalScope scope = ProposalScope::Untouched;
    if (const int edited = handEditedLines(*m_table, m_openDBType); edited > 0) {
        const int choice = m_port.askProposalScope(edited);
        if (choice == 0) return;
        if (choice == 2) scope = ProposalScope::All;
    }
    const ProposalCount count = applyProposals(*m_table, m_openDBType, scope);
    std::string status = std::to_string(count.changed) + "行の型を変更しました。";
    if (count.kept > 0)
        status += "（手で変更された" + std::to_string(count.kept) + "行はそのままです。）";
    m_port.setStatus(status);
    recordChange();
    PlaceCellEditors();
}

void MainWindowCore::mnuEvidence_Click() {
    m_port.setStatus({});
    if (!m_table) return;
    auto table = evidenceTable(m_table->records());
    if (table.size() <= 1) {
        m_port.beep();
        m_port.setStatus("データの傾向はXML文書を開くと表示されます。");
        return;
    }
    m_port.showEvidenceTable(table);
}

std::unique_ptr<LayoutDocument> MainWindowCore::checkedLayout() {
    RecordSet& rs = m_table->records();
    const int row = rs.currentRow();
    Busy = true;
    LayoutResult layout = buildTableLayout(*m_table, m_openDBType, IndentUnit);
    Busy = false;
    if (layout.outcome != LayoutResult::Outcome::Done) {
        // The same stop as "作成", on the same line.
        m_port.beep();
        m_port.setStatus(layout.message);
        if (layout.outcome == LayoutResult::Outcome::Failure) rs.moveFirst();
        PlaceCellEditors();
        return nullptr;
    }
    if (row >= 0) rs.setCurrentRow(row);
    PlaceCellEditors();
    return std::move(layout.layout);
}

void MainWindowCore::mnuShowSql_Click() {
    m_port.setStatus({});
    if (!m_table) return;
    const auto layout = checkedLayout();
    if (!layout) return;
    const SqlScript script = layoutSql(*layout, providerFor(m_openDBType));
    if (!script.ok) {
        m_port.beep();
        m_port.setStatus(script.text);
        return;
    }
    m_port.showSqlDialog(script.text);
}

void MainWindowCore::mnuLoadData_Click() {
    loadData(false);
}

void MainWindowCore::mnuLoadDataSkipping_Click() {
    loadData(true);
}

void MainWindowCore::loadData(bool skipBadRows) {
    m_port.setStatus({});
    if (!m_table) return;
    const auto layout = checkedLayout();
    if (!layout) return;
    // Lines of the rows' own table that a row held more than once: the load would stop there.
    std::string repeated;
    for (const auto& c : layout->root.children) {
        const LineInfo* info = lineInfo(m_table->records(), c->definitionRow);
        if (c->children.empty() && info && info->evidence &&
            info->evidence->occurrences > info->evidence->rows)
            repeated += "「" + c->name + "」";
    }
    if (!repeated.empty() &&
        !m_port.askYesNo("列" + repeated +
                             "の要素が2回以上ある行が文書にありました。そのような行で取り込みは止ま"
                             "ります（値をまとめたり省いたりはしません）。" +
                             kCrLf + "取り込みを始めますか？",
                         kAppTitle, MessageIcon::Question))
        return;
    const auto file = chooseXmlFile("データを取り込む");
    if (!file) return;
    // Tables that are not there yet are made in the same transaction, after a question.
    std::vector<std::string> missing;
    int tables = 0;
    try {
        for (const TableDefinition& t : layoutTables(*layout)) {
            ++tables;
            if (m_connection.run([&](DatabaseSession& s) { return s.tableColumns(t.name); })
                    .empty())
                missing.push_back(t.name);
        }
    } catch (const std::exception& e) {
        m_port.beep();
        m_port.setStatus(e.what());
        return;
    }
    LoadRequest load;
    load.documentPath = *file;
    if (skipBadRows) {
        FileDialogRequest where;
        where.filter = "タブ区切り(*.tsv)|*.tsv|全てのファイル|*.*";
        where.defaultExtension = "tsv";
        where.title = "飛ばした行の書き出し先";
        where.initialFile = *file + ".rejects.tsv";
        where.save = true;
        const auto rejects = m_port.chooseFile(where);
        if (!rejects) return;
        std::error_code ec;
        if (std::filesystem::exists(*rejects, ec) &&
            !m_port.askYesNo(
                "ファイル「" + *rejects + "」は既に存在します。" + kCrLf + "置き換えますか？",
                kAppTitle, MessageIcon::Question))
            return;
        load.rejectPath = *rejects;
        load.inputs = {m_definitionPath, m_openDataSource};
    }
    load.rowset = m_settings.getRowset();
    load.row = m_settings.getRow();
    load.dbType = m_openDBType;
    if (!missing.empty()) {
        if (static_cast<int>(missing.size()) < tables) {
            m_port.beep();
            m_port.setStatus("表「" + missing.front() +
                             "」がありません。定義の表を全て作成してから取り込んでください。");
            return;
        }
        if (!m_port.askYesNo("定義の表はまだありません。作成してから取り込みますか？", kAppTitle,
                             MessageIcon::Question))
            return;
        load.createTables = true;
    }
    BusyCursor cursor(m_port);
    BackgroundWork work;
    LoadResult result;
    m_port.runInBackground("データを取り込んでいます...", work, [&] {
        result = loadDocument(*layout, load, m_connection, m_catalog,
                              [&](std::uint64_t done, std::uint64_t total) {
                                  work.done = done;
                                  work.total = total;
                                  return !work.cancelRequested;
                              });
    });
    if (!result.ok) {
        m_port.beep();
        m_port.setStatus(result.message);
        if (!result.outcomeUnknown) return;
    } else {
        m_port.setStatus(loadReport(result));
    }
    TablesAdded();
}

void MainWindowCore::mnuLinkKeys_Click() {
    m_port.setStatus({});
    if (!m_table) return;
    const KeyLinkResult linked = linkNestedKeys(*m_table, m_openDBType, IndentUnit);
    std::string status = keyLinkReport(linked);
    for (const auto& why : linked.unlinked) status += kCrLf + why;
    m_port.setStatus(status);
    m_table->records().moveFirst();
    recordChange();
    PlaceCellEditors();
}

void MainWindowCore::mnuNameTables_Click() {
    m_port.setStatus({});
    if (!m_table) return;
    const int named = nameTables(*m_table);
    m_port.setStatus(named == 0 ? std::string("名前のない表はありません。")
                                : std::to_string(named) + " 個の表に名前を付けました。");
    m_table->records().moveFirst();
    recordChange();
    PlaceCellEditors();
}

void MainWindowCore::mnuAbout_Click() {
    m_port.setStatus({});
    m_port.showAboutBox();
}

void MainWindowCore::mnuGuide_Click() {
    m_port.setStatus({});
    const std::string programDir = m_port.programDir();
    const auto guide = findGuide(programDir);
    if (!guide) {
        const auto expected = std::filesystem::path(programDir) / kGuideFromProgramDir;
        m_port.showMessage(GuideTexts::notInstalled(expected.lexically_normal().string()),
                           kAppTitle, MessageIcon::Exclamation);
        return;
    }
    const char* path = std::getenv("PATH");
    const auto viewer = findProgram(kViewerPrograms, path ? path : "");
    if (!viewer) {
        guideNotOpened(*guide);
        return;
    }
    m_port.setStatus(GuideTexts::opening(*guide));
    m_port.openWithViewer(*viewer, *guide);
}

void MainWindowCore::guideNotOpened(const std::string& guide) {
    m_port.setStatus({});
    m_port.showMessage(GuideTexts::noViewer(guide), kAppTitle, MessageIcon::Exclamation);
}

void MainWindowCore::cmdStatus_Click() {
    m_statusExpanded = !m_statusExpanded;
    m_port.setStatusButtonCaption(m_statusExpanded ? "<<" : ">>");
    m_windowLayout.statusHeight = m_statusExpanded ? kStatusExpandedHeight : kStatusCollapsedHeight;
    m_port.applyLayout(m_windowLayout);
    m_port.setWindowOuterHeight(
        statusPanelWindowHeight(m_windowLayout, m_windowLayout.statusHeight));
}

void MainWindowCore::Form_Resize(int outerWidth, int innerHeight, bool minimized) {
    if (minimized) return;
    m_outerWidth = outerWidth;
    m_innerHeight = innerHeight;
    m_windowLayout = quorix::Form_Resize(m_windowLayout, outerWidth, innerHeight);
    m_port.applyLayout(m_windowLayout);
}

void MainWindowCore::setGenerateCaption(const std::string& caption) {
    m_port.setGenerateCaption(caption);
}

void MainWindowCore::PlaceCellEditors() {
    if (Busy) return;
    const GridState grid = m_port.gridState();
    if (!grid.currentCellVisible) return;
    m_port.setCellEditors(placeCellEditors(grid, m_port.cellEditors()));
    m_port.setGenerateCaption(currentText(m_table.get(), Field::kGenerate));
    // The chooser stands on the current line's type: it shows that type, never another's.
    if (m_table && m_table->records().currentRow() >= 0)
        m_port.setTypeChooserText(currentText(m_table.get(), Field::kType));
}

void MainWindowCore::DataGrid1_RowColChange() {
    if (Busy) return;
    const GridState grid = m_port.gridState();
    const ActivationResult result = activateCellEditor(grid, m_port.cellEditors());
    m_port.setCellEditors(result.editors);
    if (result.focus == EditorFocus::GenerateButton)
        m_port.setGenerateCaption(currentText(m_table.get(), Field::kGenerate));
    else if (result.focus == EditorFocus::TypeChooser)
        m_port.setTypeChooserText(currentText(m_table.get(), Field::kType));
    m_port.setFocus(result.focus);
    PlaceCellEditors();
}

void MainWindowCore::DataGrid1_RowResize() {
    if (m_port.gridRowHeight() < m_port.typeChooserHeight())
        m_port.setGridRowHeight(m_port.typeChooserHeight());
    else
        PlaceCellEditors();
}

void MainWindowCore::DataGrid1_ColResize() {
    const GridState grid = m_port.gridState();
    CellEditors editors = m_port.cellEditors();
    if (grid.geometry.columnWidths.size() > 6) {
        editors.generateButton.width = grid.geometry.columnWidths[1] - 22;
        editors.typeChooser.width = grid.geometry.columnWidths[6] - 22;
    }
    m_port.setCellEditors(editors);
    PlaceCellEditors();
}

void MainWindowCore::DataGrid1_Scroll() {
    m_port.setCellEditors(hideCellEditors(m_port.cellEditors()));
}

}  // namespace quorix
