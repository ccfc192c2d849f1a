#include "ui/main_window.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QFrame>
#include <QGroupBox>
#include <QHash>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPointer>
#include <QProcess>
#include <QProgressDialog>
#include <QPushButton>
#include <QScrollBar>
#include <QSettings>
#include <QStandardPaths>
#include <QTabBar>
#include <QTabWidget>
#include <QTableView>
#include <QTimer>
#include <QTreeWidget>
#include <atomic>
#include <thread>

#include "generation/column_types.h"
#include "ui/about_box.h"
#include "ui/connect_dialog_widget.h"
#include "ui/definition_table_model.h"
#include "ui/dialogs.h"
#include "ui/evidence_dialog.h"
#include "ui/program_icon.h"
#include "ui/qt_text.h"
#include "ui/sql_dialog_widget.h"
#include "ui/twips.h"
#include "ui/xml_tag_dialog_widget.h"

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
    // Ctrl+S saves to the definition's own file once it has one, without a menu entry.
    auto* saveAgain = new QAction(this);
    saveAgain->setObjectName(QStringLiteral("mnuSaveDefAgain"));
    saveAgain->setShortcut(QKeySequence::Save);
    connect(saveAgain, &QAction::triggered, this, [this] { m_core->mnuSaveDefAgain_Click(); });
    addAction(saveAgain);
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
    action(settings, "mnuNameTables", "表名を付ける(&N)", [this] { m_core->mnuNameTables_Click(); });

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
    connect(m_grid->horizontalHeader(), &QHeaderView::sectionResized, this, [this] {
        if (!m_settingUp) m_core->DataGrid1_ColResize();
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

void MainWindow::setWindowOuterHeight(int twips) {
    const Twips t = Twips::of(this);
    // The title bar belongs to the outer height but not to the widget's own height.
    const int titleBar = std::max(0, frameGeometry().height() - geometry().height());
    resize(width(), std::max(1, t.toPx(twips) - titleBar));
}

void MainWindow::setStatusButtonCaption(const std::string& caption) {
    m_cmdStatus->setText(qs(caption));
}

void MainWindow::showXmlTagDialog(AppSettings& settings) {
    XmlTagDialogWidget dialog(settings, this);
    dialog.exec();
}

namespace {

// Remembered between runs, under the user's configuration folder.
QString settingsFile() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/Quorix/quorix.ini");
}

}  // namespace

void MainWindow::loadStoredSettings(AppSettings& settings) {
    QSettings stored(settingsFile(), QSettings::IniFormat);
    auto load = [&](const char* key, void (AppSettings::*put)(const std::string&)) {
        const QString value = stored.value(QLatin1String(key)).toString();
        if (!value.isEmpty()) (settings.*put)(ss(value));
    };
    load("connection/dbType", &AppSettings::putDBType);
    load("connection/dataSource", &AppSettings::putDSN);
    load("connection/user", &AppSettings::putUser);
    load("xml/rowset", &AppSettings::putRowset);
    load("xml/row", &AppSettings::putRow);
    settings.putAttributes(stored.value(QStringLiteral("xml/attributes"), false).toBool());
}

void MainWindow::storeSettings(const AppSettings& settings) {
    QSettings stored(settingsFile(), QSettings::IniFormat);
    stored.setValue(QStringLiteral("connection/dbType"), qs(settings.getDBType()));
    stored.setValue(QStringLiteral("connection/dataSource"), qs(settings.getDSN()));
    stored.setValue(QStringLiteral("connection/user"), qs(settings.getUser()));
    stored.setValue(QStringLiteral("xml/rowset"), qs(settings.getRowset()));
    stored.setValue(QStringLiteral("xml/row"), qs(settings.getRow()));
    stored.setValue(QStringLiteral("xml/attributes"), settings.getAttributes());
}

void MainWindow::showPropertyPage() {
    m_tabs->setCurrentWidget(m_infoPage);
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
    const auto urls = event->mimeData()->urls();
    if (urls.size() == 1 && urls.front().isLocalFile()) event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent* event) {
    const auto urls = event->mimeData()->urls();
    if (urls.size() != 1 || !urls.front().isLocalFile()) return;
    event->acceptProposedAction();
    const std::string path = ss(urls.front().toLocalFile());
    // After the drop has finished: the open may show a progress dialog.
    QTimer::singleShot(0, this, [this, path] { m_core->OpenGivenFile(path); });
}

int MainWindow::askProposalScope(int editedLines) {
    QMessageBox box(QMessageBox::Question, QStringLiteral("型の提案"),
                    QStringLiteral("型や桁数を手で変更した行が%1行あります。\n"
                                   "その行にも提案しますか？")
                        .arg(editedLines),
                    QMessageBox::NoButton, this);
    box.setObjectName(QStringLiteral("questionBox"));
    QPushButton* all = box.addButton(QStringLiteral("全ての行"), QMessageBox::YesRole);
    all->setObjectName(QStringLiteral("cmdAllLines"));
    QPushButton* untouched =
        box.addButton(QStringLiteral("変更していない行だけ"), QMessageBox::NoRole);
    untouched->setObjectName(QStringLiteral("cmdUntouchedLines"));
    box.addButton(QStringLiteral("キャンセル"), QMessageBox::RejectRole);
    box.setDefaultButton(untouched);
    box.exec();
    if (box.clickedButton() == all) return 2;
    if (box.clickedButton() == untouched) return 1;
    return 0;
}

void MainWindow::showEvidenceTable(const std::vector<std::vector<std::string>>& table) {
    EvidenceDialog dialog(table, this);
    dialog.exec();
}

void MainWindow::showSqlDialog(const std::string& sql) {
    SqlDialogWidget dialog(sql, this);
    dialog.exec();
}

void MainWindow::showAboutBox() {
    AboutBox box(this);
    box.exec();
}

std::string MainWindow::programDir() const {
    return QCoreApplication::applicationDirPath().toStdString();
}

void MainWindow::openWithViewer(const std::string& viewer, const std::string& file) {
    // Without a parent: a viewer that keeps running outlives the window.
    auto* process = new QProcess;
    const QPointer<MainWindow> window(this);
    const auto failed = [process, window, file] {
        process->deleteLater();
        if (window) window->m_core->guideNotOpened(file);
    };
    connect(process, &QProcess::finished, process,
            [process, failed](int exitCode, QProcess::ExitStatus status) {
                if (status != QProcess::NormalExit || exitCode != 0) return failed();
                process->deleteLater();
            });
    connect(process, &QProcess::errorOccurred, process, [failed](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart) failed();
    });
    process->start(qs(viewer), {qs(file)});
}

MainWindowCore::StartResult MainWindow::start() {
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
    QPushButton* save = box.addButton(QStringLiteral("はい"), QMessageBox::YesRole);
    save->setObjectName(QStringLiteral("cmdSaveChanges"));
    QPushButton* discard = box.addButton(QStringLiteral("いいえ"), QMessageBox::NoRole);
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

namespace {

constexpr int kRecentFiles = 8;

}  // namespace

void MainWindow::fileUsed(const std::string& path) {
    QSettings stored(settingsFile(), QSettings::IniFormat);
    QStringList files = stored.value(QStringLiteral("recent/files")).toStringList();
    const QString file = QFileInfo(qs(path)).absoluteFilePath();
    files.removeAll(file);
    files.prepend(file);
    while (files.size() > kRecentFiles) files.removeLast();
    stored.setValue(QStringLiteral("recent/files"), files);
    showRecentFiles();
}

void MainWindow::showRecentFiles() {
    m_mnuRecent->clear();
    const QStringList files = QSettings(settingsFile(), QSettings::IniFormat)
                                  .value(QStringLiteral("recent/files"))
                                  .toStringList();
    for (int i = 0; i < files.size(); ++i) {
        // "&1 name" for the keyboard; the full path in the tooltip.
        QAction* a = m_mnuRecent->addAction(
            QStringLiteral("&%1 %2").arg(i + 1).arg(QFileInfo(files[i]).fileName()));
        a->setObjectName(QStringLiteral("mnuRecent%1").arg(i + 1));
        a->setToolTip(files[i]);
        a->setData(files[i]);
        connect(a, &QAction::triggered, this,
                [this, file = files[i]] { m_core->OpenGivenFile(ss(file)); });
    }
    m_mnuRecent->setToolTipsVisible(true);
    m_mnuRecent->setEnabled(!files.isEmpty());
}

void MainWindow::showConnectionDialog(AppSettings& settings, const std::string& openDataSource) {
    ConnectDialogWidget dialog(settings, this, openDataSource);
    dialog.exec();
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

namespace {

// Swallows the user's input everywhere but in one dialog (and nowhere while there is none),
// closing the window included: background work finishes or is cancelled first.
class InputBlocker : public QObject {
public:
    QWidget* allowed = nullptr;

    bool eventFilter(QObject* watched, QEvent* event) override {
        switch (event->type()) {
            case QEvent::MouseButtonPress:
            case QEvent::MouseButtonRelease:
            case QEvent::MouseButtonDblClick:
            case QEvent::KeyPress:
            case QEvent::KeyRelease:
            case QEvent::Wheel:
            case QEvent::Shortcut:
            case QEvent::ShortcutOverride:
            case QEvent::Close: {
                auto* w = qobject_cast<QWidget*>(watched);
                return !(allowed && w && (w == allowed || allowed->isAncestorOf(w)));
            }
            default:
                return false;
        }
    }
};

}  // namespace

void MainWindow::runInBackground(const std::string& label, BackgroundWork& state,
                                 const std::function<void()>& work) {
    std::atomic<bool> finished{false};
    std::thread worker([&] {
        work();
        finished = true;
    });
    InputBlocker blocker;
    qApp->installEventFilter(&blocker);
    QProgressDialog* dialog = nullptr;
    QElapsedTimer clock;
    clock.start();
    QEventLoop loop;
    QTimer poll;
    poll.setInterval(15);
    connect(&poll, &QTimer::timeout, this, [&] {
        if (finished) {
            loop.quit();
            return;
        }
        if (!dialog && clock.elapsed() >= m_progressDelay) {
            dialog = new QProgressDialog(qs(label), QStringLiteral("キャンセル"), 0, 1000, this);
            dialog->setObjectName(QStringLiteral("dlgProgress"));
            dialog->setWindowTitle(QStringLiteral("Quorix"));
            dialog->setWindowModality(Qt::WindowModal);
            dialog->setMinimumDuration(0);
            dialog->setAutoReset(false);
            dialog->setAutoClose(false);
            if (state.cancellable)
                connect(dialog, &QProgressDialog::canceled, this,
                        [&state] { state.cancelRequested = true; });
            else
                dialog->setCancelButton(nullptr);
            blocker.allowed = dialog;
            dialog->show();
        }
        if (dialog) {
            // Work that cannot say how far it is shows a moving bar.
            const std::uint64_t total = state.total;
            dialog->setMaximum(total ? 1000 : 0);
            dialog->setValue(total ? static_cast<int>(state.done * 1000 / total) : 0);
        }
    });
    poll.start();
    loop.exec();
    worker.join();
    qApp->removeEventFilter(&blocker);
    delete dialog;
}

void MainWindow::setTypeChoices(const std::vector<std::string>& names, int selected) {
    m_cboFType->clear();
    for (const auto& n : names) m_cboFType->addItem(qs(n));
    m_cboFType->setCurrentIndex(selected);
    if (selected < 0) m_cboFType->setEditText(QString());
}

std::string MainWindow::typeChooserText() const {
    return ss(m_cboFType->currentText());
}

void MainWindow::setTypeChooserText(const std::string& text) {
    const int i = m_cboFType->findText(qs(text));
    if (i >= 0) m_cboFType->setCurrentIndex(i);
    m_cboFType->setEditText(qs(text));
}

int MainWindow::typeChooserHeight() const {
    return Twips::of(this).toTwips(m_cboFType->height());
}

void MainWindow::bindDefinitionTable(RecordSet* records) {
    m_settingUp = true;
    m_model->setRecords(records);
    const Twips t = Twips::of(this);
    if (records) {
        for (int i = 0; i < static_cast<int>(kGridColumns.size()); ++i) {
            if (kGridColumns[i].width == 0) {
                m_grid->hideColumn(i);
            } else {
                m_grid->showColumn(i);
                m_grid->setColumnWidth(i, t.toPx(kGridColumns[i].width));
            }
        }
    }
    m_settingUp = false;
    followCursor(records ? records->currentRow() : -1);
}

GridState MainWindow::gridState() const {
    const Twips t = Twips::of(this);
    GridState s;
    const QRect g = m_grid->geometry();
    s.geometry.left = t.toTwips(g.x());
    s.geometry.top = t.toTwips(g.y() + m_tabTop);
    s.geometry.width = t.toTwips(g.width());
    s.geometry.height = t.toTwips(g.height());
    // Cell positions relative to the grid's own edge: frame, record selector, headers.
    const QPoint origin = m_grid->viewport()->mapTo(m_grid, QPoint(0, 0));
    const int columns = m_model->columnCount();
    const QHeaderView* h = m_grid->horizontalHeader();
    for (int i = 0; i < columns; ++i) {
        const int pos = h->sectionViewportPosition(i);
        const bool shown =
            !m_grid->isColumnHidden(i) && pos >= 0 && pos < m_grid->viewport()->width();
        s.geometry.columnLefts.push_back(shown ? t.toTwips(origin.x() + pos) : 0);
        s.geometry.columnWidths.push_back(m_grid->isColumnHidden(i) ? 0
                                                                    : t.toTwips(h->sectionSize(i)));
    }
    if (columns == 0) {
        for (const auto& c : kGridColumns) {
            s.geometry.columnLefts.push_back(0);
            s.geometry.columnWidths.push_back(c.width);
        }
    }
    s.geometry.rowHeight = t.toTwips(m_grid->verticalHeader()->defaultSectionSize());
    s.geometry.firstRowTop = t.toTwips(origin.y());
    const QModelIndex current = m_grid->currentIndex();
    s.currentColumn = current.isValid() ? current.column() : -1;
    if (current.isValid()) {
        const QRect cell = m_grid->visualRect(current);
        s.currentRowTop = t.toTwips(origin.y() + cell.y());
        s.currentCellVisible = m_grid->viewport()->rect().contains(cell.topLeft()) &&
                               cell.bottom() <= m_grid->viewport()->height();
    }
    s.visible = m_grid->isVisibleTo(m_tabs);
    return s;
}

int MainWindow::gridRowHeight() const {
    return Twips::of(this).toTwips(m_grid->verticalHeader()->defaultSectionSize());
}

void MainWindow::setGridRowHeight(int twips) {
    m_settingUp = true;
    m_grid->verticalHeader()->setMinimumSectionSize(1);
    m_grid->verticalHeader()->setDefaultSectionSize(Twips::of(this).toPx(twips));
    m_settingUp = false;
}

CellEditors MainWindow::cellEditors() const {
    const Twips t = Twips::of(this);
    CellEditors e;
    QRect b = m_cmdGen1->geometry();
    b.translate(0, m_tabTop);
    QRect c = m_cboFType->geometry();
    c.translate(0, m_tabTop);
    e.generateButton = t.toTwips(b);
    e.typeChooser = t.toTwips(c);
    // A hidden editor reports exactly where it was put.
    if (m_cmdGen1->x() <= t.toPx(kHiddenLeft) + 1) e.generateButton.left = kHiddenLeft;
    if (m_cboFType->x() <= t.toPx(kHiddenLeft) + 1) e.typeChooser.left = kHiddenLeft;
    return e;
}

void MainWindow::setCellEditors(const CellEditors& editors) {
    const Twips t = Twips::of(this);
    QRect b = t.toPx(editors.generateButton);
    b.translate(0, -m_tabTop);
    QRect c = t.toPx(editors.typeChooser);
    c.translate(0, -m_tabTop);
    m_cmdGen1->setGeometry(b.normalized());
    m_cboFType->setGeometry(c.x(), c.y(), std::max(0, c.width()), m_cboFType->height());
    m_cmdGen1->raise();
    m_cboFType->raise();
}

std::string MainWindow::generateCaption() const {
    return ss(m_cmdGen1->text());
}

void MainWindow::setGenerateCaption(const std::string& caption) {
    m_cmdGen1->setText(qs(caption));
}

void MainWindow::setFocus(EditorFocus target) {
    switch (target) {
        case EditorFocus::GenerateButton:
            m_cmdGen1->setFocus();
            break;
        case EditorFocus::TypeChooser:
            m_cboFType->setFocus();
            break;
        case EditorFocus::Grid:
            if (m_grid->isVisible()) m_grid->setFocus();
            break;
        case EditorFocus::None:
            break;
    }
}

QTreeWidgetItem* MainWindow::makeTreeItem(const TreeNode* top) {
    // Iteratively, so that a large catalog cannot exhaust the stack.
    auto itemOf = [this](const TreeNode* node) {
        auto* item = new QTreeWidgetItem(QStringList(qs(node->text)));
        item->setData(0, Qt::UserRole,
                      QVariant::fromValue(static_cast<void*>(const_cast<TreeNode*>(node))));
        // A node whose children are not read yet shows its expander all the same.
        if (node->pending) item->setChildIndicatorPolicy(QTreeWidgetItem::ShowIndicator);
        m_treeItems.insert(node, item);
        return item;
    };
    QTreeWidgetItem* topItem = itemOf(top);
    std::vector<std::pair<const TreeNode*, QTreeWidgetItem*>> pending{{top, topItem}};
    while (!pending.empty()) {
        auto [node, item] = pending.back();
        pending.pop_back();
        QList<QTreeWidgetItem*> children;
        children.reserve(static_cast<int>(node->children.size()));
        for (const auto& child : node->children) {
            QTreeWidgetItem* c = itemOf(child.get());
            children << c;
            pending.emplace_back(child.get(), c);
        }
        item->addChildren(children);
    }
    return topItem;
}

void MainWindow::forgetTreeItem(QTreeWidgetItem* item) {
    std::vector<QTreeWidgetItem*> pending{item};
    while (!pending.empty()) {
        QTreeWidgetItem* i = pending.back();
        pending.pop_back();
        m_treeItems.remove(static_cast<const TreeNode*>(i->data(0, Qt::UserRole).value<void*>()));
        for (int k = 0; k < i->childCount(); ++k) pending.push_back(i->child(k));
    }
}

void MainWindow::treeRebuilt() {
    m_tree->clear();
    m_treeItems.clear();
    const TreeNode* root = m_core->browser().root();
    if (!root) return;
    QTreeWidgetItem* rootItem = makeTreeItem(root);
    m_tree->addTopLevelItem(rootItem);
    rootItem->setExpanded(root->expanded);
    applyTreeFilter();
}

void MainWindow::treeChildrenChanged(const TreeNode* node) {
    QTreeWidgetItem* item = m_treeItems.value(node);
    if (!item) return;
    // Items of nodes that stayed are kept (and what was open below them); the rest go.
    QHash<const TreeNode*, QTreeWidgetItem*> kept;
    for (QTreeWidgetItem* child : item->takeChildren()) {
        const auto* n = static_cast<const TreeNode*>(child->data(0, Qt::UserRole).value<void*>());
        kept.insert(n, child);
    }
    QList<QTreeWidgetItem*> children;
    for (const auto& child : node->children) {
        QTreeWidgetItem* c = kept.take(child.get());
        children << (c ? c : makeTreeItem(child.get()));
    }
    for (QTreeWidgetItem* gone : kept) {
        forgetTreeItem(gone);
        delete gone;
    }
    item->setChildIndicatorPolicy(QTreeWidgetItem::DontShowIndicatorWhenChildless);
    item->addChildren(children);
    applyTreeFilter();
}

void MainWindow::applyTreeFilter() {
    const QTreeWidgetItem* root = m_tree->topLevelItem(0);
    const TreeNode* rootNode = m_core->browser().root();
    if (!root || !rootNode || rootNode->children.empty()) return;
    QTreeWidgetItem* tables = m_treeItems.value(rootNode->children.front().get());
    if (!tables) return;
    const QString text = m_filter->text().trimmed();
    for (int i = 0; i < tables->childCount(); ++i) {
        QTreeWidgetItem* t = tables->child(i);
        const bool hide = !text.isEmpty() && !t->text(0).contains(text, Qt::CaseInsensitive);
        if (t->isHidden() != hide) t->setHidden(hide);  // each change costs the view a pass
    }
}

void MainWindow::treeNodeAboutToBeRemoved(const TreeNode* node) {
    if (QTreeWidgetItem* item = m_treeItems.value(node)) {
        forgetTreeItem(item);
        delete item;
    }
}

void MainWindow::showPropertyLines(const std::vector<std::string>& lines) {
    QStringList text;
    for (const auto& l : lines) text << qs(l);
    m_picture->setPlainText(text.join(QLatin1Char('\n')));
}

}  // namespace quorix
