#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "app/app_settings.h"
#include "catalog/catalog_tree.h"
#include "definition_edit/definition_history.h"
#include "definition_edit/edit_host.h"
#include "generation/table_layout.h"
#include "loading/document_loader.h"
#include "main_window/main_window_port.h"
#include "services/db/catalog.h"
#include "services/db/connection.h"
#include "services/xml/xml_document.h"
#include "xml_analysis/definition_table.h"

namespace quorix {

/// The main window frmQuorix without its widgets: all shared state of the run and every
/// command, speaking to the window through its port.
class MainWindowCore : public EditHost {
public:
    enum class StartResult { Started, Quit, Failed };

    /// The port must outlive the core.
    explicit MainWindowCore(MainWindowPort& port);
    ~MainWindowCore() override;

    /// Start-up: asks for a database until one is confirmed, opens it and prepares the
    /// window. Quit when the user chose to end; Failed when the database cannot be opened.
    StartResult Form_Load();
    /// Closing: releases the definition table, the connection and the catalog.
    void Form_Unload();

    /// Creates the definition table if there is none, binds it to the grid, places the
    /// editors and, with @p withFirstLine, adds the first line.
    void InitDefinitionTable(bool withFirstLine);

    // Commands of the window.
    void cmdOpen_Click();
    /// Reads the document at XmlPath into a new definition. A stop by the user puts
    /// @p previousPath back as XmlPath.
    void LoadXmlDocument(const std::string& previousPath);
    void LoadXmlDocument();
    void cmdUp_Click();
    void cmdDown_Click();
    void cmdLeft_Click();
    void cmdRight_Click();
    void cmdInsert_Click();
    void cmdAppend_Click();
    void cmdDelete_Click();
    void cmdGen1_Click();
    void cboFType_Click();
    void cmdCreate_Click();
    void cmdDBConnect_Click();
    void mnuDBRefresh_Click();
    void mnuConnect_Click() { cmdDBConnect_Click(); }
    void mnuNew_Click();
    void mnuOpen_Click() { cmdOpen_Click(); }
    void mnuExit_Click();
    void mnuXML_Click();
    /// Turns "属性も列にする" over for the documents read from now on; remembered.
    void mnuAttributes_Click();
    void mnuAbout_Click();
    /// "使い方(&U)": opens the installed Japanese guide in the desktop's browser or viewer.
    void mnuGuide_Click();
    /// The viewer started for @p guide ended with a failure (none set for the file type).
    void guideNotOpened(const std::string& guide);
    /// Opens a file given on the command line or dropped on the window: a definition file
    /// (.qxd) as a definition, anything else as an XML document.
    void OpenGivenFile(const std::string& path);
    /// The boundary between the catalog pane and the tab panel was dragged to @p frameWidth
    /// (twips); the layout rules run again from the tab panel's new left edge.
    void SplitterMoved(int frameWidth);
    /// Opens a definition file in place of the definition, as opening a document does.
    void mnuLoadDef_Click();
    void LoadDefinitionFile(const std::string& path);
    /// Saves the definition to a definition file, asking before replacing one.
    void mnuSaveDef_Click();
    /// Sets "型" and "桁数" of every line with values to the narrowest type that holds them.
    void mnuProposeTypes_Click();
    /// Shows what the rows said about every line.
    void mnuEvidence_Click();
    /// Shows the statements that "作成" would run now.
    void mnuShowSql_Click();
    /// Loads the rows of a document (the open one by default) into the definition's tables,
    /// creating them first, after a question, when none of them exists.
    void mnuLoadData_Click();
    /// Saves the definition to the file it was opened from or last saved to; asks where
    /// when it has none.
    void mnuSaveDefAgain_Click();
    /// The same, skipping rows with an error and writing them to a file the user chooses.
    void mnuLoadDataSkipping_Click();
    /// Chooses what later loads do with rows whose key is there ("insert", "skip", "update",
    /// "replace"), remembered between runs.
    void mnuLoadMode_Click(const std::string& mode);
    void mnuRememberDocuments_Click();
    /// Writes the definition's tables from the database as one document of its form.
    void mnuExportXML_Click();
    /// Reshapes nested groups that hang under wrapper elements to begin with their parent's key.
    void mnuLinkKeys_Click();
    /// Names every table of the definition that has no name, after its record element.
    void mnuNameTables_Click();
    void cmdStatus_Click();
    /// One step back or forward in the definition's history.
    void mnuUndo_Click();
    void mnuRedo_Click();
    /// A cell of the grid was edited by the user.
    void DataGrid1_AfterColUpdate();
    /// The window is about to close: false when the user chose to stay (unsaved changes).
    bool Form_QueryUnload();
    /// The definition differs from the one last opened, saved or made from a document.
    bool definitionModified() const { return m_history.modified(); }
    /// The layout rules for the window's new size; nothing while it is minimised.
    void Form_Resize(int outerWidth, int innerHeight, bool minimized);
    const WindowLayout& windowLayout() const { return m_windowLayout; }
    bool statusExpanded() const { return m_statusExpanded; }

    // Events of the catalog tree.
    /// Shows the node's properties, bringing their page to the front.
    void TreeView1_NodeClick(TreeNode* node) {
        m_browser.TreeView1_NodeClick(node);
        if (node) m_port.showPropertyPage();
    }
    void TreeView1_KeyDown(int keyCode, int shift) {
        m_browser.TreeView1_KeyDown(keyCode, shift, m_catalog);
    }
    /// A node was expanded: a table's parts are read the first time.
    void TreeView1_Expand(TreeNode* node) { m_browser.TreeView1_Expand(node); }
    /// True when the table pop-up menu is to be opened.
    bool TreeView1_MouseDown(int button) { return m_browser.TreeView1_MouseDown(button); }
    void mnuTblDelete_Click() { m_browser.mnuTblDelete_Click(m_catalog); }
    /// Rebuilds the catalog tree from the connection string, reading off the window's thread.
    void RefreshTreeView(const std::string& connectionString);
    /// After tables were made: their names join the tree, read off the window's thread.
    void TablesAdded();
    CatalogBrowser& browser() { return m_browser; }
    const LayoutDocument* layoutDocument() const { return m_layout.get(); }

    // Events of the grid.
    /// The current cell changed (row or column).
    void DataGrid1_RowColChange();
    void DataGrid1_RowResize();
    void DataGrid1_ColResize();
    void DataGrid1_Scroll();

    // EditHost
    UserPort& port() override { return m_port; }
    bool& busy() override { return Busy; }
    const std::string& indentUnit() const override { return IndentUnit; }
    std::string typeChooserText() const override { return m_port.typeChooserText(); }
    std::string generateCaption() const override { return m_port.generateCaption(); }
    void setGenerateCaption(const std::string& caption) override;
    void PlaceCellEditors() override;

    AppSettings& settings() { return m_settings; }
    DefinitionTable* definitionTable() { return m_table.get(); }
    const std::string& connectionString() const { return ConnectionString; }
    const std::string& xmlPath() const { return XmlPath; }
    /// The type vocabulary of the open database ("access", "postgresql", ...).
    const std::string& openDBType() const { return m_openDBType; }
    Connection& connection() { return m_connection; }
    Catalog& catalog() { return m_catalog; }

    static constexpr int LayoutMargin = 150;
    static constexpr int StatusExpandedHeight = 2500;

private:
    /// Runs @p read off the window's thread, then shows the node whose children it changed,
    /// or the whole tree when it gives none.
    void readCatalog(const std::function<const TreeNode*()>& read);
    void loadData(bool skipBadRows);
    /// Where the rows skipped for an error go, asked with @p document's name; false to stop.
    bool chooseRejectFile(const std::string& document, LoadRequest& load);
    /// Asks whether the columns the tables lack are to be added by the load; false to stop.
    bool askToAddColumns(const LayoutDocument& layout, LoadRequest& load);
    void saveDefinitionTo(const std::string& path);
    /// An XML document chosen in the file dialog, the current one first.
    std::optional<std::string> chooseXmlFile(const std::string& title);
    /// The definition's layout, or null after the stop that "作成" would show.
    std::unique_ptr<LayoutDocument> checkedLayout();

    /// Opens the database of the settings and makes it the window's: title, connection,
    /// catalog tree, type list. On failure reports why and keeps the open one.
    bool openDatabase();
    /// Replaces the definition table (null releases it) and shows it.
    void replaceTable(std::unique_ptr<DefinitionTable> table);
    /// Runs an editing command when there is a table.
    template <typename Command>
    void edit(Command command);
    /// Asks whether to save unsaved changes before they would be replaced; false to stay.
    bool mayReplaceDefinition();
    DefinitionState currentState() const;
    /// Takes the definition as it is now as one step of the history.
    void recordChange();
    /// The definition just came from a file or document: a step, and the unchanged state.
    void recordOpened();
    void showState(const DefinitionState& state);
    /// Title: database, file of the definition, and "*" when it has unsaved changes.
    void updateTitle();
    std::string m_databaseTitle;
    std::string m_openingNote;  // what the engine did on opening, for the status line
    /// Offers to move the definition's types from @p fromType's vocabulary into the open
    /// engine's; gives what was done (empty when declined). @p madeBy names the definition in
    /// the question; when empty, the report also goes to the status line.
    std::string offerTypeTranslation(const std::string& fromType, const std::string& madeBy);

    MainWindowPort& m_port;
    AppSettings m_settings;
    std::string ConnectionString;
    std::string m_openDataSource;  // the data source of the open connection
    std::string m_openDBType;
    Connection m_connection;
    Catalog m_catalog;
    bool Busy = false;
    std::string IndentUnit = "･･";
    std::string XmlPath;
    std::string m_definitionPath;  // the definition file last opened or saved
    std::string m_documentPath;    // the document the lines were made from
    DefinitionHistory m_history;
    std::unique_ptr<DefinitionTable> m_table;
    std::unique_ptr<LayoutDocument> m_layout;
    CatalogBrowser m_browser;
    WindowLayout m_windowLayout;
    int m_outerWidth = 0;  // the window's size at the last resize, for the splitter
    int m_innerHeight = 0;
    bool m_statusExpanded = false;
};

}  // namespace quorix
