#include <QApplication>
#include <QTimer>
#include <cstdio>
#include <cstring>

#include "ui/application.h"
#include "ui/main_window.h"

int main(int argc, char* argv[]) {
    // Answered before a display is needed.
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("quorix %s\n", QUORIX_VERSION);
        return 0;
    }
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::printf(
            "使い方: quorix [XML文書 | 定義ファイル.qxd]\n"
            "  データベースに接続したあと、指定した文書または定義ファイルを開きます。\n"
            "  quorix --version  バージョンを表示します。\n"
            "ウィンドウなしで使うには quorix-cli、詳しくは man quorix をご覧ください。\n");
        return 0;
    }
    QApplication app(argc, argv);
    quorix::setUpApplication(app);
    quorix::MainWindow window;
    switch (window.start()) {
        case quorix::MainWindowCore::StartResult::Quit:
            return 0;
        case quorix::MainWindowCore::StartResult::Failed:
            return 1;
        case quorix::MainWindowCore::StartResult::Started:
            break;
    }
    // "quorix FILE": a document (or a definition file) opened once the database is connected.
    const QStringList args = QApplication::arguments();
    if (args.size() > 1) {
        const std::string file = args.at(1).toStdString();
        QTimer::singleShot(0, &window, [&window, file] { window.core().OpenGivenFile(file); });
    }
    return QApplication::exec();
}
