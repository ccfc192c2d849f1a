#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>

#include "generation/table_creation.h"
#include "exporting/table_export.h"
#include "loading/document_loader.h"
#include "xml_analysis/xml_loading.h"
#include "loading/loaded_documents.h"
#include "main_window/busy_cursor.h"
#include "main_window/dialogs_logic.h"
#include "main_window/main_window_core.h"
#include "services/text/text.h"

namespace quorix {

namespace {

// Seconds to a tenth ("12.3"), to the thousandth under one.
std::string secondsText(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, seconds < 1 ? "%.3f" : "%.1f", seconds);
    return text;
}

}  // namespace

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

void MainWindowCore::mnuLoadMode_Click(const std::string& mode) {
    const auto chosen = parseLoadMode(mode);
    if (!chosen) return;
    m_settings.putLoadMode(mode);
    m_port.storeSettings(m_settings);
    m_port.setStatus(std::string("取り込み方法:「") + loadModeCaption(*chosen) +
                     "」。次の取り込みから、この方法で表に同じキーの行があるときを扱います。");
}

void MainWindowCore::mnuRememberDocuments_Click() {
    m_settings.putRemember(!m_settings.getRemember());
    m_port.storeSettings(m_settings);
    m_port.setStatus(m_settings.getRemember()
                         ? "次の取り込みから、取り込んだ文書をデータベースの表「" +
                               std::string(kLoadedDocuments) +
                               "」に記録し、同じ内容の文書をもう一度取り込むとお知らせします。"
                         : std::string("次の取り込みから、取り込んだ文書は記録しません。"));
}

bool MainWindowCore::chooseRejectFile(const std::string& document, LoadRequest& load) {
    FileDialogRequest where;
    where.filter = "タブ区切り(*.tsv)|*.tsv|全てのファイル|*.*";
    where.defaultExtension = "tsv";
    where.title = "飛ばした行の書き出し先";
    where.initialFile = document + ".rejects.tsv";
    where.save = true;
    const auto rejects = m_port.chooseFile(where);
    if (!rejects) return false;
    std::error_code ec;
    if (std::filesystem::exists(*rejects, ec) &&
        !m_port.askYesNo(
            "ファイル「" + *rejects + "」は既に存在します。" + kCrLf + "置き換えますか？",
            kAppTitle, MessageIcon::Question))
        return false;
    load.rejectPath = *rejects;
    load.inputs = {m_definitionPath, m_openDataSource};
    return true;
}

bool MainWindowCore::askToAddColumns(const LayoutDocument& layout, LoadRequest& load) {
    std::vector<MissingColumns> missing;
    try {
        missing = missingColumns(layout, m_connection);
    } catch (const std::exception& e) {
        m_port.beep();
        m_port.setStatus(e.what());
        return false;
    }
    if (missing.empty()) return true;
    std::string said;
    for (const MissingColumns& m : missing) {
        said += "表「" + m.table + "」に列";
        for (const auto& c : m.columns) said += "「" + c + "」";
        said += "がありません。";
    }
    if (!m_port.askYesNo(
            said + kCrLf + "列を加えてから取り込みますか？（取り込みに失敗したときは加えません）",
            kAppTitle, MessageIcon::Question))
        return false;
    load.addColumns = true;
    return true;
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
    FileDialogRequest documents;
    documents.filter = "XML(*.xml *.xml.gz)|*.xml *.xml.gz|全てのファイル|*.*";
    documents.defaultExtension = "xml";
    documents.title = "データを取り込む";
    documents.initialFile = XmlPath;
    const std::vector<std::string> files = m_port.chooseFiles(documents);
    if (files.empty()) return;
    // Several documents go in one transaction, in the order of their names.
    std::vector<std::string> ordered = files;
    std::sort(ordered.begin(), ordered.end());
    const std::string* file = &ordered.front();
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
    load.documents = ordered;
    if (skipBadRows && !chooseRejectFile(*file, load)) return;
    load.mode = parseLoadMode(m_settings.getLoadMode()).value_or(LoadMode::Insert);
    load.remember = m_settings.getRemember();
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
    } else if (!askToAddColumns(*layout, load)) {
        return;
    } else if (load.mode == LoadMode::Replace) {
        std::string names;
        for (const TableDefinition& t : layoutTables(*layout)) names += "「" + t.name + "」";
        if (!m_port.askYesNo(
                "表" + names +
                    "の行を全て削除して、文書の行に入れ替えます（取り込みに失敗したとき"
                    "は元のままです）。" +
                    kCrLf + "取り込みを始めますか？",
                kAppTitle, MessageIcon::Question))
            return;
    }
    BusyCursor cursor(m_port);
    BackgroundWork work;
    LoadResult result;
    const auto started = std::chrono::steady_clock::now();
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
        // The figures stay in view: per table, and the time it took.
        const bool insert = result.mode == LoadMode::Insert;
        std::vector<std::vector<std::string>> summary = {
            insert ? std::vector<std::string>{"表", "追加"}
                   : std::vector<std::string>{"表", "追加", "更新", "既にあって飛ばした", "削除"}};
        for (const TableCounts& c : result.counts) {
            summary.push_back({c.table, grouped(c.inserted)});
            if (!insert)
                for (long long n : {c.updated, c.skipped, c.deleted}) summary.back().push_back(grouped(n));
        }
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        std::string heading = loadReport(result) + kCrLf + "所要時間 " + secondsText(seconds) + " 秒";
        if (seconds > 0) heading += "（文書の " + grouped(static_cast<long long>(result.rows / seconds)) + " 行/秒）";
        heading += "。";
        if (result.documents.size() > 1)
            for (const DocumentCounts& d : result.documents)
                heading += kCrLf + std::filesystem::path(d.document).filename().string() + ": " +
                           grouped(d.rows) + " 行";
        m_port.showLoadSummary(heading, summary);
    }
    TablesAdded();
}

void MainWindowCore::mnuExportXML_Click() {
    m_port.setStatus({});
    if (!m_table) return;
    const auto layout = checkedLayout();
    if (!layout) return;
    FileDialogRequest where;
    where.filter = "XML(*.xml)|*.xml|全てのファイル|*.*";
    where.defaultExtension = "xml";
    where.title = "XMLに書き出す";
    const std::filesystem::path from(XmlPath);
    if (!XmlPath.empty())
        where.initialFile =
            (from.parent_path() / (from.stem().string() + "-書き出し.xml")).string();
    where.save = true;
    const auto file = m_port.chooseFile(where);
    if (!file) return;
    std::string path = *file;
    if (fileExtension(std::filesystem::path(path).filename().string()).empty()) path += ".xml";
    std::error_code ec;
    if (std::filesystem::exists(path, ec) &&
        !m_port.askYesNo("ファイル「" + path + "」は既に存在します。" + kCrLf + "置き換えますか？",
                         "XMLに書き出す", MessageIcon::Question))
        return;
    ExportRequest request;
    request.rowset = m_settings.getRowset();
    request.row = m_settings.getRow();
    request.dbType = m_openDBType;
    request.outputPath = path;
    BusyCursor cursor(m_port);
    BackgroundWork work;
    ExportResult result;
    m_port.runInBackground("XMLに書き出しています...", work, [&] {
        result = exportTables(*layout, request, m_connection, nullptr, [&](long long rows) {
            work.done = static_cast<std::uint64_t>(rows);
            return !work.cancelRequested;
        });
    });
    if (!result.ok) {
        m_port.beep();
        m_port.setStatus(result.message);
        return;
    }
    m_port.setStatus(exportReport(result) + "（" + path + "）");
}

}  // namespace quorix
