#pragma once

#include <QHash>
#include <QMap>
#include <QMainWindow>
#include <memory>

#include "main_window/main_window_core.h"
#include "ui/dialogs.h"

class QAction;
class QComboBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QTabWidget;
class QTableView;
class QTreeWidgetItem;
class QTreeWidget;

namespace quorix {

class Twips;

class DefinitionTableModel;

/// frmQuorix: the main window. Shows the core's state and forwards every event to it.
class MainWindow : public QMainWindow, private WidgetDialogs<MainWindowPort> {
    Q_OBJECT
public:
    explicit MainWindow(QWidget* parent = nullptr);
    ~MainWindow() override;

    /// Runs start-up; the window is shown when it succeeds.
    MainWindowCore::StartResult start();
    MainWindowCore& core() { return *m_core; }

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void buildMenus();
    void buildControls();
    void buildGrid(const Twips& t);
    void bindEvents();
    /// Makes the grid's current row follow the record set's cursor.
    void followCursor(int row);

    // MainWindowPort
    void setStatus(const std::string& text) override;
    std::string status() const override;
    QWidget* dialogParent() override { return this; }
    void setWindowTitle(const std::string& title) override;
    void showConnectionDialog(AppSettings& settings, const std::string& openDataSource) override;
    void closeWindow() override;
    void setBusyCursor(bool busy) override;
    void runInBackground(const std::string& label, BackgroundWork& state,
                         const std::function<void()>& work) override;

public:
    /// How long background work runs before its progress dialog shows (milliseconds).
    void setProgressDelay(int ms) { m_progressDelay = ms; }

private:
    void setTypeChoices(const std::vector<std::string>& names, int selected) override;
    std::string typeChooserText() const override;
    void setTypeChooserText(const std::string& text) override;
    int typeChooserHeight() const override;
    void bindDefinitionTable(RecordSet* records) override;
    GridState gridState() const override;
    int gridRowHeight() const override;
    void setGridRowHeight(int twips) override;
    CellEditors cellEditors() const override;
    void setCellEditors(const CellEditors& editors) override;
    std::string generateCaption() const override;
    void setGenerateCaption(const std::string& caption) override;
    void setFocus(EditorFocus target) override;
    void applyLayout(const WindowLayout& layout) override;
    void growWindow(int twips) override;
    void setStatusButtonCaption(const std::string& caption) override;
    void showXmlTagDialog(AppSettings& settings) override;
    void showAboutBox() override;
    std::string programDir() const override;
    void openWithViewer(const std::string& viewer, const std::string& file) override;
    void showSqlDialog(const std::string& sql) override;
    void loadStoredSettings(AppSettings& settings) override;
    void storeSettings(const AppSettings& settings) override;
    void showPropertyPage() override;
    int askProposalScope(int editedLines) override;
    SaveAnswer askSaveChanges() override;
    void setUndoState(bool canUndo, bool canRedo) override;
    void fileUsed(const std::string& path) override;
    /// Rebuilds the recent files menu from the remembered list.
    void showRecentFiles();
    void showEvidenceTable(const std::vector<std::vector<std::string>>& table) override;
    void showLoadSummary(const std::string& heading,
                         const std::vector<std::vector<std::string>>& table) override;
    /// Runs the layout rules for the current size.
    void relayout();
    // CatalogView
    void treeRebuilt() override;
    void treeNodeAboutToBeRemoved(const TreeNode* node) override;
    void treeChildrenChanged(const TreeNode* node) override;
    /// An item for @p node and everything below it, registered in m_treeItems.
    QTreeWidgetItem* makeTreeItem(const TreeNode* node);
    void forgetTreeItem(QTreeWidgetItem* item);
    /// Hides the tables whose names do not hold the filter's text.
    void applyTreeFilter();
    void showPropertyLines(const std::vector<std::string>& lines) override;
    void tableCounted(const QString& table, long long rows);
    void showTableRows(const std::string& connectionString, const std::string& table) override;
    void buildLoadModeMenu(QMenu* db);
    /// Where settings are remembered between runs.
    static QString settingsFile();

    std::unique_ptr<MainWindowCore> m_core;
    DefinitionTableModel* m_model = nullptr;
    bool m_syncing = false;  // the grid is being moved to follow the cursor
    bool m_settingUp = false;
    bool m_unloaded = false;
    bool m_built = false;

    QWidget* m_client = nullptr;
    QGroupBox* m_frmDB = nullptr;
    QTreeWidget* m_tree = nullptr;
    QLineEdit* m_filter = nullptr;  // narrows the tables shown; reads nothing
    QHash<const TreeNode*, QTreeWidgetItem*> m_treeItems;
    QTabWidget* m_tabs = nullptr;
    QWidget* m_columnPage = nullptr;
    QWidget* m_infoPage = nullptr;
    class TableRowsPage* m_rowsPage = nullptr;
    void columnResized(int column);
    void loadColumnWidths();
    QMap<int, int> m_setWidths;  // grid columns the user gave a width, in twips
    int m_statusGrowth = 0;  // pixels the window grew for the status panel
    QStringList m_panelLines;  // the property panel's lines, and the table they are of
    QString m_panelTable;
    QPushButton* m_cmdOpen = nullptr;
    QPushButton* m_cmdLeft = nullptr;
    QPushButton* m_cmdRight = nullptr;
    QPushButton* m_cmdUp = nullptr;
    QPushButton* m_cmdDown = nullptr;
    QPushButton* m_cmdInsert = nullptr;
    QPushButton* m_cmdAppend = nullptr;
    QPushButton* m_cmdDelete = nullptr;
    QTableView* m_grid = nullptr;
    QPushButton* m_cmdGen1 = nullptr;
    QComboBox* m_cboFType = nullptr;
    QPushButton* m_cmdDBConnect = nullptr;
    QPushButton* m_cmdCreate = nullptr;
    QPlainTextEdit* m_picture = nullptr;
    QFrame* m_lineStatus = nullptr;
    QLabel* m_lblStatus = nullptr;
    QFrame* m_splitter = nullptr;
    int m_splitterGrab = -1;  // px of the press inside the bar while it is dragged
    QPushButton* m_cmdStatus = nullptr;
    QMenu* m_mnuTbl = nullptr;
    QMenu* m_mnuRecent = nullptr;
    QAction* m_mnuUndo = nullptr;
    QAction* m_mnuRedo = nullptr;
    int m_tabTop = 0;  // px between the tab panel's top and its pages' top
    int m_progressDelay = 500;
};

}  // namespace quorix
