#include <gtest/gtest.h>

#include <QClipboard>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <fstream>
#include <sstream>

#include "modal.h"
#include "support/test_support.h"
#include "ui/about_box.h"
#include "ui/connect_dialog_widget.h"
#include "ui/sql_dialog_widget.h"
#include "ui/twips.h"
#include "ui/xml_tag_dialog_widget.h"

using namespace quorix;

TEST(XmlTagDialogWidget, StoresOnlyWhatIsConfirmed) {
    AppSettings settings;
    settings.setDefaults();
    {
        XmlTagDialogWidget dialog(settings);
        EXPECT_EQ(dialog.windowTitle(), QStringLiteral("XML文書の設定"));
        auto* rowset = dialog.findChild<QLineEdit*>(QStringLiteral("txtRowset"));
        auto* row = dialog.findChild<QLineEdit*>(QStringLiteral("txtRow"));
        EXPECT_EQ(rowset->text(), QStringLiteral("ROWSET"));
        EXPECT_EQ(row->text(), QStringLiteral("ROW"));
        EXPECT_EQ(dialog.findChild<QLabel*>(QStringLiteral("lblRowset"))->text(),
                  QStringLiteral("基準タグ名："));
        auto* ok = dialog.findChild<QPushButton*>(QStringLiteral("OKButton"));
        auto* cancel = dialog.findChild<QPushButton*>(QStringLiteral("CancelButton"));
        EXPECT_EQ(cancel->text(), QStringLiteral("ｷｬﾝｾﾙ(&C)"));
        EXPECT_FALSE(ok->isDefault());
        rowset->setText(QStringLiteral("  "));
        row->setText(QString());
        QString message;
        test::onNextModal([&](QWidget* box) {
            message = qobject_cast<QMessageBox*>(box)->text();
            qobject_cast<QMessageBox*>(box)->accept();
        });
        ok->click();
        EXPECT_EQ(message, QStringLiteral("基準タグ名を入力してください。"));
        rowset->setText(QStringLiteral(" DATA"));
        row->setText(QStringLiteral("REC "));
        cancel->click();
        EXPECT_EQ(settings.getRowset(), "ROWSET");
    }
    XmlTagDialogWidget dialog(settings);
    dialog.findChild<QLineEdit*>(QStringLiteral("txtRow"))->setText(QStringLiteral(" REC"));
    dialog.findChild<QPushButton*>(QStringLiteral("OKButton"))->click();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(settings.getRow(), " REC");
}

TEST(DialogGeometry, ControlsStandWhereTheDesignPutsThem) {
    AppSettings settings;
    settings.setDefaults();
    XmlTagDialogWidget xml(settings);
    ConnectDialogWidget connect(settings);
    struct Place {
        QWidget* dialog;
        const char* name;
        TwipsRect rect;
    };
    const Place places[] = {
        {&xml, "lblRowset", {120, 240, 975, 255}},     {&xml, "lblRow", {120, 600, 975, 255}},
        {&xml, "txtRowset", {1200, 240, 1815, 270}},   {&xml, "txtRow", {1200, 600, 1815, 270}},
        {&connect, "lblStatus", {0, 3180, 6600, 375}},  // below the example line
    };
    for (const auto& p : places) {
        auto* w = p.dialog->findChild<QWidget*>(QLatin1String(p.name));
        ASSERT_TRUE(w) << p.name;
        const Twips t = Twips::of(w);
        const QRect want = t.toPx(p.rect);
        EXPECT_EQ(w->pos(), want.topLeft()) << p.name;
        EXPECT_EQ(w->height(), want.height()) << p.name;
        auto* label = qobject_cast<QLabel*>(w);
        if (!label || label->text().isEmpty()) {
            EXPECT_EQ(w->width(), want.width()) << p.name;
            continue;
        }
        // A caption is never cut: it may take the room up to its field, and no more.
        const int caption = label->fontMetrics().horizontalAdvance(label->text());
        EXPECT_EQ(label->width(), std::clamp(caption, want.width(), t.toPx(1200 - 120))) << p.name;
        EXPECT_LE(caption, label->width()) << p.name;
    }
}

TEST(AboutBox, TextsAndSystemInformation) {
    AboutBox box;
    EXPECT_EQ(box.windowTitle(), QStringLiteral("Quorixのﾊﾞｰｼﾞｮﾝ情報"));
    EXPECT_EQ(box.findChild<QLabel*>(QStringLiteral("lblVersion"))->text(),
              QStringLiteral("ﾊﾞｰｼﾞｮﾝ 1.0.0"));
    EXPECT_TRUE(box.findChild<QLabel*>(QStringLiteral("lblTitle"))
                    ->text()
                    .startsWith(QStringLiteral("Quorix(フリーソフト)")));
    EXPECT_FALSE(box.findChild<QLabel*>(QStringLiteral("picIcon"))->pixmap().isNull());
    EXPECT_EQ(
        box.findChild<QLabel*>(QStringLiteral("lblDisclaimer"))->text().count(QLatin1Char('\n')),
        1);
    // No tool on the path: the message, and the box stays.
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", "/nonexistent");
    QString message;
    test::onNextModal([&](QWidget* w) {
        message = qobject_cast<QMessageBox*>(w)->text();
        qobject_cast<QMessageBox*>(w)->accept();
    });
    box.findChild<QPushButton*>(QStringLiteral("cmdSysInfo"))->click();
    qputenv("PATH", path);
    EXPECT_EQ(message, QStringLiteral("現時点ではｼｽﾃﾑ情報を使用できません"));
}

TEST(SqlDialogWidget, ShowsCopiesAndSavesTheStatements) {
    const std::string sql = "BEGIN;\nCREATE TABLE \"表\" (\"a\" INTEGER);\nCOMMIT;\n";
    SqlDialogWidget dialog(sql);
    auto* text = dialog.findChild<QPlainTextEdit*>(QStringLiteral("txtSql"));
    ASSERT_TRUE(text);
    EXPECT_TRUE(text->isReadOnly());
    EXPECT_EQ(text->toPlainText().toStdString(), sql);
    dialog.findChild<QPushButton*>(QStringLiteral("cmdCopy"))->click();
    EXPECT_EQ(QGuiApplication::clipboard()->text().toStdString(), sql);

    test::TempDir dir;
    const std::string path = dir.file("create.sql");
    test::onNextModal([&](QWidget* w) {
        auto* files = qobject_cast<QFileDialog*>(w);
        ASSERT_TRUE(files);
        files->selectFile(QString::fromStdString(path));
        QMetaObject::invokeMethod(files, "accept", Qt::DirectConnection);
    });
    dialog.findChild<QPushButton*>(QStringLiteral("cmdSave"))->click();
    std::ifstream in(path);
    std::stringstream saved;
    saved << in.rdbuf();
    EXPECT_EQ(saved.str(), sql);
}
