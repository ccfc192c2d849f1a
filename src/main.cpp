#include <QApplication>
#include <QTimer>

#include "ui/application.h"
#include "ui/main_window.h"

int main(int argc, char* argv[]) {
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
