#include <QApplication>

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
    return QApplication::exec();
}
