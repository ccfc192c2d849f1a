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
    // As wide as the space before the fields: the longest caption takes all of it.
    auto* l = placeWidget<QLabel>(parent, name, t, 0, top, 1800, 300);
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
    label(this, "lblDSN", "データソース：", t, 870);
    m_userLabel = label(this, "lblUser", "ユーザ：", t, 1530);
    m_passwordLabel = label(this, "lblPassword", "パスワード：", t, 1890);
    m_hostLabel = label(this, "lblHost", "ホスト：", t, 1530);
    m_portLabel = placeWidget<QLabel>(this, "lblPort", t, 3810, 1530, 780, 300);
    m_portLabel->setText(QStringLiteral("ポート："));
    m_databaseLabel = label(this, "lblDatabase", "データベース：", t, 1890);

    m_type = placeWidget<QComboBox>(this, "cboDBType", t, 1800, 360, 2175, 315);
    m_type->setEditable(true);
    m_type->setInsertPolicy(QComboBox::NoInsert);
    m_typeNote = placeWidget<QLabel>(this, "lblTypeNote", t, 4080, 360, 2400, 315);
    m_dataSource = placeWidget<QLineEdit>(this, "txtDSN", t, 1800, 840, 3135, 315);
    m_example = placeWidget<QLabel>(this, "lblExample", t, 1800, 1170, 4700, 270);
    m_example->setForegroundRole(QPalette::PlaceholderText);
    QFont small = m_example->font();
    small.setPointSizeF(small.pointSizeF() * 0.9);
    m_example->setFont(small);
    m_user = placeWidget<QLineEdit>(this, "txtUser", t, 1800, 1500, 1935, 315);
    m_password = placeWidget<QLineEdit>(this, "txtPassword", t, 1800, 1860, 1935, 315);
    m_host = placeWidget<QLineEdit>(this, "txtHost", t, 1800, 1500, 1935, 315);
    m_host->setPlaceholderText(QStringLiteral("localhost"));
    m_portField = placeWidget<QLineEdit>(this, "txtPort", t, 4590, 1500, 780, 315);
    m_database = placeWidget<QLineEdit>(this, "txtDatabase", t, 1800, 1860, 1935, 315);
    m_browse = placeWidget<QPushButton>(this, "cmdDSN", t, 5040, 840, 1335, 375);
    m_browse->setText(QStringLiteral("参照(&B)..."));
    m_create = placeWidget<QPushButton>(this, "cmdCreateDB", t, 5040, 1470, 1335, 375);
    m_create->setText(QStringLiteral("新規作成(&D)"));
    m_test = placeWidget<QPushButton>(this, "cmdTestConnection", t, 5040, 1830, 1335, 375);
    m_test->setText(QStringLiteral("接続テスト(&T)"));
    m_ok = placeWidget<QPushButton>(this, "OKButton", t, 480, 2340, 1455, 615);
    m_ok->setText(QStringLiteral("接続(&O)"));
    m_cancel = placeWidget<QPushButton>(this, "CancelButton", t, 2160, 2340, 1455, 615);
    m_cancel->setText(QStringLiteral("キャンセル(&C)"));
    for (QPushButton* b : {m_browse, m_create, m_test, m_ok, m_cancel}) b->setAutoDefault(false);
    m_line = placeWidget<QFrame>(this, "lineStatus", t, 0, 3180, 6600, 15);
    m_line->setFrameShape(QFrame::HLine);
    m_line->setFrameShadow(QFrame::Sunken);
    m_status = placeWidget<QLabel>(this, "lblStatus", t, 0, 3180, 6600, 375);
    m_status->setWordWrap(true);

    setTabOrder(m_ok, m_cancel);
    setTabOrder(m_cancel, m_type);
    setTabOrder(m_type, m_dataSource);
    setTabOrder(m_dataSource, m_user);
    setTabOrder(m_user, m_password);
    setTabOrder(m_password, m_browse);
    setTabOrder(m_browse, m_create);
    setTabOrder(m_create, m_host);
    setTabOrder(m_host, m_portField);
    setTabOrder(m_portField, m_database);
    setTabOrder(m_database, m_test);

    connect(m_type, &QComboBox::editTextChanged, this, [this](const QString& type) {
        // "MS Access" keeps the Access types but makes SQLite 3 files: said beside the type.
        m_typeNote->setText(type == QLatin1String(ConnectDialog::kSupportedType)
                                ? QStringLiteral("（SQLite 3 のファイル）")
                                : QString());
        m_logic.cboDBType_Change();
    });
    // Only the user's own edits: a box the logic fills does not write the others again.
    for (QLineEdit* field : {m_host, m_portField, m_database})
        connect(field, &QLineEdit::textEdited, this, [this] { m_logic.serverFieldEdited(); });
    connect(m_dataSource, &QLineEdit::textEdited, this, [this] { m_logic.dataSourceEdited(); });
    connect(m_browse, &QPushButton::clicked, this, [this] { m_logic.cmdDSN_Click(); });
    connect(m_ok, &QPushButton::clicked, this, [this] { m_logic.OKButton_Click(); });
    connect(m_create, &QPushButton::clicked, this, [this] { m_logic.cmdCreateDB_Click(); });
    connect(m_test, &QPushButton::clicked, this, [this] {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        m_logic.cmdTestConnection_Click();
        QApplication::restoreOverrideCursor();
    });
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
std::string ConnectDialogWidget::hostText() const {
    return ss(m_host->text());
}
void ConnectDialogWidget::setHostText(const std::string& text) {
    m_host->setText(qs(text));
}
std::string ConnectDialogWidget::portText() const {
    return ss(m_portField->text());
}
void ConnectDialogWidget::setPortText(const std::string& text) {
    m_portField->setText(qs(text));
}
std::string ConnectDialogWidget::databaseText() const {
    return ss(m_database->text());
}
void ConnectDialogWidget::setDatabaseText(const std::string& text) {
    m_database->setText(qs(text));
}
void ConnectDialogWidget::showServerFields(bool shown, const std::string& defaultPort) {
    for (QWidget* w : std::initializer_list<QWidget*>{m_hostLabel, m_host, m_portLabel, m_portField,
                                                      m_databaseLabel, m_database})
        w->setVisible(shown);
    m_browse->setVisible(!shown);  // a server has no file to choose
    m_portField->setPlaceholderText(qs(defaultPort));
    // Where the server is, then who connects: the user's rows come after the server's.
    const Twips t = Twips::of(this);
    const int userTop = shown ? 2220 : 1500;
    m_user->move(m_user->x(), t.toPx(userTop));
    m_password->move(m_password->x(), t.toPx(userTop + 360));
    m_userLabel->move(m_userLabel->x(), t.toPx(userTop + 30));
    m_passwordLabel->move(m_passwordLabel->x(), t.toPx(userTop + 390));
    m_create->move(m_create->x(), t.toPx(userTop - 30));
    m_test->move(m_test->x(), t.toPx(userTop + 330));
    // The buttons and the status line come below the last row shown; the dialog ends there.
    const int buttons = shown ? 3060 : 2340;
    m_ok->move(m_ok->x(), t.toPx(buttons));
    m_cancel->move(m_cancel->x(), t.toPx(buttons));
    m_line->move(0, t.toPx(buttons + 840));
    m_status->move(0, t.toPx(buttons + 840));
    setFixedSize(width(), t.toPx(buttons + 840 + 480));
}
void ConnectDialogWidget::setExampleText(const std::string& text) {
    m_example->setText(qs(text));
}
void ConnectDialogWidget::closeDialog() {
    accept();
}

}  // namespace quorix
