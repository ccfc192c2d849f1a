#include "ui/about_box.h"

#include <QApplication>
#include <QFrame>
#include <QLabel>
#include <QProcess>
#include <QPushButton>

#include "ui/dialogs.h"
#include "ui/program_icon.h"
#include "ui/qt_text.h"
#include "ui/twips.h"

namespace quorix {

AboutBox::AboutBox(QWidget* parent) : QDialog(parent) {
    setUpFixedDialog(this, "frmAbout", QString::fromUtf8(AboutTexts::kCaption), 7200, 3480);
    const Twips t = Twips::of(this);

    auto* icon = new QLabel(this);
    icon->setObjectName(QStringLiteral("picIcon"));
    icon->setPixmap(programIcon().pixmap(48, 48));
    icon->setGeometry(t.toPx(240, 240, 720, 720));
    auto label = [&](const char* name, const char* text, int left, int top, int width, int height) {
        auto* l = placeWidget<QLabel>(this, name, t, left, top, width, height);
        l->setText(display(text));
        l->setWordWrap(true);
        l->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        return l;
    };
    QLabel* title = label("lblTitle", AboutTexts::kTitle, 1200, 240, 5760, 480);
    QFont big = title->font();
    big.setPointSize(14);
    title->setFont(big);
    label("lblVersion", AboutTexts::kVersion, 1200, 780, 5760, 300);
    label("lblDescription", AboutTexts::kDescription, 1200, 1140, 5760, 600);
    auto* line = new QFrame(this);
    line->setObjectName(QStringLiteral("lineSeparator"));
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    line->setGeometry(t.toPx(240, 1860, 6720, 30));
    label("lblDisclaimer", AboutTexts::kDisclaimer, 240, 2010, 4920, 1560);
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("cmdOK"));
    ok->setGeometry(t.toPx(5400, 2160, 1560, 420));
    ok->setDefault(true);
    auto* sysInfo = new QPushButton(QStringLiteral("ｼｽﾃﾑ情報(&S)..."), this);
    sysInfo->setObjectName(QStringLiteral("cmdSysInfo"));
    sysInfo->setGeometry(t.toPx(5400, 2760, 1560, 420));
    sysInfo->setAutoDefault(false);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(sysInfo, &QPushButton::clicked, this, [this] {
        StartSysInfo(qEnvironmentVariable("PATH").toStdString(),
                     static_cast<ProgramStarter&>(*this), static_cast<UserPort&>(*this));
    });
    setWindowIcon(programIcon());
}

bool AboutBox::startDetached(const std::string& program) {
    return QProcess::startDetached(qs(program), {});
}

}  // namespace quorix
