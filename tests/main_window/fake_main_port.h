#pragma once

#include <functional>

#include "main_window/main_window_port.h"
#include "services/db/record_set.h"
#include "support/fake_port.h"

namespace quorix::test {

/// The main window without widgets: records what the core shows, runs a scripted
/// connection dialog and reports a fixed grid.
class FakeMainPort : public RecordingPort<MainWindowPort> {
public:
    std::string title;
    int dialogShown = 0;
    std::string backgroundLabel;
    std::vector<std::string> shownSql;
    std::optional<AppSettings> stored;  // what the program remembers between runs
    int stores = 0;
    int propertyPageShown = 0;
    std::vector<int> scopeQuestions;
    int scopeAnswer = 1;
    std::vector<std::vector<std::string>> evidence;
    bool cancelWork = false;     // the user stops background work at once
    std::string openDataSource;  // what the last connection dialog was told is open
    /// What the user does in the connection dialog; cancels when not set.
    std::function<void(AppSettings&, int showing)> dialog;
    std::vector<std::string> typeChoices;
    std::string chooserText;
    RecordSet* bound = nullptr;
    int rowHeight = 0;
    CellEditors editors;
    std::string caption;
    EditorFocus focus = EditorFocus::None;
    bool closed = false;
    int busyCursor = 0;
    int busyCursorMax = 0;
    GridState grid;

    FakeMainPort() {
        grid.geometry = {240,
                         1440,
                         8535,
                         3255,
                         {0, 225, 0, 0, 625, 2125, 3625, 4925, 5725},
                         {0, 400, 0, 0, 1500, 1500, 1300, 800, 1500},
                         285,
                         300};
        grid.currentColumn = 5;
        grid.currentCellVisible = true;
    }

    void setWindowTitle(const std::string& t) override { title = t; }

    void showConnectionDialog(AppSettings& settings, const std::string& open) override {
        ++dialogShown;
        openDataSource = open;
        if (dialog) {
            dialog(settings, dialogShown);
        } else {
            settings.putDlgFlg(false);
            settings.putConnStatus(false);
        }
    }
    void closeWindow() override { closed = true; }
    void showSqlDialog(const std::string& sql) override { shownSql.push_back(sql); }
    void loadStoredSettings(AppSettings& s) override {
        if (stored) s = *stored;
    }
    void storeSettings(const AppSettings& s) override {
        stored = s;
        stored->putPassword({});
        ++stores;
    }
    void showPropertyPage() override { ++propertyPageShown; }
    int saveQuestions = 0;
    SaveAnswer saveAnswer = SaveAnswer::Discard;
    SaveAnswer askSaveChanges() override {
        ++saveQuestions;
        return saveAnswer;
    }
    bool canUndo = false, canRedo = false;
    void setUndoState(bool u, bool r) override {
        canUndo = u;
        canRedo = r;
    }
    std::vector<std::string> usedFiles;
    void fileUsed(const std::string& path) override { usedFiles.push_back(path); }
    int askProposalScope(int edited) override {
        scopeQuestions.push_back(edited);
        return scopeAnswer;
    }
    void showEvidenceTable(const std::vector<std::vector<std::string>>& t) override {
        evidence = t;
    }
    std::vector<std::vector<std::string>> loadSummary;
    std::string loadHeading;
    void showLoadSummary(const std::string& heading, const std::vector<std::vector<std::string>>& t) override {
        loadHeading = heading;
        loadSummary = t;
    }
    void runInBackground(const std::string& label, BackgroundWork& state,
                         const std::function<void()>& work) override {
        backgroundLabel = label;
        if (cancelWork) state.cancelRequested = true;
        work();
    }
    void setBusyCursor(bool busy) override {
        busyCursor += busy ? 1 : -1;
        busyCursorMax = std::max(busyCursorMax, busyCursor);
    }
    void setTypeChoices(const std::vector<std::string>& names, int selected) override {
        typeChoices = names;
        chooserText = selected >= 0 ? names[selected] : "";
    }
    std::string typeChooserText() const override { return chooserText; }
    void setTypeChooserText(const std::string& t) override { chooserText = t; }
    int typeChooserHeight() const override { return 330; }
    void bindDefinitionTable(RecordSet* records) override { bound = records; }
    GridState gridState() const override {
        GridState g = grid;
        if (bound) g.currentRowTop = 285 + 300 * std::max(0, bound->currentRow());
        return g;
    }
    int gridRowHeight() const override { return rowHeight; }
    void setGridRowHeight(int twips) override { rowHeight = twips; }
    CellEditors cellEditors() const override { return editors; }
    void setCellEditors(const CellEditors& e) override { editors = e; }
    std::string generateCaption() const override { return caption; }
    void setGenerateCaption(const std::string& c) override { caption = c; }
    void setFocus(EditorFocus target) override { focus = target; }

    WindowLayout layout;
    int layoutsApplied = 0;
    std::vector<int> grown;  // the window's changes of height, in twips
    std::string statusCaption = ">>";
    int xmlDialogs = 0, aboutBoxes = 0;
    void applyLayout(const WindowLayout& l) override {
        layout = l;
        ++layoutsApplied;
    }
    void growWindow(int twips) override { grown.push_back(twips); }
    void setStatusButtonCaption(const std::string& c) override { statusCaption = c; }
    void showXmlTagDialog(AppSettings& s) override {
        ++xmlDialogs;
        if (xmlDialog) xmlDialog(s);
    }
    std::function<void(AppSettings&)> xmlDialog;
    void showAboutBox() override { ++aboutBoxes; }
    std::string programFolder = ".";
    std::vector<std::string> viewed;
    std::string programDir() const override { return programFolder; }
    void openWithViewer(const std::string& viewer, const std::string& file) override {
        viewed.push_back(viewer + " " + file);
    }

    int treeBuilds = 0;
    std::vector<const TreeNode*> removedNodes;
    std::vector<std::string> propertyLines;
    void treeRebuilt() override { ++treeBuilds; }
    void treeNodeAboutToBeRemoved(const TreeNode* node) override { removedNodes.push_back(node); }
    int childrenChanges = 0;
    void treeChildrenChanged(const TreeNode*) override { ++childrenChanges; }
    void showPropertyLines(const std::vector<std::string>& lines) override {
        propertyLines = lines;
    }
};

/// A dialog script that connects to @p path.
inline std::function<void(AppSettings&, int)> connectTo(const std::string& path) {
    return [path](AppSettings& s, int) {
        s.putDBType("access");
        s.putDlgFlg(true);
        s.putConnStatus(true);
        s.putDSN(path);
    };
}

}  // namespace quorix::test
