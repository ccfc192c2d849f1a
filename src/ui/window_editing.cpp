#include <QComboBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollBar>
#include <QSettings>
#include <algorithm>
#include <QTableView>

#include "ui/definition_table_model.h"
#include "ui/dialogs.h"
#include "ui/evidence_dialog.h"
#include "ui/main_window.h"
#include "ui/qt_text.h"
#include "ui/twips.h"

namespace quorix {

int MainWindow::askProposalScope(int editedLines) {
    QMessageBox box(QMessageBox::Question, QStringLiteral("型の提案"),
                    QStringLiteral("型や桁数を手で変更した行が%1行あります。\n"
                                   "その行にも提案しますか？")
                        .arg(editedLines),
                    QMessageBox::NoButton, this);
    box.setObjectName(QStringLiteral("questionBox"));
    QPushButton* all = box.addButton(QStringLiteral("全ての行(&A)"), QMessageBox::YesRole);
    all->setObjectName(QStringLiteral("cmdAllLines"));
    QPushButton* untouched =
        box.addButton(QStringLiteral("変更していない行だけ(&U)"), QMessageBox::NoRole);
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

void MainWindow::columnResized(int column) {
    // The user's width: kept for this session and the next.
    m_setWidths[column] = Twips::of(this).toTwips(m_grid->columnWidth(column));
    QStringList widths;
    for (auto it = m_setWidths.cbegin(); it != m_setWidths.cend(); ++it)
        widths << QStringLiteral("%1:%2").arg(it.key()).arg(it.value());
    QSettings(settingsFile(), QSettings::IniFormat)
        .setValue(QStringLiteral("grid/columnWidths"), widths.join(QLatin1Char(',')));
}

void MainWindow::loadColumnWidths() {
    const QString text = QSettings(settingsFile(), QSettings::IniFormat)
                             .value(QStringLiteral("grid/columnWidths"))
                             .toString();
    for (const QString& part : text.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        const QStringList pair = part.split(QLatin1Char(':'));
        bool column = false, width = false;
        const int c = pair.value(0).toInt(&column), w = pair.value(1).toInt(&width);
        if (pair.size() == 2 && column && width && c >= 0 && c < static_cast<int>(kGridColumns.size()) &&
            w >= 60 && w <= 20000)
            m_setWidths[c] = w;
    }
}

void MainWindow::bindDefinitionTable(RecordSet* records) {
    m_settingUp = true;
    m_model->setRecords(records);
    const Twips t = Twips::of(this);
    if (records) {
        // Fitted to what the lines say, no narrower than the design and no wider than a third
        // of the grid; a width the user set is kept.
        const int widest = std::max(t.toPx(2400), m_grid->viewport()->width() / 3);
        for (int i = 0; i < static_cast<int>(kGridColumns.size()); ++i) {
            if (kGridColumns[i].width == 0) {
                m_grid->hideColumn(i);
                continue;
            }
            m_grid->showColumn(i);
            const int design = t.toPx(kGridColumns[i].width);
            const auto set = m_setWidths.find(i);
            m_grid->resizeColumnToContents(i);  // the values' and the caption's width
            const int fitted = std::clamp(m_grid->columnWidth(i), design, std::max(design, widest));
            m_grid->setColumnWidth(i, set != m_setWidths.end() ? t.toPx(*set) : fitted);
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

}  // namespace quorix
