#include "ui/xml_tag_dialog_widget.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "ui/dialogs.h"
#include "ui/qt_text.h"
#include "ui/twips.h"

namespace quorix {

XmlTagDialogWidget::XmlTagDialogWidget(AppSettings& settings, QWidget* parent)
    : QDialog(parent),
      m_logic(settings, static_cast<UserPort&>(static_cast<WidgetDialogs<UserPort>&>(*this))) {
    setUpFixedDialog(this, "dlgXML", QStringLiteral("XML文書の設定"), 3120, 1815);
    const Twips t = Twips::of(this);
    auto* lblRowset = new QLabel(QStringLiteral("基準タグ名："), this);
    lblRowset->setObjectName(QStringLiteral("lblRowset"));
    lblRowset->setGeometry(t.toPx(120, 240, 1080, 270));
    auto* lblRow = new QLabel(QStringLiteral("行タグ名："), this);
    lblRow->setObjectName(QStringLiteral("lblRow"));
    lblRow->setGeometry(t.toPx(120, 600, 1080, 270));
    m_rowset = new QLineEdit(qs(m_logic.rowsetText()), this);
    m_rowset->setObjectName(QStringLiteral("txtRowset"));
    m_rowset->setGeometry(t.toPx(1200, 225, 1815, 300));
    m_row = new QLineEdit(qs(m_logic.rowText()), this);
    m_row->setObjectName(QStringLiteral("txtRow"));
    m_row->setGeometry(t.toPx(1200, 585, 1815, 300));
    auto* ok = new QPushButton(QStringLiteral("設定(&O)"), this);
    ok->setObjectName(QStringLiteral("OKButton"));
    ok->setGeometry(t.toPx(240, 1080, 1215, 495));
    auto* cancel = new QPushButton(QStringLiteral("ｷｬﾝｾﾙ(&C)"), this);
    cancel->setObjectName(QStringLiteral("CancelButton"));
    cancel->setGeometry(t.toPx(1680, 1080, 1215, 495));
    // Neither button is the default or the cancel button.
    ok->setAutoDefault(false);
    cancel->setAutoDefault(false);
    setTabOrder(ok, cancel);
    setTabOrder(cancel, m_rowset);
    setTabOrder(m_rowset, m_row);
    connect(ok, &QPushButton::clicked, this, [this] {
        if (m_logic.OKButton_Click(ss(m_rowset->text()), ss(m_row->text()))) accept();
    });
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    ok->setFocus();
}

}  // namespace quorix
