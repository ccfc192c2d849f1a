#include <QCoreApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QMenu>
#include <QMimeData>
#include <QPointer>
#include <QProcess>
#include <QSettings>
#include <QStandardPaths>
#include <QTimer>

#include "ui/about_box.h"
#include "ui/main_window.h"
#include "ui/qt_text.h"
#include "ui/xml_tag_dialog_widget.h"

namespace quorix {

// Remembered between runs, under the user's configuration folder.
QString MainWindow::settingsFile() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/Quorix/quorix.ini");
}

void MainWindow::showXmlTagDialog(AppSettings& settings) {
    XmlTagDialogWidget dialog(settings, this);
    dialog.exec();
}

void MainWindow::loadStoredSettings(AppSettings& settings) {
    QSettings stored(settingsFile(), QSettings::IniFormat);
    auto load = [&](const char* key, void (AppSettings::*put)(const std::string&)) {
        const QString value = stored.value(QLatin1String(key)).toString();
        if (!value.isEmpty()) (settings.*put)(ss(value));
    };
    load("connection/dbType", &AppSettings::putDBType);
    load("connection/dataSource", &AppSettings::putDSN);
    load("connection/user", &AppSettings::putUser);
    load("xml/rowset", &AppSettings::putRowset);
    load("xml/row", &AppSettings::putRow);
    settings.putAttributes(stored.value(QStringLiteral("xml/attributes"), false).toBool());
    load("load/mode", &AppSettings::putLoadMode);
    settings.putRemember(stored.value(QStringLiteral("load/remember"), false).toBool());
}

void MainWindow::storeSettings(const AppSettings& settings) {
    QSettings stored(settingsFile(), QSettings::IniFormat);
    stored.setValue(QStringLiteral("connection/dbType"), qs(settings.getDBType()));
    stored.setValue(QStringLiteral("connection/dataSource"), qs(settings.getDSN()));
    stored.setValue(QStringLiteral("connection/user"), qs(settings.getUser()));
    stored.setValue(QStringLiteral("xml/rowset"), qs(settings.getRowset()));
    stored.setValue(QStringLiteral("xml/row"), qs(settings.getRow()));
    stored.setValue(QStringLiteral("xml/attributes"), settings.getAttributes());
    stored.setValue(QStringLiteral("load/mode"), qs(settings.getLoadMode()));
    stored.setValue(QStringLiteral("load/remember"), settings.getRemember());
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
    const auto urls = event->mimeData()->urls();
    if (urls.size() == 1 && urls.front().isLocalFile()) event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent* event) {
    const auto urls = event->mimeData()->urls();
    if (urls.size() != 1 || !urls.front().isLocalFile()) return;
    event->acceptProposedAction();
    const std::string path = ss(urls.front().toLocalFile());
    // After the drop has finished: the open may show a progress dialog.
    QTimer::singleShot(0, this, [this, path] { m_core->OpenGivenFile(path); });
}

namespace {

constexpr int kRecentFiles = 8;

}  // namespace

void MainWindow::fileUsed(const std::string& path) {
    QSettings stored(settingsFile(), QSettings::IniFormat);
    QStringList files = stored.value(QStringLiteral("recent/files")).toStringList();
    const QString file = QFileInfo(qs(path)).absoluteFilePath();
    files.removeAll(file);
    files.prepend(file);
    while (files.size() > kRecentFiles) files.removeLast();
    stored.setValue(QStringLiteral("recent/files"), files);
    showRecentFiles();
}

void MainWindow::showRecentFiles() {
    m_mnuRecent->clear();
    const QStringList files = QSettings(settingsFile(), QSettings::IniFormat)
                                  .value(QStringLiteral("recent/files"))
                                  .toStringList();
    for (int i = 0; i < files.size(); ++i) {
        // "&1 name" for the keyboard; the full path in the tooltip.
        QAction* a = m_mnuRecent->addAction(
            QStringLiteral("&%1 %2").arg(i + 1).arg(QFileInfo(files[i]).fileName()));
        a->setObjectName(QStringLiteral("mnuRecent%1").arg(i + 1));
        a->setToolTip(files[i]);
        a->setData(files[i]);
        connect(a, &QAction::triggered, this,
                [this, file = files[i]] { m_core->OpenGivenFile(ss(file)); });
    }
    m_mnuRecent->setToolTipsVisible(true);
    m_mnuRecent->setEnabled(!files.isEmpty());
}

void MainWindow::showAboutBox() {
    AboutBox box(this);
    box.exec();
}

std::string MainWindow::programDir() const {
    return QCoreApplication::applicationDirPath().toStdString();
}

void MainWindow::openWithViewer(const std::string& viewer, const std::string& file) {
    // Without a parent: a viewer that keeps running outlives the window.
    auto* process = new QProcess;
    const QPointer<MainWindow> window(this);
    const auto failed = [process, window, file] {
        process->deleteLater();
        if (window) window->m_core->guideNotOpened(file);
    };
    connect(process, &QProcess::finished, process,
            [process, failed](int exitCode, QProcess::ExitStatus status) {
                if (status != QProcess::NormalExit || exitCode != 0) return failed();
                process->deleteLater();
            });
    connect(process, &QProcess::errorOccurred, process, [failed](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart) failed();
    });
    process->start(qs(viewer), {qs(file)});
}

}  // namespace quorix
