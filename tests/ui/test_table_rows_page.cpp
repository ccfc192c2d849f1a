// The rows view on real widgets: the count, the first page at once and the rest as the view
// scrolls, NULL shown apart from empty text, long text shortened with all of it in the
// tooltip, a filter, the selection copied as tab-separated text.
#include <gtest/gtest.h>

#include <QApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QTableView>
#include <QTest>

#include "support/test_support.h"
#include "ui/table_rows_page.h"

using namespace quorix;

namespace {

// The rows are read on a thread of their own: wait for what was asked.
void settle(const TableRowsPage& page) {
    auto* model = page.findChild<QTableView*>(QStringLiteral("grdRows"))->model();
    for (int i = 0; i < 1000 && static_cast<TableRowsModel*>(model)->busy(); ++i) QTest::qWait(10);
    QApplication::processEvents();
}

}  // namespace

TEST(TableRowsPage, ShowsCountsScrollsFiltersAndCopies) {
    test::TempDir dir;
    const std::string db = dir.file("rows.db");
    const std::string longText(300, 'L');
    test::sqlite3Cli(db, "CREATE TABLE T (ID integer PRIMARY KEY, V text); "
                         "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 450) "
                         "INSERT INTO T SELECT i, CASE i WHEN 1 THEN NULL WHEN 2 THEN '' WHEN 3 THEN '" +
                             longText + "' ELSE 'v' || i END FROM n");
    TableRowsPage page;
    page.resize(700, 500);
    page.show();
    page.showTable("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + db, "T");
    auto* count = page.findChild<QLabel*>(QStringLiteral("lblRowCount"));
    auto* view = page.findChild<QTableView*>(QStringLiteral("grdRows"));
    auto* filter = page.findChild<QLineEdit*>(QStringLiteral("txtRowFilter"));
    ASSERT_TRUE(count && view && filter);
    settle(page);
    EXPECT_EQ(count->text(), QStringLiteral("表「T」: 450 行"));
    QAbstractItemModel* model = view->model();
    EXPECT_EQ(model->rowCount(), static_cast<int>(TableRowsModel::kPageRows));
    EXPECT_EQ(model->index(0, 1).data().toString(), QStringLiteral("(NULL)"));
    EXPECT_EQ(model->index(1, 1).data().toString(), QString());
    EXPECT_EQ(model->index(2, 1).data().toString().size(), TableRowsModel::kShownCharacters + 1);
    EXPECT_EQ(model->index(2, 1).data(Qt::ToolTipRole).toString().size(), 300);
    for (int i = 0; i < 10 && model->rowCount() < 450; ++i) {
        view->scrollToBottom();
        QApplication::processEvents();
        settle(page);
    }
    EXPECT_EQ(model->rowCount(), 450);
    EXPECT_EQ(model->index(449, 1).data().toString(), QStringLiteral("v450"));

    view->selectionModel()->select(QItemSelection(model->index(0, 0), model->index(2, 1)),
                                   QItemSelectionModel::Select);
    EXPECT_EQ(page.selectedText(), QStringLiteral("1\t\n2\t\n3\t") + QString::fromStdString(longText));

    filter->setText(QStringLiteral("v44"));
    QTest::keyClick(filter, Qt::Key_Return);
    settle(page);
    EXPECT_EQ(count->text(), QStringLiteral("表「T」: 11 行（「v44」を含む行）"));
    EXPECT_EQ(model->rowCount(), 11);

    // A click on a header sorts by that column on the server, a second click the other way.
    QHeaderView* header = view->horizontalHeader();
    const QPoint at(header->sectionViewportPosition(0) + 5, 5);
    QStringList firsts;
    for (int click = 0; click < 2; ++click) {
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, at);
        settle(page);
        EXPECT_EQ(model->index(0, 0).data().toString(),
                  header->sortIndicatorOrder() == Qt::DescendingOrder ? QStringLiteral("449")
                                                                      : QStringLiteral("44"));
        firsts << model->index(0, 0).data().toString();
    }
    EXPECT_NE(firsts[0], firsts[1]);
    EXPECT_EQ(model->rowCount(), 11);
}
