#include <algorithm>
#include <filesystem>

#include "definition_file/definition_file.h"
#include "generation/column_types.h"
#include "generation/type_translation.h"
#include "main_window/busy_cursor.h"
#include "main_window/dialogs_logic.h"
#include "main_window/main_window_core.h"
#include "services/text/text.h"
#include "xml_analysis/xml_loading.h"

namespace quorix {

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
        lines +=
            rs.valueAt(row, rs.fieldIndex(Field::kKind)) == FieldValue(std::string(kAttributeKind));
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
        tmpl = ReadStructureTemplate(
            path, rowset, row, report,
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
    m_port.setStatus(grouped(rows) + " 行を読み、" +
                     std::to_string(m_table->records().recordCount()) +
                     " 行の定義にしました。型のない要素は「" + untyped + "」にしました。" +
                     attributeNote(m_table->records(), attributes, attributesLeft));
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

}  // namespace quorix
