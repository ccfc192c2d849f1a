#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>

#include "modal.h"
#include "ui/about_box.h"
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
