#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "app/app_settings.h"
#include "app/user_port.h"
#include "catalog/catalog_tree.h"
#include "definition_edit/cell_editors.h"
#include "main_window/window_layout.h"

namespace quorix {

class RecordSet;

/// Work that runs off the window's thread: how far it is, and whether the user asked it to
/// stop. The work writes done and total; the window writes cancelRequested.
struct BackgroundWork {
    std::atomic<std::uint64_t> done{0};
    std::atomic<std::uint64_t> total{0};
    std::atomic<bool> cancelRequested{false};
    /// False for work that cannot stop half way: the dialog then offers no cancel button.
    bool cancellable = true;
};

/// How the main window's commands reach the window. All geometry is in twips.
class MainWindowPort : public UserPort, public CatalogView {
public:
    virtual void setWindowTitle(const std::string& title) = 0;
    /// Shows the connection dialog modally; it writes the settings through their accessors.
    /// @p openDataSource is the database the window has open (empty for none).
    virtual void showConnectionDialog(AppSettings& settings, const std::string& openDataSource) = 0;
    virtual void closeWindow() = 0;
    /// Shows the busy cursor while a long command runs.
    virtual void setBusyCursor(bool busy) = 0;
    /// Runs @p work on a worker thread and returns when it has returned. Meanwhile the window
    /// repaints but takes no input; after half a second a progress dialog shows @p label, the
    /// share of @p state done and a cancel button that sets state.cancelRequested.
    /// @p work must not speak to the user.
    virtual void runInBackground(const std::string& label, BackgroundWork& state,
                                 const std::function<void()>& work) = 0;

    /// Moves and sizes the controls that follow the window's size.
    virtual void applyLayout(const WindowLayout& layout) = 0;
    /// Sets the window's outer height (title and menu bar included); the window then runs
    /// its layout rules.
    /// Makes the window @p twips taller (shorter when negative), within the screen; a shrink
    /// gives back what the last growth took.
    virtual void growWindow(int twips) = 0;
    virtual void setStatusButtonCaption(const std::string& caption) = 0;
    /// Shows the XML tag dialog modally; it writes the tags through their accessors.
    virtual void showXmlTagDialog(AppSettings& settings) = 0;
    virtual void showAboutBox() = 0;
    /// The folder of the running program.
    virtual std::string programDir() const = 0;
    /// Starts @p viewer on @p file without waiting; when the viewer fails, the window calls
    /// MainWindowCore::guideNotOpened.
    virtual void openWithViewer(const std::string& viewer, const std::string& file) = 0;
    /// Fills @p settings with what was remembered from the last run (never a password);
    /// leaves what was not remembered as it is.
    virtual void loadStoredSettings(AppSettings& settings) = 0;
    /// Remembers the data source, database type, user name and XML tags for the next run.
    virtual void storeSettings(const AppSettings& settings) = 0;
    /// Brings the page of the property panel to the front.
    virtual void showPropertyPage() = 0;
    /// Asks which lines take proposed types when @p editedLines were edited by hand:
    /// 0 cancels, 1 leaves the edited lines alone, 2 proposes for all lines ("全ての行").
    virtual int askProposalScope(int editedLines) = 0;
    /// Asks 「定義の変更を保存しますか？」 with はい / いいえ / キャンセル.
    enum class SaveAnswer { Save, Discard, Cancel };
    virtual SaveAnswer askSaveChanges() = 0;
    /// Whether there is a step to undo and to redo, for the menu.
    virtual void setUndoState(bool canUndo, bool canRedo) = 0;
    /// A document or definition file was opened or saved: for the recent files.
    virtual void fileUsed(const std::string& path) = 0;
    /// Shows the evidence table (header first), sortable and copyable.
    virtual void showEvidenceTable(const std::vector<std::vector<std::string>>& table) = 0;
    /// Shows what a load did to each table (header first) in a window the user may keep open.
    /// The result of a load, kept in view until the user closes it: @p heading, then
    /// @p table (a header row, then a row per table).
    virtual void showLoadSummary(const std::string& heading,
                                 const std::vector<std::vector<std::string>>& table) = 0;
    /// Shows @p sql read-only, to be copied or saved.
    virtual void showSqlDialog(const std::string& sql) = 0;

    // The type chooser cboFType.
    virtual void setTypeChoices(const std::vector<std::string>& names, int selected) = 0;
    virtual std::string typeChooserText() const = 0;
    virtual void setTypeChooserText(const std::string& text) = 0;
    virtual int typeChooserHeight() const = 0;

    // The grid DataGrid1 and its two overlay editors.
    /// Shows the records in the grid; null shows nothing.
    virtual void bindDefinitionTable(RecordSet* records) = 0;
    virtual GridState gridState() const = 0;
    virtual int gridRowHeight() const = 0;
    virtual void setGridRowHeight(int twips) = 0;
    virtual CellEditors cellEditors() const = 0;
    virtual void setCellEditors(const CellEditors& editors) = 0;
    virtual std::string generateCaption() const = 0;
    virtual void setGenerateCaption(const std::string& caption) = 0;
    virtual void setFocus(EditorFocus target) = 0;
};

}  // namespace quorix
