#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QColor>
#include <QAction>
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QScrollBar>
#include <QSettings>
#include <QTabWidget>
#include <QTableView>
#include <QTableWidget>
#include <QScreen>
#include <QTest>
#include <QTreeWidget>
#include <QUrl>
#include <QWheelEvent>

#include "modal.h"
#include "support/test_support.h"
#include "ui/main_window.h"
#include "ui/twips.h"

using namespace quorix;
using quorix::test::sqlite3Cli;
using quorix::test::TempDir;

namespace {

// The main window after start-up, connected to a database created in the dialog.
struct MainWindowTest : ::testing::Test {
    void SetUp() override {
        qputenv("HOME", QByteArray::fromStdString(dir.path().string()));
        qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(dir.file("config")));
        dbPath = dir.file("新しい book.mdb");
        test::onNextModal([this](QWidget* dialog) {
            ASSERT_EQ(dialog->objectName(), QStringLiteral("dlgConnect"));
            dialog->findChild<QLineEdit*>(QStringLiteral("txtDSN"))
                ->setText(QString::fromStdString(dbPath));
            dialog->findChild<QPushButton*>(QStringLiteral("cmdCreateDB"))->click();
        });
        ASSERT_EQ(window.start(), MainWindowCore::StartResult::Started);
        grid = window.findChild<QTableView*>(QStringLiteral("DataGrid1"));
        ASSERT_TRUE(grid);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    }
    void TearDown() override {
        if (window.windowTitle().endsWith(QLatin1Char('*')))
            test::onNextModal([](QWidget* box) {
                box->findChild<QPushButton*>(QStringLiteral("cmdDiscardChanges"))->click();
            });
        window.close();
    }

    QString cell(int row, int column) {
        return grid->model()->index(row, column).data().toString();
    }
    QPushButton* button(const char* name) {
        auto* b = window.findChild<QPushButton*>(QLatin1String(name));
        EXPECT_TRUE(b) << name;
        return b;
    }
    QString status() { return window.findChild<QLabel*>(QStringLiteral("lblStatus"))->text(); }
    // Opens a document in the file dialog, throwing away unsaved changes when asked.
    void openDocument(const std::string& path) {
        auto choose = [path](QWidget* w) {
            auto* dialog = qobject_cast<QFileDialog*>(w);
            ASSERT_TRUE(dialog);
            dialog->selectFile(QString::fromStdString(path));
            QMetaObject::invokeMethod(dialog, "accept", Qt::DirectConnection);
        };
        if (window.windowTitle().endsWith(QLatin1Char('*')))
            test::onNextModal([choose](QWidget* question) {
                test::onNextModal(choose);
                question->findChild<QPushButton*>(QStringLiteral("cmdDiscardChanges"))->click();
            });
        else
            test::onNextModal(choose);
        button("cmdOpen")->click();
    }

    TempDir dir;
    std::string dbPath;
    MainWindow window;
    QTableView* grid = nullptr;
};

}  // namespace

TEST_F(MainWindowTest, StartsOnTheNewDatabaseWithOneLine) {
    EXPECT_EQ(window.windowTitle(), QString::fromStdString("Quorix(" + dbPath + ")"));
    EXPECT_EQ(sqlite3Cli(dbPath, "PRAGMA integrity_check"), "ok\n");
    EXPECT_EQ(grid->model()->rowCount(), 1);
    QStringList shown;
    for (int c = 0; c < grid->model()->columnCount(); ++c)
        if (!grid->isColumnHidden(c))
            shown << grid->model()->headerData(c, Qt::Horizontal).toString();
    EXPECT_EQ(shown.join(QLatin1Char(',')), QStringLiteral("キー,生成,タグ名,列名,型,桁数,表名"));
    EXPECT_EQ(cell(0, 4), QStringLiteral("･･-----"));
    EXPECT_EQ(window.findChild<QComboBox*>(QStringLiteral("cboFType"))->currentText(),
              QStringLiteral("ﾃｷｽﾄ型"));
    for (const char* name :
         {"cmdOpen", "cmdLeft", "cmdRight", "cmdUp", "cmdDown", "cmdInsert", "cmdAppend",
          "cmdDelete", "cmdGen1", "cmdDBConnect", "cmdCreate", "cmdStatus"})
        button(name);
    EXPECT_EQ(button("cmdInsert")->text(), QStringLiteral("挿入(&I)"));
    EXPECT_TRUE(button("cmdUp")->text().isEmpty());
    EXPECT_FALSE(button("cmdUp")->icon().isNull());
    EXPECT_TRUE(window.findChild<QTreeWidget*>(QStringLiteral("TreeView1")));
    auto* tabs = window.findChild<QTabWidget*>(QStringLiteral("SSTab1"));
    EXPECT_EQ(tabs->tabText(0), QStringLiteral("列の設定"));
    EXPECT_EQ(tabs->tabText(1), QStringLiteral("DB情報"));
    // Captions fit their buttons.
    for (const char* name : {"cmdOpen", "cmdInsert", "cmdAppend", "cmdDelete", "cmdDBConnect"}) {
        QPushButton* b = button(name);
        EXPECT_LE(b->fontMetrics().horizontalAdvance(b->text().remove(QLatin1Char('&'))),
                  b->width() - 4)
            << name;
    }
}

TEST_F(MainWindowTest, TypingWritesTheLineAndOverlongValuesAreRefused) {
    QAbstractItemModelTester tester(grid->model(),
                                    QAbstractItemModelTester::FailureReportingMode::Fatal);
    auto* model = grid->model();
    EXPECT_TRUE(model->setData(model->index(0, 5), QStringLiteral("商品名")));
    EXPECT_EQ(window.core().definitionTable()->records().text("列名"), "商品名");
    EXPECT_FALSE(
        model->setData(model->index(0, 5), QStringLiteral("とても長い列名を入力してみる")));
    EXPECT_EQ(cell(0, 5), QStringLiteral("商品名"));
    EXPECT_TRUE(status().contains(QStringLiteral("20バイト")));
    EXPECT_FALSE(model->flags(model->index(0, 1)) & Qt::ItemIsEditable);
    EXPECT_FALSE(model->flags(model->index(0, 4)) & Qt::ItemIsEditable);
    EXPECT_TRUE(model->flags(model->index(0, 8)) & Qt::ItemIsEditable);
    // A size the line's type ignores is shown greyed, and follows a change of type.
    ASSERT_TRUE(model->setData(model->index(0, 7), QStringLiteral("10")));
    ASSERT_TRUE(model->setData(model->index(0, 6), QStringLiteral("通貨型")));
    EXPECT_EQ(model->data(model->index(0, 7), Qt::ForegroundRole).value<QColor>(),
              QColor(Qt::gray));
    ASSERT_TRUE(model->setData(model->index(0, 6), QStringLiteral("ﾃｷｽﾄ型")));
    EXPECT_FALSE(model->data(model->index(0, 7), Qt::ForegroundRole).isValid());
}

TEST_F(MainWindowTest, OpensADocumentAndEditsItWithTheButtons) {
    openDocument(test::testData("worked_example.xml"));
    ASSERT_EQ(grid->model()->rowCount(), 6);
    EXPECT_EQ(cell(0, 4), QStringLiteral("ROW"));
    EXPECT_EQ(cell(3, 4), QStringLiteral("････C"));
    EXPECT_EQ(cell(5, 6), QStringLiteral("数値型"));
    EXPECT_EQ(grid->currentIndex().row(), 0);

    // The cursor and the grid's current row are one.
    grid->setCurrentIndex(grid->model()->index(2, 5));
    EXPECT_EQ(window.core().definitionTable()->records().absolutePosition(), 3);
    button("cmdDown")->click();
    EXPECT_EQ(cell(3, 4), QStringLiteral("･･B"));
    EXPECT_EQ(grid->currentIndex().row(), 3);
    // The generate button stands over the current line's "生成" cell.
    auto* gen = button("cmdGen1");
    const QRect cellRect = grid->visualRect(grid->model()->index(3, 1));
    const QPoint cellTop = grid->viewport()->mapTo(gen->parentWidget(), cellRect.topLeft());
    EXPECT_NEAR(gen->y(), cellTop.y(), 2);
    EXPECT_NEAR(gen->x(), cellTop.x() + 1, 2);
    EXPECT_EQ(gen->text(), QStringLiteral("○"));
    gen->click();
    EXPECT_EQ(cell(3, 1), QStringLiteral("×"));

    button("cmdAppend")->click();
    EXPECT_EQ(grid->model()->rowCount(), 7);
    EXPECT_EQ(cell(4, 4), QStringLiteral("･･-----"));
    EXPECT_EQ(grid->currentIndex().row(), 4);
    button("cmdDelete")->click();
    EXPECT_EQ(grid->model()->rowCount(), 6);
    button("cmdRight")->click();
    EXPECT_EQ(cell(4, 4), QStringLiteral("･･････D"));

    // The type chooser writes the current line's type.
    auto* chooser = window.findChild<QComboBox*>(QStringLiteral("cboFType"));
    chooser->setCurrentIndex(2);
    Q_EMIT chooser->activated(2);
    EXPECT_EQ(cell(4, 6), QStringLiteral("数値型"));
}

namespace {

// The item at @p path, opening the items on the way as a user does.
QTreeWidgetItem* findItem(QTreeWidgetItem* from, const QStringList& path) {
    QTreeWidgetItem* item = from;
    for (const QString& part : path) {
        item->setExpanded(true);
        QTreeWidgetItem* next = nullptr;
        for (int i = 0; i < item->childCount(); ++i)
            if (item->child(i)->text(0) == part) next = item->child(i);
        if (!next) return nullptr;
        item = next;
    }
    return item;
}

}  // namespace

TEST_F(MainWindowTest, CreatesTheTablesOfAnExampleDocument) {
    openDocument(std::string(QUORIX_EXAMPLES) + "/products.xml");
    ASSERT_EQ(grid->model()->rowCount(), 12);
    auto* model = grid->model();
    EXPECT_TRUE(model->setData(model->index(1, 8), QStringLiteral("製品")));
    EXPECT_TRUE(model->setData(model->index(5, 8), QStringLiteral("価格表")));
    EXPECT_TRUE(model->setData(model->index(6, 8), QStringLiteral("価格")));
    EXPECT_TRUE(model->setData(model->index(1, 7), QStringLiteral("10")));
    button("cmdCreate")->click();
    EXPECT_EQ(status(), QStringLiteral("3 個の表「製品」「価格表」「価格」を作成しました。\n"
                                       "表「製品」を作成しました。\n表「価格表」を作成しました。\n"
                                       "表「価格」を作成しました。"));
    EXPECT_EQ(
        sqlite3Cli(dbPath, "SELECT name FROM sqlite_master WHERE type='table' ORDER BY rowid"),
        "製品\n価格表\n価格\n");
    EXPECT_EQ(sqlite3Cli(dbPath,
                         "SELECT group_concat(name || ':' || type || ':' || pk, ' ') FROM "
                         "pragma_table_info('価格')"),
              "PRICES:NVARCHAR(255):1 PRICE:NVARCHAR(255):2 LIST:NVARCHAR(255):3 "
              "AMOUNT:INTEGER:0 VALID_FROM:DATETIME:0 CURRENCY:NVARCHAR(255):0\n");
    EXPECT_NE(sqlite3Cli(dbPath, ".schema 製品").find("\"CODE\" NVARCHAR(10)"), std::string::npos);
    EXPECT_EQ(window.core().definitionTable()->records().absolutePosition(), 1);

    // The tree shows the new tables; clicking a column fills the panel.
    auto* tree = window.findChild<QTreeWidget*>(QStringLiteral("TreeView1"));
    ASSERT_EQ(tree->topLevelItemCount(), 1);
    QTreeWidgetItem* root = tree->topLevelItem(0);
    EXPECT_EQ(root->text(0), QStringLiteral("カタログ"));
    EXPECT_TRUE(root->isExpanded());
    QTreeWidgetItem* code = findItem(root, {QStringLiteral("表"), QStringLiteral("製品"),
                                            QStringLiteral("列"), QStringLiteral("CODE")});
    ASSERT_TRUE(code);
    tree->scrollToItem(code);
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualItemRect(code).center());
    auto* panel = window.findChild<QPlainTextEdit*>(QStringLiteral("Picture1"));
    EXPECT_TRUE(panel->toPlainText().split(QLatin1Char('\n')).contains(QStringLiteral("Type = adVarWChar")));
    EXPECT_TRUE(panel->toPlainText().split(QLatin1Char('\n')).contains(QStringLiteral("NULLを許可 = いいえ")));
    EXPECT_EQ(panel->toPlainText().split(QLatin1Char('\n')).last(), QStringLiteral("キー = 主キー"));
    EXPECT_TRUE(panel->toPlainText().contains(QStringLiteral("DefinedSize = 10")));
    // A table's panel gets its row count once the rows page has counted them.
    QTreeWidgetItem* products = findItem(root, {QStringLiteral("表"), QStringLiteral("製品")});
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualItemRect(products).center());
    for (int i = 0; i < 500 && !panel->toPlainText().contains(QStringLiteral("行数 = ")); ++i) QTest::qWait(10);
    EXPECT_EQ(panel->toPlainText().split(QLatin1Char('\n')).last(), QStringLiteral("行数 = 0"));

    // Tables not opened show their expander; the filter narrows them by name.
    QTreeWidgetItem* tables = findItem(root, {QStringLiteral("表")});
    QTreeWidgetItem* prices = findItem(root, {QStringLiteral("表"), QStringLiteral("価格")});
    ASSERT_TRUE(prices);
    EXPECT_EQ(prices->childCount(), 0);
    EXPECT_EQ(prices->childIndicatorPolicy(), QTreeWidgetItem::ShowIndicator);
    auto* filter = window.findChild<QLineEdit*>(QStringLiteral("txtFilter"));
    ASSERT_TRUE(filter);
    EXPECT_FALSE(filter->accessibleName().isEmpty());
    filter->setText(QStringLiteral("価格"));
    QStringList shown;
    for (int i = 0; i < tables->childCount(); ++i)
        if (!tables->child(i)->isHidden()) shown << tables->child(i)->text(0);
    EXPECT_EQ(shown, (QStringList{QStringLiteral("価格表"), QStringLiteral("価格")}));
    filter->clear();
    EXPECT_FALSE(tables->child(0)->isHidden());

    // A second create of the same names fails and leaves the file as it was.
    button("cmdCreate")->click();
    EXPECT_TRUE(status().endsWith(QStringLiteral("全ての処理は元の状態に戻されました。")));
    EXPECT_FALSE(status().contains(QStringLiteral("を作成しました")));
    EXPECT_EQ(sqlite3Cli(dbPath, "SELECT count(*) FROM sqlite_master WHERE type='table'"), "3\n");
}

TEST_F(MainWindowTest, DeletesATableFromTheTreeWithTheDeleteKey) {
    sqlite3Cli(dbPath, "CREATE TABLE 古い表(x INT); CREATE TABLE keep(y INT);");
    window.findChild<QAction*>(QStringLiteral("mnuDBRefresh"))->trigger();
    auto* tree = window.findChild<QTreeWidget*>(QStringLiteral("TreeView1"));
    QTreeWidgetItem* old =
        findItem(tree->topLevelItem(0), {QStringLiteral("表"), QStringLiteral("古い表")});
    ASSERT_TRUE(old);
    tree->expandAll();
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualItemRect(old).center());
    QString question;
    test::onNextModal([&](QWidget* box) {
        auto* m = qobject_cast<QMessageBox*>(box);
        ASSERT_TRUE(m);
        question = m->windowTitle() + QLatin1Char('|') + m->text();
        m->button(QMessageBox::Yes)->click();
    });
    // "." shares its number with the old Delete code: it must not ask, let alone drop.
    QTest::keyClick(tree, Qt::Key_Period);
    QTest::keyClick(tree, Qt::Key_Period, Qt::KeypadModifier);
    EXPECT_EQ(question, QString());
    EXPECT_EQ(sqlite3Cli(dbPath, "SELECT count(*) FROM sqlite_master WHERE type = 'table'"), "2\n");
    QTest::keyClick(tree, Qt::Key_Delete);
    EXPECT_EQ(question, QStringLiteral("表の削除|表「古い表」を削除しますか？"));
    EXPECT_EQ(status(), QStringLiteral("表「古い表」を削除しました。"));
    EXPECT_EQ(sqlite3Cli(dbPath, ".tables"), "keep\n");
    EXPECT_FALSE(findItem(tree->topLevelItem(0), {QStringLiteral("表"), QStringLiteral("古い表")}));
}

TEST_F(MainWindowTest, StatusPanelAndResizing) {
    auto* status = button("cmdStatus");
    auto* label = window.findChild<QLabel*>(QStringLiteral("lblStatus"));
    const int oneLine = label->height();
    const int before = window.height();
    status->click();
    EXPECT_EQ(status->text(), QStringLiteral("<<"));
    EXPECT_GT(label->height(), oneLine * 5);
    EXPECT_LE(label->geometry().bottom(), window.centralWidget()->height());
    EXPECT_LE(window.frameGeometry().bottom(), window.screen()->availableGeometry().bottom());
    status->click();
    EXPECT_EQ(status->text(), QStringLiteral(">>"));
    EXPECT_EQ(label->height(), oneLine);
    EXPECT_EQ(window.height(), before);  // folded back: as it was

    window.resize(1200, 700);
    auto* tabs = window.findChild<QTabWidget*>(QStringLiteral("SSTab1"));
    EXPECT_EQ(tabs->geometry().right() + 1, window.frameGeometry().width());  // the outer width
    EXPECT_LT(tabs->geometry().bottom(), label->geometry().top());
    EXPECT_EQ(status->geometry().bottom(), label->geometry().bottom());
    for (int i = 0; i < 4; ++i) {
        window.resize(50, 40);  // tiny: nothing negative, nothing lost
        window.resize(1000, 600);
    }
    EXPECT_GT(grid->height(), 0);
    EXPECT_EQ(grid->model()->rowCount(), 1);
}

TEST_F(MainWindowTest, OpensEveryExampleDocument) {
    struct Example {
        const char* file;
        int lines;
        int row;
        const char* tag;
        const char* type;
    };
    const Example examples[] = {
        {"orders.xml", 11, 9, "･･････NOTE", "ﾃｷｽﾄ型"},
        {"orders.xml", 11, 2, "･･ORDERED_AT", "日付/時刻型"},
        {"staff_sjis.xml", 7, 5, "････内線", "ﾃｷｽﾄ型"},
        {"products.xml", 12, 11, "･･WEIGHT", "数値型"},
    };
    for (const auto& e : examples) {
        SCOPED_TRACE(e.file);
        openDocument(std::string(QUORIX_EXAMPLES) + "/" + e.file);
        ASSERT_EQ(grid->model()->rowCount(), e.lines);
        EXPECT_EQ(cell(e.row, 4), QString::fromUtf8(e.tag));
        EXPECT_EQ(cell(e.row, 6), QString::fromUtf8(e.type));
        // The status line says what was read and which type untyped elements got.
        EXPECT_TRUE(
            status().contains(QString::number(e.lines) + QStringLiteral(" 行の定義にしました。")))
            << status().toStdString();
        EXPECT_TRUE(status().endsWith(QStringLiteral("型のない要素は「ﾃｷｽﾄ型」にしました。")))
            << status().toStdString();
    }
}

// "属性も列にする" is off at first, says what a document's attributes became, and is remembered.
TEST_F(MainWindowTest, AttributesBecomeLinesWhenTheSettingIsOn) {
    const std::string doc = dir.write("a.xml", "<ROWSET><ROW id='1'><N u='x'>2</N></ROW></ROWSET>");
    openDocument(doc);
    EXPECT_EQ(grid->model()->rowCount(), 2);
    EXPECT_TRUE(status().contains(QStringLiteral("列にしていない属性が 2 種類あります"))) << status().toStdString();
    auto* attributes = window.findChild<QAction*>(QStringLiteral("mnuAttributes"));
    ASSERT_TRUE(attributes);
    attributes->trigger();
    EXPECT_TRUE(attributes->isChecked());
    openDocument(doc);
    ASSERT_EQ(grid->model()->rowCount(), 4);
    EXPECT_EQ(cell(1, 4), QStringLiteral("･･@id"));
    EXPECT_EQ(cell(3, 4), QStringLiteral("････@u"));
    EXPECT_TRUE(status().contains(QStringLiteral("属性の行を 2 行作りました。"))) << status().toStdString();
    const auto stored = [&] {
        return QSettings(QString::fromStdString(dir.file("config") + "/Quorix/quorix.ini"),
                         QSettings::IniFormat)
            .value(QStringLiteral("xml/attributes"))
            .toBool();
    };
    EXPECT_TRUE(stored());
    attributes->trigger();
    EXPECT_FALSE(stored());
}

TEST_F(MainWindowTest, NewLinesTakeTheChoosersTypeAndTheWheelNeverWritesOne) {
    auto* chooser = window.findChild<QComboBox*>(QStringLiteral("cboFType"));
    auto* model = grid->model();
    // The current cell in "型": moving to the new, empty line must not empty the chooser.
    for (const char* command : {"cmdAppend", "cmdInsert"}) {
        SCOPED_TRACE(command);
        grid->setCurrentIndex(model->index(0, 6));
        button(command)->click();
        for (int row = 0; row < model->rowCount(); ++row)
            EXPECT_EQ(cell(row, 6), QStringLiteral("ﾃｷｽﾄ型")) << row;
        EXPECT_EQ(chooser->currentText(), QStringLiteral("ﾃｷｽﾄ型"));
    }
    // The wheel over the chooser changes no line.
    grid->setCurrentIndex(model->index(1, 6));
    const QPointF at = QPointF(chooser->rect().center());
    for (int delta : {-120, -120, 120}) {
        QWheelEvent wheel(at, chooser->mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(chooser, &wheel);
    }
    for (int row = 0; row < model->rowCount(); ++row)
        EXPECT_EQ(cell(row, 6), QStringLiteral("ﾃｷｽﾄ型")) << row;
}

TEST_F(MainWindowTest, TheStatusButtonSaysWhatItDoes) {
    EXPECT_FALSE(button("cmdStatus")->toolTip().isEmpty());
    EXPECT_FALSE(button("cmdStatus")->accessibleName().isEmpty());
}

TEST_F(MainWindowTest, StandardShortcuts) {
    const std::pair<const char*, QKeySequence> keys[] = {
        {"mnuOpen", QKeySequence(QKeySequence::Open)},
        {"mnuSaveDefAgain", QKeySequence(QKeySequence::Save)},
        {"mnuSaveDef", QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S)},
        {"mnuDBRefresh", QKeySequence(Qt::Key_F5)},
        {"mnuExit", QKeySequence(Qt::CTRL | Qt::Key_Q)},
    };
    for (const auto& [name, key] : keys) {
        auto* a = window.findChild<QAction*>(QLatin1String(name));
        ASSERT_TRUE(a) << name;
        EXPECT_EQ(a->shortcut(), key) << name;
    }
}

// Alt and a letter reaches one thing: a menu of the bar or a button of the page in view.
TEST_F(MainWindowTest, EveryMnemonicOfThePageAndTheMenuBarIsItsOwn) {
    auto letter = [](const QString& text) {
        const int at = text.indexOf(QLatin1String("(&"));
        return at < 0 ? QChar() : text.at(at + 2).toUpper();
    };
    auto* tabs = window.findChild<QTabWidget*>();
    ASSERT_TRUE(tabs);
    for (int page = 0; page < tabs->count(); ++page) {
        std::map<QChar, QString> seen;
        for (QAction* a : window.menuBar()->actions())
            if (const QChar c = letter(a->text()); !c.isNull()) seen[c] = a->text();
        for (auto* b : tabs->widget(page)->findChildren<QPushButton*>()) {
            const QChar c = letter(b->text());
            if (c.isNull()) continue;
            EXPECT_FALSE(seen.count(c)) << b->text().toStdString() << " and "
                                        << seen[c].toStdString();
            seen[c] = b->text();
        }
    }
}

TEST_F(MainWindowTest, TheGridStaysInsideItsPageAtEverySize) {
    // The run at 144 DPI says so; it must not pass at 96 by mistake.
    if (const QByteArray dpr = qgetenv("QUORIX_TEST_DPR"); !dpr.isEmpty()) {
        ASSERT_DOUBLE_EQ(window.devicePixelRatioF(), dpr.toDouble());
    }
    openDocument(std::string(QUORIX_EXAMPLES) + "/orders.xml");  // more lines than fit
    QWidget* page = grid->parentWidget();
    const Twips t = Twips::of(grid);
    for (int width : {t.toPx(12390), 500, 700, 1000, 1600}) {
        SCOPED_TRACE(width);
        window.resize(width, t.toPx(6645));
        QApplication::processEvents();
        // Its right edge, and so its vertical scroll bar, stand inside the page.
        EXPECT_LE(grid->geometry().right(), page->contentsRect().right()) << page->width();
        EXPECT_GE(page->contentsRect().right() - grid->geometry().right(),
                  grid->geometry().left() / 2);
        EXPECT_TRUE(grid->verticalScrollBar()->isVisible());
    }
}

TEST_F(MainWindowTest, GridColumnsShowTheirTextAndKeepTheWidthsTheUserSets) {
    const Twips t = Twips::of(grid);
    window.resize(1400, 800);
    openDocument(std::string(QUORIX_EXAMPLES) + "/orders.xml");
    // No narrower than the design, and as wide as the longest tag name.
    EXPECT_GE(grid->columnWidth(6), t.toPx(1300));
    int longest = 0;
    for (int row = 0; row < grid->model()->rowCount(); ++row)
        longest = std::max(longest, grid->fontMetrics().horizontalAdvance(cell(row, 4)));
    EXPECT_GE(grid->columnWidth(4), longest);
    // A width the user sets stays for the next document, and for the next session.
    grid->horizontalHeader()->resizeSection(4, 333);
    openDocument(std::string(QUORIX_EXAMPLES) + "/products.xml");
    EXPECT_EQ(grid->columnWidth(4), 333);
    MainWindow next;
    test::onNextModal([](QWidget* dialog) {
        dialog->findChild<QPushButton*>(QStringLiteral("OKButton"))->click();
    });
    ASSERT_EQ(next.start(), MainWindowCore::StartResult::Started);
    EXPECT_NEAR(next.findChild<QTableView*>(QStringLiteral("DataGrid1"))->columnWidth(4), 333, 1);
    next.close();
}

TEST_F(MainWindowTest, ALongReadShowsItsProgressAndCanBeStopped) {
    // A document that takes a while: the dialog is asked for at once, so that the test does
    // not depend on how fast the machine reads.
    std::string xml = "<ROWSET>";
    for (int i = 0; i < 1000000; ++i)
        xml += "<ROW><ID>" + std::to_string(i) + "</ID><NAME>name</NAME><P><Q>1</Q></P></ROW>\n";
    const std::string big = dir.write("big.xml", xml + "</ROWSET>");
    window.setProgressDelay(0);
    auto* model = grid->model();
    EXPECT_TRUE(model->setData(model->index(0, 5), QStringLiteral("keep")));

    QString label;
    // The edited line is unsaved: the question first, then the file dialog.
    test::onNextModal([&](QWidget* question) {
        ASSERT_EQ(question->objectName(), QStringLiteral("questionBox"));
        EXPECT_TRUE(window.windowTitle().endsWith(QLatin1Char('*')));
        question->findChild<QPushButton*>(QStringLiteral("cmdDiscardChanges"))->click();
        test::onNextModal([&](QWidget* w) {
            auto* dialog = qobject_cast<QFileDialog*>(w);
            ASSERT_TRUE(dialog);
            dialog->selectFile(QString::fromStdString(big));
            // The progress dialog comes next.
            test::onNextModal([&](QWidget* w) {
                auto* progress = qobject_cast<QProgressDialog*>(w);
                if (!progress) {  // never leave a dialog open: the test would wait forever
                    if (auto* d = qobject_cast<QDialog*>(w)) d->reject();
                    FAIL() << "no progress dialog";
                }
                label = progress->labelText();
                auto* cancel = progress->findChild<QPushButton*>();
                ASSERT_TRUE(cancel);
                EXPECT_EQ(cancel->text(), QStringLiteral("キャンセル"));
                cancel->click();
            });
            QMetaObject::invokeMethod(dialog, "accept", Qt::DirectConnection);
        });
    });
    button("cmdOpen")->click();
    EXPECT_EQ(label, QStringLiteral("XML文書を読み込んでいます..."));
    EXPECT_EQ(status(),
              QStringLiteral("XML文書の読み込みを中止しました。前の定義はそのままです。"));
    ASSERT_EQ(model->rowCount(), 1);
    EXPECT_EQ(cell(0, 5), QStringLiteral("keep"));

    // Left to run, it fills the grid.
    openDocument(big);
    ASSERT_EQ(model->rowCount(), 5);
    EXPECT_EQ(cell(4, 4), QStringLiteral("････Q"));
    EXPECT_TRUE(status().startsWith(QStringLiteral("1,000,000 行を読み、5 行の定義にしました。")))
        << status().toStdString();
    EXPECT_FALSE(window.findChild<QProgressDialog*>());
}

TEST_F(MainWindowTest, DesktopHabits) {
    // The connection is remembered under the user's configuration folder.
    QSettings stored(QString::fromStdString(dir.file("config/Quorix/quorix.ini")),
                     QSettings::IniFormat);
    EXPECT_EQ(stored.value(QStringLiteral("connection/dataSource")).toString(),
              QString::fromStdString(dbPath));
    EXPECT_FALSE(stored.contains(QStringLiteral("connection/password")));

    // A document dropped on the window opens.
    // As a real drag delivers it: enter, move, then the drop on the target that took the enter.
    QMimeData mime;
    mime.setUrls(
        {QUrl::fromLocalFile(QString::fromStdString(test::testData("worked_example.xml")))});
    const QPoint at(200, 200);
    QDragEnterEvent enter(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&window, &enter);
    ASSERT_TRUE(enter.isAccepted());
    QDragMoveEvent move(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&window, &move);
    QDropEvent drop(QPointF(at), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&window, &drop);
    ASSERT_TRUE(test::waitUntil([&] { return grid->model()->rowCount() == 6; }))
        << grid->model()->rowCount();

    // Dragging the bar between the panes moves the tab panel's left edge.
    auto* bar = window.findChild<QFrame*>(QStringLiteral("splitDB"));
    auto* tabs = window.findChild<QTabWidget*>(QStringLiteral("SSTab1"));
    ASSERT_TRUE(bar);
    const int left = tabs->x();
    QTest::mousePress(bar, Qt::LeftButton, {}, QPoint(2, 10));
    QMouseEvent drag(QEvent::MouseMove, QPointF(62, 10), bar->mapToGlobal(QPointF(62, 10)),
                     Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(bar, &drag);
    QTest::mouseRelease(bar, Qt::LeftButton, {}, QPoint(62, 10));
    EXPECT_NEAR(tabs->x(), left + 60, 2);
    EXPECT_NEAR(window.findChild<QGroupBox*>(QStringLiteral("frmDB"))->width(), bar->x(), 1);

    // A click on a catalog node brings the property page to the front.
    tabs->setCurrentIndex(0);
    auto* tree = window.findChild<QTreeWidget*>(QStringLiteral("TreeView1"));
    QTreeWidgetItem* root = tree->topLevelItem(0);
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualItemRect(root).center());
    EXPECT_EQ(tabs->currentIndex(), 1);

    // The dropped document heads the recent files, and its name is in the title.
    const QString dropped = QString::fromStdString(test::testData("worked_example.xml"));
    auto* recent = window.findChild<QAction*>(QStringLiteral("mnuRecent1"));
    ASSERT_TRUE(recent);
    EXPECT_EQ(recent->data().toString(), QFileInfo(dropped).absoluteFilePath());
    EXPECT_TRUE(window.windowTitle().endsWith(QStringLiteral(" - worked_example.xml")))
        << window.windowTitle().toStdString();

    // The next start has the window's size, the panes' boundary and the recent files.
    window.resize(1000, 560);
    const int boundary = tabs->x();
    window.close();
    test::onNextModal([](QWidget* dialog) {
        dialog->findChild<QPushButton*>(QStringLiteral("OKButton"))->click();
    });
    MainWindow again;
    ASSERT_EQ(again.start(), MainWindowCore::StartResult::Started);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&again));
    EXPECT_EQ(again.size(), QSize(1000, 560));
    EXPECT_EQ(again.findChild<QTabWidget*>(QStringLiteral("SSTab1"))->x(), boundary);
    recent = again.findChild<QAction*>(QStringLiteral("mnuRecent1"));
    ASSERT_TRUE(recent);
    recent->trigger();
    EXPECT_EQ(again.findChild<QTableView*>(QStringLiteral("DataGrid1"))->model()->rowCount(), 6);
    again.close();
}

TEST_F(MainWindowTest, CtrlZUndoesAnEditAndCtrlYRedoesIt) {
    auto* model = grid->model();
    ASSERT_TRUE(model->setData(model->index(0, 5), QStringLiteral("COL")));
    EXPECT_TRUE(window.windowTitle().endsWith(QLatin1Char('*')));
    auto* undo = window.findChild<QAction*>(QStringLiteral("mnuUndo"));
    ASSERT_TRUE(undo && undo->isEnabled());
    grid->setFocus();
    QTest::keyClick(grid, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(cell(0, 5), QString());
    EXPECT_FALSE(window.windowTitle().endsWith(QLatin1Char('*')));
    EXPECT_FALSE(undo->isEnabled());
    QTest::keyClick(grid, Qt::Key_Y, Qt::ControlModifier);
    EXPECT_EQ(cell(0, 5), QStringLiteral("COL"));
}

TEST_F(MainWindowTest, EvidenceInTooltipsThePanelAndProposals) {
    openDocument(std::string(QUORIX_EXAMPLES) + "/orders.xml");
    auto* model = grid->model();
    ASSERT_EQ(model->rowCount(), 11);
    // ORDER_NO: in every row, integers.
    const QString tip = model->index(1, 4).data(Qt::ToolTipRole).toString();
    EXPECT_TRUE(tip.startsWith(QStringLiteral("出現 "))) << tip.toStdString();
    EXPECT_TRUE(tip.contains(QStringLiteral("整数"))) << tip.toStdString();

    QStringList headers;
    int rows = 0;
    test::onNextModal([&](QWidget* w) {
        ASSERT_EQ(w->objectName(), QStringLiteral("dlgEvidence"));
        auto* table = w->findChild<QTableWidget*>(QStringLiteral("grdEvidence"));
        ASSERT_TRUE(table);
        for (int c = 0; c < table->columnCount(); ++c)
            headers << table->horizontalHeaderItem(c)->text();
        rows = table->rowCount();
        EXPECT_TRUE(table->isSortingEnabled());
        w->grab().save(QString::fromStdString(dir.file("evidence.png")));
        qobject_cast<QDialog*>(w)->accept();
    });
    window.findChild<QAction*>(QStringLiteral("mnuEvidence"))->trigger();
    EXPECT_EQ(headers.value(0), QStringLiteral("タグ名"));
    EXPECT_EQ(headers.value(1), QStringLiteral("出現行"));
    EXPECT_EQ(rows, 11);

    // A hand edit is kept when the user keeps edited lines.
    EXPECT_TRUE(model->setData(model->index(9, 6), QStringLiteral("ﾒﾓ型")));
    test::onNextModal([&](QWidget* w) {
        auto* box = qobject_cast<QMessageBox*>(w);
        ASSERT_TRUE(box);
        box->findChild<QPushButton*>(QStringLiteral("cmdUntouchedLines"))->click();
    });
    window.findChild<QAction*>(QStringLiteral("mnuProposeTypes"))->trigger();
    EXPECT_EQ(cell(9, 6), QStringLiteral("ﾒﾓ型"));
    EXPECT_TRUE(status().contains(QStringLiteral("行の型を変更しました。")))
        << status().toStdString();
    EXPECT_EQ(cell(1, 6), QStringLiteral("数値型"));
}
