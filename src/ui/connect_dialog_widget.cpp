#include "ui/connect_dialog_widget.h"

#include <QApplication>
#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "ui/dialogs.h"
#include "ui/qt_text.h"
#include "ui/twips.h"

namespace quorix {

namespace {

QLabel* label(QWidget* parent, const char* name, const char* text, const Twips& t, int top) {
    auto* l = placeWidget<QLabel>(parent, name, t, 30, top, 1770, 300);
    l->setText(QString::fromUtf8(text));
    return l;
}

}  // namespace

ConnectDialogWidget::ConnectDialogWidget(AppSettings& settings, QWidget* parent,
                                         const std::string& openDataSource)
    : QDialog(parent), m_logic(settings, static_cast<ConnectDialogPort&>(*this), openDataSource) {
    setUpFixedDialog(this, "dlgConnect", QString::fromUtf8(ConnectDialog::kTitle), 6600, 3390);
    const Twips t = Twips::of(this);

    label(this, "lblDBType", "データベースタイプ：", t, 390);
    label(this, "lblDSN", "データソース:", t, 870);
    label(this, "lblUser", "ユーザ：", t, 1215);
    label(this, "lblPassword", "パスワード：", t, 1575);

    m_type = placeWidget<QComboBox>(this, "cboDBType", t, 1800, 360, 2175, 315);
    m_type->setEditable(true);
    m_type->setInsertPolicy(QComboBox::NoInsert);
    m_typeNote = placeWidget<QLabel>(this, "lblTypeNote", t, 4080, 360, 2400, 315);
    m_dataSource = placeWidget<QLineEdit>(this, "txtDSN", t, 1800, 840, 3135, 315);
    m_user = placeWidget<QLineEdit>(this, "txtUser", t, 1800, 1200, 1935, 315);
    m_password = placeWidget<QLineEdit>(this, "txtPassword", t, 1800, 1560, 1935, 315);
    m_browse = placeWidget<QPushButton>(this, "cmdDSN", t, 5040, 840, 1335, 375);
    m_browse->setText(QStringLiteral("参照(&B)..."));
    m_create = placeWidget<QPushButton>(this, "cmdCreateDB", t, 5040, 1320, 1335, 375);
    m_create->setText(QStringLiteral("新規作成(&D)"));
    m_ok = placeWidget<QPushButton>(this, "OKButton", t, 480, 2160, 1455, 615);
    m_ok->setText(QStringLiteral("接続(&O)"));
    m_cancel = placeWidget<QPushButton>(this, "CancelButton", t, 2160, 2160, 1455, 615);
    m_cancel->setText(QStringLiteral("キャンセル(&C)"));
    for (QPushButton* b : {m_browse, m_create, m_ok, m_cancel}) b->setAutoDefault(false);
    m_line = placeWidget<QFrame>(this, "lineStatus", t, 0, 3000, 6600, 15);
    m_line->setFrameShape(QFrame::HLine);
    m_line->setFrameShadow(QFrame::Sunken);
    m_status = placeWidget<QLabel>(this, "lblStatus", t, 0, 3000, 6600, 375);

    setTabOrder(m_ok, m_cancel);
    setTabOrder(m_cancel, m_type);
    setTabOrder(m_type, m_dataSource);
    setTabOrder(m_dataSource, m_user);
    setTabOrder(m_user, m_password);
    setTabOrder(m_password, m_browse);
    setTabOrder(m_browse, m_create);

    connect(m_type, &QComboBox::editTextChanged, this, [this](const QString& type) {
        // "MS Access" keeps the Access types but makes SQLite 3 files: said beside the type.
        m_typeNote->setText(type == QLatin1String(ConnectDialog::kSupportedType)
                                ? QStringLiteral("（SQLite 3 のファイル）")
                                : QString());
        m_logic.cboDBType_Change();
    });
    connect(m_browse, &QPushButton::clicked, this, [this] { m_logic.cmdDSN_Click(); });
    connect(m_ok, &QPushButton::clicked, this, [this] { m_logic.OKButton_Click(); });
    connect(m_create, &QPushButton::clicked, this, [this] { m_logic.cmdCreateDB_Click(); });
    connect(m_cancel, &QPushButton::clicked, this, [this] { m_logic.CancelButton_Click(); });

    m_logic.Form_Load();
    m_ok->setFocus();
}

void ConnectDialogWidget::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    if (isMinimized()) return;
    m_line->resize(width(), m_line->height());
    m_status->resize(width(), m_status->height());
}

void ConnectDialogWidget::setStatus(const std::string& text) {
    m_status->setText(display(text));
}
std::string ConnectDialogWidget::status() const {
    return ss(m_status->text());
}
std::string ConnectDialogWidget::typeText() const {
    return ss(m_type->currentText());
}
void ConnectDialogWidget::setTypeText(const std::string& text) {
    m_type->setEditText(qs(text));
}
void ConnectDialogWidget::addTypeEntry(const std::string& text) {
    const QString current = m_type->currentText();
    m_type->addItem(qs(text));
    m_type->setEditText(current);
}
std::string ConnectDialogWidget::dataSourceText() const {
    return ss(m_dataSource->text());
}
void ConnectDialogWidget::setDataSourceText(const std::string& text) {
    m_dataSource->setText(qs(text));
}
std::string ConnectDialogWidget::userText() const {
    return ss(m_user->text());
}
void ConnectDialogWidget::setUserText(const std::string& text) {
    m_user->setText(qs(text));
}
std::string ConnectDialogWidget::passwordText() const {
    return ss(m_password->text());
}
void ConnectDialogWidget::setPasswordText(const std::string& text) {
    m_password->setText(qs(text));
}
void ConnectDialogWidget::setCreateEnabled(bool enabled) {
    m_create->setEnabled(enabled);
}
void ConnectDialogWidget::closeDialog() {
    accept();
}

}  // namespace quorix
