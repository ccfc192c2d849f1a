#include "ui/application.h"

#include <QApplication>
#include <QFont>
#include <QLibraryInfo>
#include <QTranslator>

namespace quorix {

void setUpApplication(QApplication& app) {
    QApplication::setApplicationName(QStringLiteral("Quorix"));
    QApplication::setApplicationVersion(QStringLiteral("1.0.0"));
    QFont font(QStringLiteral("Noto Sans CJK JP"), 9);
    font.setStyleHint(QFont::SansSerif);
    QApplication::setFont(font);
    auto* translator = new QTranslator(&app);
    if (translator->load(QStringLiteral("qtbase_ja"),
                         QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(translator);
}

}  // namespace quorix
