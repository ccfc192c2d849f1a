#include "ui/sql_dialog_widget.h"

#include <QClipboard>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <filesystem>

#include "definition_file/definition_file.h"
#include "ui/qt_text.h"

namespace quorix {

SqlDialogWidget::SqlDialogWidget(const std::string& sql, QWidget* parent)
    : QDialog(parent), m_sql(sql) {
    setObjectName(QStringLiteral("dlgSql"));
    setWindowTitle(QStringLiteral("作成するSQL"));
    resize(760, 480);
    m_text = new QPlainTextEdit(qs(sql), this);
    m_text->setObjectName(QStringLiteral("txtSql"));
    m_text->setReadOnly(true);
    m_text->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_text->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    QFont mono = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    mono.setFamilies({mono.family(), QStringLiteral("Noto Sans Mono CJK JP")});
    m_text->setFont(mono);
    auto* copy = new QPushButton(QStringLiteral("コピー"), this);
    copy->setObjectName(QStringLiteral("cmdCopy"));
    auto* saveButton = new QPushButton(QStringLiteral("保存..."), this);
    saveButton->setObjectName(QStringLiteral("cmdSave"));
    auto* close = new QPushButton(QStringLiteral("閉じる"), this);
    close->setObjectName(QStringLiteral("cmdClose"));
    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("lblStatus"));
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(copy);
    buttons->addWidget(saveButton);
    buttons->addStretch();
    buttons->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_text);
    layout->addLayout(buttons);
    layout->addWidget(m_status);
    connect(copy, &QPushButton::clicked, this, [this] {
        QGuiApplication::clipboard()->setText(qs(m_sql));
        setStatus("SQLをクリップボードにコピーしました。");
    });
    connect(saveButton, &QPushButton::clicked, this, &SqlDialogWidget::save);
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
}

void SqlDialogWidget::save() {
    FileDialogRequest request;
    request.filter = "SQL(*.sql)|*.sql|全てのファイル|*.*";
    request.defaultExtension = "sql";
    request.title = "SQLを保存";
    request.save = true;
    const auto file = chooseFile(request);
    if (!file) return;
    std::error_code ec;
    if (std::filesystem::exists(*file, ec) &&
        !askYesNo("ファイル「" + *file + "」は既に存在します。" + kCrLf + "置き換えますか？",
                  "SQLの保存", MessageIcon::Question))
        return;
    const std::string error = writeFileAtomically(*file, m_sql);
    if (!error.empty()) {
        beep();
        setStatus("ファイル「" + *file + "」を保存できません。(" + error + ")");
        return;
    }
    setStatus("ファイル「" + *file + "」を保存しました。");
}

void SqlDialogWidget::setStatus(const std::string& text) {
    m_statusText = text;
    m_status->setText(display(text));
}

}  // namespace quorix
