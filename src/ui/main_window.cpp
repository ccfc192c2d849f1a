#include "ui/main_window.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QFrame>
#include <QGroupBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QSettings>
#include <QTabBar>
#include <QTabWidget>
#include <QTableView>
#include <QTreeWidget>

#include "generation/column_types.h"
#include "ui/definition_table_model.h"
#include "ui/table_rows_page.h"
#include "ui/program_icon.h"
#include "ui/qt_text.h"
#include "ui/twips.h"

namespace quorix {

namespace {

enum class Arrow { Left, Right, Up, Down };

// A black arrow on a transparent 27 x 18 picture.
QIcon arrowIcon(Arrow direction) {
    QPixmap pixmap(27, 18);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::black);
    QPolygonF shape;
    switch (direction) {
        case Arrow::Left:
            shape << QPointF(4, 9) << QPointF(12, 2) << QPointF(12, 6) << QPointF(23, 6)
                  << QPointF(23, 12) << QPointF(12, 12) << QPointF(12, 16);
            break;
        case Arrow::Right:
            shape << QPointF(23, 9) << QPointF(15, 2) << QPointF(15, 6) << QPointF(4, 6)
                  << QPointF(4, 12) << QPointF(15, 12) << QPointF(15, 16);
            break;
        case Arrow::Up:
            shape << QPointF(13.5, 1) << QPointF(21, 9) << QPointF(16.5, 9) << QPointF(16.5, 17)
                  << QPointF(10.5, 17) << QPointF(10.5, 9) << QPointF(6, 9);
            break;
        case Arrow::Down:
            shape << QPointF(13.5, 17) << QPointF(21, 9) << QPointF(16.5, 9) << QPointF(16.5, 1)
                  << QPointF(10.5, 1) << QPointF(10.5, 9) << QPointF(6, 9);
            break;
    }
    p.drawPolygon(shape);
    return QIcon(pixmap);
}

}  // namespace

MainWindow::MainWindow(QWidget* parent) : QMainWindow(parent) {
    setObjectName(QStringLiteral("frmQuorix"));
    QMainWindow::setWindowTitle(QStringLiteral("Quorix"));
    setWindowIcon(programIcon());
    setAcceptDrops(true);
    m_core = std::make_unique<MainWindowCore>(static_cast<MainWindowPort&>(*this));
    buildMenus();
    buildControls();
    bindEvents();
}

MainWindow::~MainWindow() {
    if (m_model) m_model->setRecords(nullptr);
}

// 取り込み方法: one of four, checked as the settings say whenever the menu opens.
void MainWindow::buildLoadModeMenu(QMenu* db) {
    QMenu* modes = db->addMenu(QStringLiteral("取り込み方法(&M)"));
    modes->setObjectName(QStringLiteral("mnuLoadMode"));
    auto* group = new QActionGroup(modes);
    const struct {
        const char* name;
        const char* mode;
        const char* caption;
    } items[] = {
        {"mnuModeInsert", "insert", "追加（同じキーの行があれば止める）(&A)"},
        {"mnuModeSkip", "skip", "既にある行は飛ばす(&S)"},
        {"mnuModeUpdate", "update", "既にある行を更新する(&U)"},
        {"mnuModeReplace", "replace", "表の中身を入れ替える(&R)"},
    };
    for (const auto& item : items) {
        const std::string mode = item.mode;
        QAction* a = modes->addAction(QString::fromUtf8(item.caption));
        a->setObjectName(QLatin1String(item.name));
        a->setCheckable(true);
        a->setData(QString::fromUtf8(item.mode));
        group->addAction(a);
        connect(a, &QAction::triggered, this, [this, mode] { m_core->mnuLoadMode_Click(mode); });
    }
    modes->addSeparator()->setObjectName(QStringLiteral("mnuSepModes"));
    QAction* remember = modes->addAction(QStringLiteral("取り込んだ文書を記録する(&K)"));
    remember->setObjectName(QStringLiteral("mnuRememberDocuments"));
    remember->setCheckable(true);
    connect(remember, &QAction::triggered, this, [this, remember] {
        m_core->mnuRememberDocuments_Click();
        remember->setChecked(m_core->settings().getRemember());
    });
    connect(modes, &QMenu::aboutToShow, this, [this, group, remember] {
        for (QAction* a : group->actions())
            a->setChecked(a->data().toString() == qs(m_core->settings().getLoadMode()));
        remember->setChecked(m_core->settings().getRemember());
    });
}

void MainWindow::buildMenus() {
    auto action = [this](QMenu* menu, const char* name, const char* text, auto slot) {
        QAction* a = menu->addAction(QString::fromUtf8(text));
        a->setObjectName(QLatin1String(name));
        connect(a, &QAction::triggered, this, slot);
        return a;
    };
    auto separator = [](QMenu* menu, const char* name) {
        menu->addSeparator()->setObjectName(QLatin1String(name));
    };
    QMenu* file = menuBar()->addMenu(QStringLiteral("ファイル(&F)"));
    file->setObjectName(QStringLiteral("mnuFile"));
    action(file, "mnuNew", "新規(&N)", [this] { m_core->mnuNew_Click(); });
    action(file, "mnuOpen", "開く(&O)", [this] {
        m_core->mnuOpen_Click();
    })->setShortcut(QKeySequence::Open);
    action(file, "mnuLoadDef", "定義を開く(&L)...", [this] { m_core->mnuLoadDef_Click(); });
    action(file, "mnuSaveDef", "定義を保存(&S)...", [this] {
        m_core->mnuSaveDef_Click();
    })->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S));
    // Ctrl+S saves to the definition's own file once it has one (else asks where, as above);
    // in the menu so that the key is seen where the user looks for it.
    action(file, "mnuSaveDefAgain", "定義を上書き保存(&V)", [this] {
        m_core->mnuSaveDefAgain_Click();
    })->setShortcut(QKeySequence::Save);
    action(file, "mnuExportXML", "XMLに書き出す(&E)...", [this] { m_core->mnuExportXML_Click(); });
    m_mnuRecent = file->addMenu(QStringLiteral("最近使ったファイル(&R)"));
    m_mnuRecent->setObjectName(QStringLiteral("mnuRecent"));
    showRecentFiles();
    separator(file, "mnuSep1");
    action(file, "mnuExit", "終了(&X)", [this] {
        m_core->mnuExit_Click();
    })->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));

    QMenu* edit = menuBar()->addMenu(QStringLiteral("編集(&E)"));
    edit->setObjectName(QStringLiteral("mnuEdit"));
    m_mnuUndo = action(edit, "mnuUndo", "元に戻す(&U)", [this] { m_core->mnuUndo_Click(); });
    m_mnuUndo->setShortcut(QKeySequence::Undo);
    m_mnuRedo = action(edit, "mnuRedo", "やり直し(&R)", [this] { m_core->mnuRedo_Click(); });
    m_mnuRedo->setShortcuts(
        {QKeySequence(Qt::CTRL | Qt::Key_Y), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z)});
    setUndoState(false, false);

    QMenu* db = menuBar()->addMenu(QStringLiteral("データベース(&B)"));
    db->setObjectName(QStringLiteral("mnuDB"));
    action(db, "mnuConnect", "接続(&C)", [this] { m_core->mnuConnect_Click(); });
    separator(db, "mnuSep21");
    action(db, "mnuDBRefresh", "再表示(&R)", [this] {
        m_core->mnuDBRefresh_Click();
    })->setShortcut(QKeySequence(Qt::Key_F5));
    action(db, "mnuShowSql", "SQLを表示(&Q)...", [this] { m_core->mnuShowSql_Click(); });
    action(db, "mnuLoadData", "データを取り込む(&I)...", [this] { m_core->mnuLoadData_Click(); });
    action(db, "mnuLoadDataSkipping", "エラーの行を飛ばして取り込む(&J)...",
           [this] { m_core->mnuLoadDataSkipping_Click(); });
    buildLoadModeMenu(db);

    QMenu* settings = menuBar()->addMenu(QStringLiteral("設定(&S)"));
    settings->setObjectName(QStringLiteral("mnuSettings"));
    action(settings, "mnuXML", "XML(&X)", [this] { m_core->mnuXML_Click(); });
    QAction* attributes = action(settings, "mnuAttributes", "属性も列にする(&A)", [this] {
        m_core->mnuAttributes_Click();
        findChild<QAction*>(QStringLiteral("mnuAttributes"))
            ->setChecked(m_core->settings().getAttributes());
    });
    attributes->setCheckable(true);
    connect(settings, &QMenu::aboutToShow, this,
            [this, attributes] { attributes->setChecked(m_core->settings().getAttributes()); });
    separator(settings, "mnuSep31");
    action(settings, "mnuEvidence", "データの傾向(&E)...", [this] { m_core->mnuEvidence_Click(); });
    action(settings, "mnuProposeTypes", "データから型を提案(&G)",
           [this] { m_core->mnuProposeTypes_Click(); });
    action(settings, "mnuLinkKeys", "入れ子の表をキーで結ぶ(&K)",
           [this] { m_core->mnuLinkKeys_Click(); });
    action(settings, "mnuNameTables", "表名を付ける(&N)",
           [this] { m_core->mnuNameTables_Click(); });

    QMenu* help = menuBar()->addMenu(QStringLiteral("ﾍﾙﾌﾟ(&H)"));
    help->setObjectName(QStringLiteral("mnuHelp"));
    action(help, "mnuAbout", "ﾊﾞｰｼﾞｮﾝ情報(&A)", [this] { m_core->mnuAbout_Click(); });
    action(help, "mnuGuide", "使い方(&U)", [this] { m_core->mnuGuide_Click(); });

    // The table pop-up menu is never in the menu bar.
    m_mnuTbl = new QMenu(QStringLiteral("表操作"), this);
    m_mnuTbl->setObjectName(QStringLiteral("mnuTbl"));
    action(m_mnuTbl, "mnuTblDelete", "削除(&D)", [this] { m_core->mnuTblDelete_Click(); });
}

// The definition grid on the column page, its model, and the editors that float over it.
void MainWindow::buildGrid(const Twips& t) {
    m_grid = new QTableView(m_columnPage);
    m_grid->setObjectName(QStringLiteral("DataGrid1"));
    QRect gridRect = t.toPx(240, 1440, 8535, 3255);
    gridRect.translate(0, -m_tabTop);
    m_grid->setGeometry(gridRect);
    m_grid->setSelectionMode(QAbstractItemView::SingleSelection);
    m_grid->setSelectionBehavior(QAbstractItemView::SelectItems);
    m_grid->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                            QAbstractItemView::AnyKeyPressed);
    m_grid->verticalHeader()->setFixedWidth(t.toPx(225));
    m_grid->verticalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    m_grid->horizontalHeader()->setHighlightSections(false);
    // Qt's default minimum would widen the narrow "生成" column beyond its design width.
    m_grid->horizontalHeader()->setMinimumSectionSize(1);
    m_model = new DefinitionTableModel(this);
    m_model->setLockedColumns({1, 4});
    m_model->setSizeUse(
        [this](const std::string& type) { return typeTakesSize(m_core->openDBType(), type); });
    m_model->setEditHandler([this] { m_core->DataGrid1_AfterColUpdate(); });
    m_model->setErrorHandler([this](const std::string& description) {
        beep();
        setStatus(description);
    });
    m_grid->setModel(m_model);

    m_cmdGen1 = new QPushButton(m_columnPage);
    m_cmdGen1->setObjectName(QStringLiteral("cmdGen1"));
    m_cmdGen1->setAutoDefault(false);
    m_cmdGen1->setAccessibleName(QStringLiteral("生成"));
    m_cboFType = new QComboBox(m_columnPage);
    m_cboFType->setObjectName(QStringLiteral("cboFType"));
    m_cboFType->setEditable(true);
    m_cboFType->setInsertPolicy(QComboBox::NoInsert);
    m_cboFType->setAccessibleName(QStringLiteral("型"));
    m_cboFType->resize(t.toPx(1300 - 22), m_cboFType->sizeHint().height());
    // The wheel over the floating chooser scrolls the grid; only a deliberate choice writes.
    m_cboFType->installEventFilter(this);
}

void MainWindow::buildControls() {
    m_settingUp = true;
    m_client = new QWidget(this);
    m_client->setObjectName(QStringLiteral("client"));
    setCentralWidget(m_client);
    const Twips t = Twips::of(this);
    resize(t.toPx(12390), t.toPx(6645) + menuBar()->sizeHint().height());

    m_frmDB = new QGroupBox(QStringLiteral("データベース情報"), m_client);
    m_frmDB->setObjectName(QStringLiteral("frmDB"));
    m_frmDB->setGeometry(t.toPx(0, 0, 3135, 5775));
    m_tree = new QTreeWidget(m_frmDB);
    m_tree->setObjectName(QStringLiteral("TreeView1"));
    m_tree->setHeaderHidden(true);
    // Long names scroll sideways instead of being cut.
    m_tree->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    m_tree->header()->setStretchLastSection(false);
    // The filter box takes the top of the tree's place.
    m_filter = new QLineEdit(m_frmDB);
    m_filter->setObjectName(QStringLiteral("txtFilter"));
    m_filter->setPlaceholderText(QStringLiteral("表名で絞り込み"));
    m_filter->setAccessibleName(QStringLiteral("表の絞り込み"));
    m_filter->setClearButtonEnabled(true);
    m_filter->setGeometry(t.toPx(0, 360, 3135, 0).x(), t.toPx(0, 360, 0, 0).y(), t.toPx(3135),
                          m_filter->sizeHint().height());
    m_tree->setGeometry(0, m_filter->geometry().bottom() + 1, t.toPx(3135),
                        t.toPx(5775 - 375) - m_filter->height());

    // The bar between the catalog pane and the tab panel; dragging it moves the boundary.
    m_splitter = new QFrame(m_client);
    m_splitter->setObjectName(QStringLiteral("splitDB"));
    m_splitter->setGeometry(t.toPx(3135, 0, kSplitterWidth, 5775));
    m_splitter->setCursor(Qt::SplitHCursor);
    m_splitter->setToolTip(QStringLiteral("ドラッグして幅を変えます"));
    m_splitter->installEventFilter(this);

    m_tabs = new QTabWidget(m_client);
    m_tabs->setObjectName(QStringLiteral("SSTab1"));
    m_tabs->setGeometry(t.toPx(3240, 0, 9015, 5655));
    m_columnPage = new QWidget;
    m_columnPage->setObjectName(QStringLiteral("tabColumns"));
    m_infoPage = new QWidget;
    m_infoPage->setObjectName(QStringLiteral("tabDBInfo"));
    m_tabs->addTab(m_columnPage, QStringLiteral("列の設定"));
    m_tabs->addTab(m_infoPage, QStringLiteral("DB情報"));
    m_rowsPage = new TableRowsPage;
    m_tabs->addTab(m_rowsPage, QStringLiteral("データ"));
    connect(m_rowsPage, &TableRowsPage::counted, this, &MainWindow::tableCounted);
    m_tabTop = m_tabs->tabBar()->sizeHint().height() + 2;

    // Controls of a tab are given in the tab panel's coordinates, tabs included.
    auto button = [&](const char* name, const char* text, int left, int top, int width,
                      int height) {
        auto* b = new QPushButton(QString::fromUtf8(text), m_columnPage);
        b->setObjectName(QLatin1String(name));
        QRect r = t.toPx(left, top, width, height);
        r.translate(0, -m_tabTop);
        b->setGeometry(r);
        b->setAutoDefault(false);
        return b;
    };
    m_cmdOpen = button("cmdOpen", "XMLを開く(&O)", 240, 480, 1215, 375);
    m_cmdLeft = button("cmdLeft", "", 240, 960, 375, 375);
    m_cmdRight = button("cmdRight", "", 720, 960, 375, 375);
    m_cmdUp = button("cmdUp", "", 1200, 960, 375, 375);
    m_cmdDown = button("cmdDown", "", 1680, 960, 375, 375);
    const std::pair<QPushButton*, std::pair<Arrow, const char*>> arrows[] = {
        {m_cmdLeft, {Arrow::Left, "左へ（レベルを下げる）"}},
        {m_cmdRight, {Arrow::Right, "右へ（レベルを上げる）"}},
        {m_cmdUp, {Arrow::Up, "上へ移動"}},
        {m_cmdDown, {Arrow::Down, "下へ移動"}}};
    for (const auto& [b, spec] : arrows) {
        b->setIcon(arrowIcon(spec.first));
        b->setIconSize(QSize(27, 18));
        b->setToolTip(QString::fromUtf8(spec.second));
        b->setAccessibleName(QString::fromUtf8(spec.second));
    }
    m_cmdInsert = button("cmdInsert", "挿入(&I)", 2280, 960, 855, 375);
    m_cmdAppend = button("cmdAppend", "追加(&A)", 3240, 960, 855, 375);
    m_cmdDelete = button("cmdDelete", "削除(&D)", 4200, 960, 855, 375);

    buildGrid(t);

    m_cmdDBConnect = button("cmdDBConnect", "DB接続", 240, 4800, 1335, 615);
    m_cmdCreate = button("cmdCreate", "作成(&T)", 1680, 4800, 1335, 615);

    m_picture = new QPlainTextEdit(m_infoPage);
    m_picture->setObjectName(QStringLiteral("Picture1"));
    m_picture->setReadOnly(true);
    m_picture->setLineWrapMode(QPlainTextEdit::NoWrap);
    QRect pictureRect = t.toPx(120, 480, 9015 - 240, 5655 - 600);
    pictureRect.translate(0, -m_tabTop);
    m_picture->setGeometry(pictureRect);

    m_lineStatus = new QFrame(m_client);
    m_lineStatus->setObjectName(QStringLiteral("lineStatus"));
    m_lineStatus->setFrameShape(QFrame::HLine);
    m_lineStatus->setFrameShadow(QFrame::Sunken);
    m_lineStatus->setGeometry(t.toPx(0, 6360 - 150, 12390, 15));
    m_lblStatus = new QLabel(m_client);
    m_lblStatus->setObjectName(QStringLiteral("lblStatus"));
    m_lblStatus->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_lblStatus->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_lblStatus->setGeometry(t.toPx(0, 6360, 9615, 255));
    m_cmdStatus = new QPushButton(QStringLiteral(">>"), m_client);
    m_cmdStatus->setObjectName(QStringLiteral("cmdStatus"));
    m_cmdStatus->setToolTip(QStringLiteral("ステータス行の表示を広げる・狭める"));
    m_cmdStatus->setAccessibleName(QStringLiteral("ステータス行の表示の切り替え"));
    m_cmdStatus->setGeometry(t.toPx(9720, 6360, 495, 255));

    setTabOrder(m_cmdOpen, m_cmdLeft);
    setTabOrder(m_cmdLeft, m_cmdRight);
    setTabOrder(m_cmdRight, m_cmdUp);
    setTabOrder(m_cmdUp, m_cmdDown);
    setTabOrder(m_cmdDown, m_cmdInsert);
    setTabOrder(m_cmdInsert, m_cmdAppend);
    setTabOrder(m_cmdAppend, m_cmdDelete);
    setTabOrder(m_cmdDelete, m_grid);
    setTabOrder(m_grid, m_cmdDBConnect);
    setTabOrder(m_cmdDBConnect, m_cmdCreate);
    m_settingUp = false;
    m_built = true;
}

void MainWindow::bindEvents() {
    MainWindowCore& c = *m_core;
    connect(m_cmdOpen, &QPushButton::clicked, this, [&c] { c.cmdOpen_Click(); });
    connect(m_cmdUp, &QPushButton::clicked, this, [&c] { c.cmdUp_Click(); });
    connect(m_cmdDown, &QPushButton::clicked, this, [&c] { c.cmdDown_Click(); });
    connect(m_cmdLeft, &QPushButton::clicked, this, [&c] { c.cmdLeft_Click(); });
    connect(m_cmdRight, &QPushButton::clicked, this, [&c] { c.cmdRight_Click(); });
    connect(m_cmdInsert, &QPushButton::clicked, this, [&c] { c.cmdInsert_Click(); });
    connect(m_cmdAppend, &QPushButton::clicked, this, [&c] { c.cmdAppend_Click(); });
    connect(m_cmdDelete, &QPushButton::clicked, this, [&c] { c.cmdDelete_Click(); });
    connect(m_cmdGen1, &QPushButton::clicked, this, [&c] { c.cmdGen1_Click(); });
    connect(m_cboFType, qOverload<int>(&QComboBox::activated), this,
            [&c](int) { c.cboFType_Click(); });
    connect(m_cmdDBConnect, &QPushButton::clicked, this, [&c] { c.cmdDBConnect_Click(); });
    connect(m_cmdCreate, &QPushButton::clicked, this, [&c] { c.cmdCreate_Click(); });
    connect(m_cmdStatus, &QPushButton::clicked, this, [&c] { c.cmdStatus_Click(); });
    connect(m_tree, &QTreeWidget::itemExpanded, this, [&c](QTreeWidgetItem* item) {
        c.TreeView1_Expand(static_cast<TreeNode*>(item->data(0, Qt::UserRole).value<void*>()));
    });
    connect(m_filter, &QLineEdit::textChanged, this, [this] { applyTreeFilter(); });
    connect(m_tree, &QTreeWidget::itemClicked, this, [&c](QTreeWidgetItem* item) {
        c.TreeView1_NodeClick(static_cast<TreeNode*>(item->data(0, Qt::UserRole).value<void*>()));
    });
    // Enter (or a double click) on a table opens its rows.
    connect(m_tree, &QTreeWidget::itemActivated, this, [this, &c](QTreeWidgetItem* item) {
        c.TreeView1_NodeClick(static_cast<TreeNode*>(item->data(0, Qt::UserRole).value<void*>()));
        if (m_rowsPage->showsTable()) m_tabs->setCurrentWidget(m_rowsPage);
    });
    m_tree->installEventFilter(this);
    m_tree->viewport()->installEventFilter(this);

    connect(m_model, &DefinitionTableModel::currentRecordChanged, this, &MainWindow::followCursor);
    connect(m_grid->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& current) {
                if (!m_syncing && current.isValid() && m_model->records()) {
                    m_syncing = true;
                    m_model->records()->setCurrentRow(current.row());
                    m_syncing = false;
                }
                m_core->DataGrid1_RowColChange();
            });
    connect(m_grid->horizontalScrollBar(), &QScrollBar::valueChanged, this,
            [this] { m_core->DataGrid1_Scroll(); });
    connect(m_grid->verticalScrollBar(), &QScrollBar::valueChanged, this,
            [this] { m_core->DataGrid1_Scroll(); });
    connect(m_grid->horizontalHeader(), &QHeaderView::sectionResized, this, [this](int column) {
        if (m_settingUp) return;
        columnResized(column);
        m_core->DataGrid1_ColResize();
    });
    connect(m_grid->verticalHeader(), &QHeaderView::sectionResized, this,
            [this](int, int, int newSize) {
                if (m_settingUp) return;
                // The grid has one row height for all its rows.
                m_settingUp = true;
                m_grid->verticalHeader()->setDefaultSectionSize(newSize);
                m_grid->verticalHeader()->reset();
                m_settingUp = false;
                m_core->DataGrid1_RowResize();
            });
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_splitter) {
        auto* mouse = static_cast<QMouseEvent*>(event);
        switch (event->type()) {
            case QEvent::MouseButtonPress:
                if (mouse->button() == Qt::LeftButton)
                    m_splitterGrab = mouse->position().toPoint().x();
                return true;
            case QEvent::MouseMove:
                if (m_splitterGrab >= 0) {
                    const int x =
                        m_splitter->mapToParent(mouse->position().toPoint()).x() - m_splitterGrab;
                    m_core->SplitterMoved(Twips::of(this).toTwips(x));
                }
                return true;
            case QEvent::MouseButtonRelease:
                m_splitterGrab = -1;
                return true;
            default:
                break;
        }
    }
    if (watched == m_cboFType && event->type() == QEvent::Wheel) {
        QApplication::sendEvent(m_grid->viewport(), event);
        return true;
    }
    if (watched == m_tree && event->type() == QEvent::KeyPress) {
        // Keys are mapped by meaning: only Delete has a code the browser acts on.
        const int key = static_cast<QKeyEvent*>(event)->key();
        const int code = key == Qt::Key_Delete ? CatalogBrowser::kDeleteKey : 0;
        m_core->TreeView1_KeyDown(code, 0);
        if (key == Qt::Key_Delete) return true;
    } else if (watched == m_tree->viewport() && event->type() == QEvent::MouseButtonPress) {
        auto* mouse = static_cast<QMouseEvent*>(event);
        int button = 0;
        if (mouse->buttons() & Qt::LeftButton) button |= 1;
        if (mouse->buttons() & Qt::RightButton) button |= CatalogBrowser::kRightButton;
        if (mouse->buttons() & Qt::MiddleButton) button |= 4;
        if (m_core->TreeView1_MouseDown(button)) {
            m_mnuTbl->popup(mouse->globalPosition().toPoint());
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void MainWindow::followCursor(int row) {
    if (m_syncing) return;
    m_syncing = true;
    if (row < 0) {
        m_grid->selectionModel()->clearCurrentIndex();
    } else {
        int column = m_grid->currentIndex().isValid() ? m_grid->currentIndex().column() : 1;
        const QModelIndex target = m_model->index(row, column);
        m_grid->selectionModel()->setCurrentIndex(target, QItemSelectionModel::ClearAndSelect);
    }
    m_syncing = false;
}

void MainWindow::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    relayout();
}

void MainWindow::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    // Restoring from the minimised state runs the rules again.
    if (event->type() == QEvent::WindowStateChange) relayout();
}

void MainWindow::relayout() {
    if (!m_built) return;
    const Twips t = Twips::of(this);
    m_core->Form_Resize(t.toTwips(frameGeometry().width()), t.toTwips(m_client->height()),
                        isMinimized());
}

void MainWindow::applyLayout(const WindowLayout& l) {
    const Twips t = Twips::of(this);
    m_tabs->setGeometry(t.toPx(l.tabLeft, l.tabTop, l.tabWidth, l.tabHeight));
    QRect grid = t.toPx(l.gridLeft, l.gridTop, l.gridWidth, l.gridHeight);
    grid.translate(0, -m_tabTop);
    m_grid->setGeometry(grid);
    for (QPushButton* b : {m_cmdDBConnect, m_cmdCreate})
        b->move(b->x(), t.toPx(l.buttonRowTop) - m_tabTop);
    m_picture->resize(m_infoPage->width() - t.toPx(240), std::max(0, t.toPx(l.tabHeight - 600)));
    m_frmDB->resize(t.toPx(l.frameWidth), t.toPx(l.frameHeight));
    m_filter->resize(t.toPx(l.frameWidth), m_filter->height());
    m_tree->resize(t.toPx(l.frameWidth), std::max(0, t.toPx(l.treeHeight) - m_filter->height()));
    m_splitter->setGeometry(t.toPx(l.frameWidth), 0, t.toPx(l.tabLeft - l.frameWidth),
                            t.toPx(l.frameHeight));
    m_lineStatus->setGeometry(0, t.toPx(l.lineY), t.toPx(l.lineX2), m_lineStatus->height());
    m_lblStatus->setGeometry(0, t.toPx(l.statusTop), std::max(0, t.toPx(l.statusWidth)),
                             t.toPx(l.statusHeight));
    m_cmdStatus->move(t.toPx(l.statusButtonLeft), t.toPx(l.statusButtonTop));
}

void MainWindow::growWindow(int twips) {
    // A maximised or full-screen window keeps its size: the panel takes its room inside.
    if (isMaximized() || isFullScreen()) return;
    const Twips t = Twips::of(this);
    if (twips < 0) {
        resize(width(), std::max(1, height() - m_statusGrowth));
        m_statusGrowth = 0;
        return;
    }
    const QRect frame = frameGeometry();
    const QRect free = screen() ? screen()->availableGeometry() : QRect(frame.topLeft(), QSize(frame.width(), 1 << 20));
    const Growth g = growWithinScreen(frame.top(), frame.bottom(), t.toPx(twips), free.top(), free.bottom());
    if (g.top != frame.top()) move(x(), y() - (frame.top() - g.top));
    resize(width(), height() + g.grown);
    m_statusGrowth = g.grown;
}

void MainWindow::setStatusButtonCaption(const std::string& caption) {
    m_cmdStatus->setText(qs(caption));
}

MainWindowCore::StartResult MainWindow::start() {
    loadColumnWidths();  // before the first lines are shown
    const auto result = m_core->Form_Load();
    if (result != MainWindowCore::StartResult::Started) return result;
    // Where the user left the window and the boundary of the catalog pane.
    QSettings stored(settingsFile(), QSettings::IniFormat);
    restoreGeometry(stored.value(QStringLiteral("window/geometry")).toByteArray());
    show();
    bool ok = false;
    const int frameWidth = stored.value(QStringLiteral("window/frameWidth")).toInt(&ok);
    if (ok && frameWidth > 0) {
        relayout();
        m_core->SplitterMoved(frameWidth);
    }
    return result;
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (!m_unloaded) {
        if (!m_core->Form_QueryUnload()) {
            event->ignore();
            return;
        }
        if (isVisible()) {
            QSettings stored(settingsFile(), QSettings::IniFormat);
            stored.setValue(QStringLiteral("window/geometry"), saveGeometry());
            stored.setValue(QStringLiteral("window/frameWidth"), m_core->windowLayout().frameWidth);
        }
        m_unloaded = true;
        m_core->Form_Unload();
    }
    event->accept();
}

// --- MainWindowPort ---

void MainWindow::setStatus(const std::string& text) {
    m_lblStatus->setText(display(text));
}

std::string MainWindow::status() const {
    return ss(m_lblStatus->text().replace(QStringLiteral("\n"), QStringLiteral("\r\n")));
}

void MainWindow::setWindowTitle(const std::string& title) {
    QMainWindow::setWindowTitle(qs(title));
}

MainWindowPort::SaveAnswer MainWindow::askSaveChanges() {
    QMessageBox box(QMessageBox::Question, QStringLiteral("Quorix"),
                    QStringLiteral("定義の変更を保存しますか？"), QMessageBox::NoButton, this);
    box.setObjectName(QStringLiteral("questionBox"));
    QPushButton* save = box.addButton(QStringLiteral("はい(&Y)"), QMessageBox::YesRole);
    save->setObjectName(QStringLiteral("cmdSaveChanges"));
    QPushButton* discard = box.addButton(QStringLiteral("いいえ(&N)"), QMessageBox::NoRole);
    discard->setObjectName(QStringLiteral("cmdDiscardChanges"));
    box.addButton(QStringLiteral("キャンセル"), QMessageBox::RejectRole)
        ->setObjectName(QStringLiteral("cmdCancel"));
    box.setDefaultButton(save);
    box.exec();
    if (box.clickedButton() == save) return SaveAnswer::Save;
    if (box.clickedButton() == discard) return SaveAnswer::Discard;
    return SaveAnswer::Cancel;
}

void MainWindow::setUndoState(bool canUndo, bool canRedo) {
    m_mnuUndo->setEnabled(canUndo);
    m_mnuRedo->setEnabled(canRedo);
}

void MainWindow::closeWindow() {
    close();
}

void MainWindow::setBusyCursor(bool busy) {
    if (busy)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QApplication::restoreOverrideCursor();
}

}  // namespace quorix
