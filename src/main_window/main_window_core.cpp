#include "main_window/main_window_core.h"

#include <cstdlib>
#include <filesystem>

#include "main_window/dialogs_logic.h"
#include "services/text/text.h"
#include "xml_analysis/grid_geometry.h"

namespace quorix {

namespace {

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

bool MainWindowCore::Form_QueryUnload() {
    return mayReplaceDefinition();
}

void MainWindowCore::mnuExit_Click() {
    m_port.closeWindow();
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
    const int before = m_windowLayout.statusHeight;
    m_windowLayout.statusHeight = m_statusExpanded ? kStatusExpandedHeight : kStatusCollapsedHeight;
    m_port.applyLayout(m_windowLayout);
    // The window changes by the panel's change alone: folded back, it is as it was.
    m_port.growWindow(m_windowLayout.statusHeight - before);
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
