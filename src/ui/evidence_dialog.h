#pragma once

#include <QDialog>
#include <string>
#include <vector>

class QTableWidget;

namespace quorix {

/// dlgEvidence ("データの傾向"): the figures of every line, sortable by any column and copyable;
/// also any other table of figures under its own title and name.
class EvidenceDialog : public QDialog {
    Q_OBJECT
public:
    /// @p table: a header row, then one row per line.
    EvidenceDialog(const std::vector<std::vector<std::string>>& table, QWidget* parent = nullptr,
                   const QString& title = QStringLiteral("データの傾向"),
                   const QString& name = QStringLiteral("dlgEvidence"),
                   const QString& heading = {});

    /// The table as tab-separated lines, in the order shown, header first.
    QString text() const;

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    QTableWidget* m_table = nullptr;
};

}  // namespace quorix
