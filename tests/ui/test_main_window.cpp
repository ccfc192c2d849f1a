#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QComboBox>
#include <QFileDialog>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTableView>
#include <QTest>
#include <QTreeWidget>

#include "modal.h"
#include "support/test_support.h"
#include "ui/main_window.h"

using namespace quorix;
using quorix::test::sqlite3Cli;
using quorix::test::TempDir;

namespace {

// The main window after start-up, connected to a database created in the dialog.
struct MainWindowTest : ::testing::Test {
    void SetUp() override {
        qputenv("HOME", QByteArray::fromStdString(dir.path().string()));
        dbPath = dir.file("新しい book.mdb");
        test::onNextModal([this](QWidget* dialog) {
            ASSERT_EQ(dialog->objectName(), QStringLiteral("dlgConnect"));
            dialog->findChild<QLineEdit*>(QStringLiteral("txtDSN"))->setText(QString::fromStdString(dbPath));
            dialog->findChild<QPushButton*>(QStringLiteral("cmdCreateDB"))->click();
        });
        ASSERT_EQ(window.start(), MainWindowCore::StartResult::Started);
        grid = window.findChild<QTableView*>(QStringLiteral("DataGrid1"));
        ASSERT_TRUE(grid);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    }
    void TearDown() override { window.close(); }

    QString cell(int row, int column) {
        return grid->model()->index(row, column).data().toString();
    }
    QPushButton* button(const char* name) {
        auto* b = window.findChild<QPushButton*>(QLatin1String(name));
        EXPECT_TRUE(b) << name;
        return b;
    }
    QString status() { return window.findChild<QLabel*>(QStringLiteral("lblStatus"))->text(); }
    void openDocument(const std::string& path) {
        test::onNextModal([path](QWidget* w) {
            auto* dialog = qobject_cast<QFileDialog*>(w);
            ASSERT_TRUE(dialog);
            dialog->selectFile(QString::fromStdString(path));
            QMetaObject::invokeMethod(dialog, "accept", Qt::DirectConnection);
        });
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
    EXPECT_EQ(shown.join(QLatin1Char(',')), QStringLiteral("生成,タグ名,列名,型,桁数,表名"));
    EXPECT_EQ(cell(0, 4), QStringLiteral("･･-----"));
    EXPECT_EQ(window.findChild<QComboBox*>(QStringLiteral("cboFType"))->currentText(),
              QStringLiteral("ﾃｷｽﾄ型"));
    for (const char* name : {"cmdOpen", "cmdLeft", "cmdRight", "cmdUp", "cmdDown", "cmdInsert",
                             "cmdAppend", "cmdDelete", "cmdGen1", "cmdDBConnect", "cmdCreate",
                             "cmdStatus"})
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
    QAbstractItemModelTester tester(grid->model(), QAbstractItemModelTester::FailureReportingMode::Warning);
    auto* model = grid->model();
    EXPECT_TRUE(model->setData(model->index(0, 5), QStringLiteral("商品名")));
    EXPECT_EQ(window.core().definitionTable()->records().text("列名"), "商品名");
    EXPECT_FALSE(model->setData(model->index(0, 5), QStringLiteral("とても長い列名を入力してみる")));
    EXPECT_EQ(cell(0, 5), QStringLiteral("商品名"));
    EXPECT_TRUE(status().contains(QStringLiteral("20バイト")));
    EXPECT_FALSE(model->flags(model->index(0, 1)) & Qt::ItemIsEditable);
    EXPECT_FALSE(model->flags(model->index(0, 4)) & Qt::ItemIsEditable);
    EXPECT_TRUE(model->flags(model->index(0, 8)) & Qt::ItemIsEditable);
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
