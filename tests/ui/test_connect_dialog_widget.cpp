#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <cstdlib>

#include "modal.h"
#include "support/test_support.h"
#include "ui/connect_dialog_widget.h"
#include "ui/dialogs.h"

using namespace quorix;

TEST(ConnectDialogWidget, ControlsCaptionsAndTabOrder) {
    AppSettings settings;
    settings.setDefaults();
    settings.putDSN("/data/x.mdb");
    ConnectDialogWidget dialog(settings);
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("データベース接続情報"));
    const std::pair<const char*, const char*> captions[] = {{"cmdDSN", "参照(&B)..."},
                                                            {"cmdCreateDB", "新規作成(&D)"},
                                                            {"OKButton", "接続(&O)"},
                                                            {"CancelButton", "キャンセル(&C)"}};
    for (const auto& [name, text] : captions) {
        auto* b = dialog.findChild<QPushButton*>(QLatin1String(name));
        ASSERT_TRUE(b) << name;
        EXPECT_EQ(b->text(), QString::fromUtf8(text));
    }
    for (const char* l : {"lblDBType", "lblDSN", "lblUser", "lblPassword", "lblStatus"})
        EXPECT_TRUE(dialog.findChild<QLabel*>(QLatin1String(l))) << l;
    EXPECT_EQ(dialog.findChild<QLineEdit*>(QStringLiteral("txtDSN"))->text(),
              QStringLiteral("/data/x.mdb"));
    EXPECT_EQ(dialog.findChild<QLineEdit*>(QStringLiteral("txtPassword"))->echoMode(),
              QLineEdit::Normal);
    auto* type = dialog.findChild<QComboBox*>(QStringLiteral("cboDBType"));
    EXPECT_EQ(type->currentText(), QStringLiteral("MS Access"));
    auto* create = dialog.findChild<QPushButton*>(QStringLiteral("cmdCreateDB"));
    EXPECT_TRUE(create->isEnabled());
    auto* note = dialog.findChild<QLabel*>(QStringLiteral("lblTypeNote"));
    ASSERT_TRUE(note);
    EXPECT_EQ(note->text(), QStringLiteral("（SQLite 3 のファイル）"));
    EXPECT_LE(note->sizeHint().width(), note->width());  // the note fits its place
    type->setEditText(QStringLiteral("ms access"));
    EXPECT_FALSE(create->isEnabled());
    EXPECT_EQ(note->text(), QString());

    // Focus chain: connect, cancel, type, source, user, password, browse, create.
    QStringList chain;
    QWidget* w = dialog.findChild<QPushButton*>(QStringLiteral("OKButton"));
    for (int i = 0; i < 8; ++i) {
        chain << w->objectName();
        do {
            w = w->nextInFocusChain();
        } while (w->objectName().isEmpty() || w->focusPolicy() == Qt::NoFocus);
    }
    EXPECT_EQ(chain.join(QLatin1Char(',')),
              QStringLiteral(
                  "OKButton,CancelButton,cboDBType,txtDSN,txtUser,txtPassword,cmdDSN,cmdCreateDB"));
}

TEST(ConnectDialogWidget, BlankSourceIsRefusedInAMessageBox) {
    AppSettings settings;
    settings.setDefaults();
    ConnectDialogWidget dialog(settings);
    dialog.findChild<QLineEdit*>(QStringLiteral("txtDSN"))->setText(QStringLiteral("   "));
    QString seen;
    test::onNextModal([&](QWidget* box) {
        auto* m = qobject_cast<QMessageBox*>(box);
        ASSERT_TRUE(m);
        seen = m->windowTitle() + QLatin1Char('|') + m->text();
        m->accept();
    });
    dialog.findChild<QPushButton*>(QStringLiteral("OKButton"))->click();
    EXPECT_EQ(seen, QStringLiteral("データベース接続情報|DSNを入力してください。"));
    EXPECT_FALSE(settings.getDlgFlg());
}

TEST(Dialogs, TheFileDialogShowsTheLabelsAsWritten) {
    QStringList shown;
    test::onNextModal([&](QWidget* w) {
        auto* combo = w->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
        ASSERT_TRUE(combo);
        for (int i = 0; i < combo->count(); ++i) shown << combo->itemText(i);
        qobject_cast<QDialog*>(w)->reject();
    });
    FileDialogRequest request;
    request.filter = "XML(*.xml)|*.xml|全てのファイル|*.*";
    EXPECT_FALSE(chooseFileDialog(nullptr, request));
    EXPECT_EQ(shown, (QStringList{QStringLiteral("XML(*.xml)"), QStringLiteral("全てのファイル")}));
}

TEST(Dialogs, FileFiltersInQtsForm) {
    EXPECT_EQ(
        nameFilters("MS Access(*.mdb)|*.mdb|全てのファイル|*.*"),
        (QStringList{QStringLiteral("MS Access(*.mdb)"), QStringLiteral("全てのファイル (*)")}));
    EXPECT_EQ(nameFilters("XML(*.xml)|*.xml|全てのファイル|*.*").size(), 2);
}

TEST(ConnectDialogWidget, EachTypeShowsItsFieldsAndEveryTextFits) {
    AppSettings settings;
    settings.setDefaults();
    ConnectDialogWidget dialog(settings);
    dialog.show();
    auto* type = dialog.findChild<QComboBox*>(QStringLiteral("cboDBType"));
    auto* host = dialog.findChild<QLineEdit*>(QStringLiteral("txtHost"));
    auto* dsn = dialog.findChild<QLineEdit*>(QStringLiteral("txtDSN"));
    ASSERT_TRUE(host && dsn && dialog.findChild<QPushButton*>(QStringLiteral("cmdTestConnection")));
    int fileHeight = 0;
    for (const char* t : {"MS Access", "PostgreSQL", "MariaDB / MySQL"}) {
        SCOPED_TRACE(t);
        type->setEditText(QString::fromUtf8(t));
        const bool server = std::string(t) != "MS Access";
        EXPECT_EQ(host->isVisible(), server);
        EXPECT_EQ(dialog.findChild<QPushButton*>(QStringLiteral("cmdDSN"))->isVisible(), !server);
        if (!server) fileHeight = dialog.height();
        if (server) EXPECT_GT(dialog.height(), fileHeight);
        for (QLabel* l : dialog.findChildren<QLabel*>())
            if (l->isVisible() && !l->text().isEmpty() && !l->wordWrap())
                EXPECT_LE(l->sizeHint().width(), l->width()) << l->objectName().toStdString();
        for (QPushButton* b : dialog.findChildren<QPushButton*>())
            if (b->isVisible()) EXPECT_LE(b->geometry().bottom(), dialog.height()) << b->objectName().toStdString();
        if (const char* shots = std::getenv("QUORIX_SHOTS"))  // to look at
            dialog.grab().save(QStringLiteral("%1/connect-%2.png").arg(QString::fromLocal8Bit(shots)).arg(QString::fromUtf8(t).left(2)));
    }
    // A field typed writes the data source; the data source typed fills the fields.
    QTest::keyClicks(host, QStringLiteral("db1"));
    EXPECT_EQ(dsn->text(), QStringLiteral("host=db1"));
    dsn->clear();
    QTest::keyClicks(dsn, QStringLiteral("host=h2 database=d"));
    EXPECT_EQ(host->text(), QStringLiteral("h2"));
    EXPECT_EQ(dialog.findChild<QLineEdit*>(QStringLiteral("txtDatabase"))->text(), QStringLiteral("d"));
}
