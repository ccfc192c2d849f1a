#include <filesystem>

#include "definition_edit/line_edits.h"
#include "generation/type_proposal.h"
#include "loading/key_links.h"
#include "main_window/dialogs_logic.h"
#include "main_window/main_window_core.h"

namespace quorix {

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
    m_port.setStatus(proposalReport(count));
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

}  // namespace quorix
