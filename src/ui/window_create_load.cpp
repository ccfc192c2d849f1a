#include <QApplication>
#include <QCloseEvent>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProgressDialog>
#include <QTimer>
#include <atomic>
#include <thread>

#include "ui/evidence_dialog.h"
#include "ui/main_window.h"
#include "ui/qt_text.h"
#include "ui/sql_dialog_widget.h"

namespace quorix {

void MainWindow::showLoadSummary(const std::string& heading,
                                 const std::vector<std::vector<std::string>>& table) {
    // Not modal: the figures stay beside the window while the user looks at the tables; the
    // last load's replaces the one before.
    if (auto* before = findChild<QDialog*>(QStringLiteral("dlgLoadSummary"))) before->close();
    auto* dialog = new EvidenceDialog(table, this, QStringLiteral("取り込みの結果"),
                                      QStringLiteral("dlgLoadSummary"), display(heading));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setAttribute(Qt::WA_ShowWithoutActivating);  // the keys stay with the window
    dialog->resize(640, 320);
    dialog->show();
}

void MainWindow::showSqlDialog(const std::string& sql) {
    SqlDialogWidget dialog(sql, this);
    dialog.exec();
}

namespace {

// Swallows the user's input everywhere but in one dialog (and nowhere while there is none),
// closing the window included: background work finishes or is cancelled first.
class InputBlocker : public QObject {
public:
    QWidget* allowed = nullptr;

    bool eventFilter(QObject* watched, QEvent* event) override {
        switch (event->type()) {
            case QEvent::MouseButtonPress:
            case QEvent::MouseButtonRelease:
            case QEvent::MouseButtonDblClick:
            case QEvent::KeyPress:
            case QEvent::KeyRelease:
            case QEvent::Wheel:
            case QEvent::Shortcut:
            case QEvent::ShortcutOverride:
            case QEvent::Close: {
                auto* w = qobject_cast<QWidget*>(watched);
                return !(allowed && w && (w == allowed || allowed->isAncestorOf(w)));
            }
            default:
                return false;
        }
    }
};

}  // namespace

void MainWindow::runInBackground(const std::string& label, BackgroundWork& state,
                                 const std::function<void()>& work) {
    std::atomic<bool> finished{false};
    std::thread worker([&] {
        work();
        finished = true;
    });
    InputBlocker blocker;
    qApp->installEventFilter(&blocker);
    QProgressDialog* dialog = nullptr;
    QElapsedTimer clock;
    clock.start();
    QEventLoop loop;
    QTimer poll;
    poll.setInterval(15);
    connect(&poll, &QTimer::timeout, this, [&] {
        if (finished) {
            loop.quit();
            return;
        }
        if (!dialog && clock.elapsed() >= m_progressDelay) {
            dialog = new QProgressDialog(qs(label), QStringLiteral("キャンセル"), 0, 1000, this);
            dialog->setObjectName(QStringLiteral("dlgProgress"));
            dialog->setWindowTitle(QStringLiteral("Quorix"));
            dialog->setWindowModality(Qt::WindowModal);
            dialog->setMinimumDuration(0);
            dialog->setAutoReset(false);
            dialog->setAutoClose(false);
            if (state.cancellable)
                connect(dialog, &QProgressDialog::canceled, this,
                        [&state] { state.cancelRequested = true; });
            else
                dialog->setCancelButton(nullptr);
            blocker.allowed = dialog;
            dialog->show();
        }
        if (dialog) {
            // Work that cannot say how far it is shows a moving bar.
            const std::uint64_t total = state.total;
            dialog->setMaximum(total ? 1000 : 0);
            dialog->setValue(total ? static_cast<int>(state.done * 1000 / total) : 0);
        }
    });
    poll.start();
    loop.exec();
    worker.join();
    qApp->removeEventFilter(&blocker);
    delete dialog;
}

}  // namespace quorix
