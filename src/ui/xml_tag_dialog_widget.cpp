#include "ui/xml_tag_dialog_widget.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <algorithm>

#include "ui/dialogs.h"
#include "ui/qt_text.h"
#include "ui/twips.h"

namespace quorix {

XmlTagDialogWidget::XmlTagDialogWidget(AppSettings& settings, QWidget* parent)
    : QDialog(parent),
      m_logic(settings, static_cast<UserPort&>(static_cast<WidgetDialogs<UserPort>&>(*this))) {
    setUpFixedDialog(this, "dlgXML", QStringLiteral("XML文書の設定"), 3120, 1815);
    const Twips t = Twips::of(this);
    // A caption wider than its design width takes the room up to its field, never less.
    auto label = [&](const char* name, const char* text, int top) {
        auto* l = placeWidget<QLabel>(this, name, t, 120, top, 975, 255);
        l->setText(QString::fromUtf8(text));
        const int room = t.toPx(1200) - l->x();
        l->resize(std::clamp(l->fontMetrics().horizontalAdvance(l->text()), l->width(), room),
                  l->height());
    };
    label("lblRowset", "基準タグ名：", 240);
    label("lblRow", "行タグ名：", 600);
    m_rowset = new QLineEdit(qs(m_logic.rowsetText()), this);
    m_rowset->setObjectName(QStringLiteral("txtRowset"));
    m_rowset->setGeometry(t.toPx(1200, 240, 1815, 270));
    m_row = new QLineEdit(qs(m_logic.rowText()), this);
    m_row->setObjectName(QStringLiteral("txtRow"));
    m_row->setGeometry(t.toPx(1200, 600, 1815, 270));
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
