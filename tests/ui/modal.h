#pragma once

#include <QApplication>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>

namespace quorix::test {

/// Runs @p action on the next modal window that opens (a dialog, a message box), as a user
/// would answer it. The action gets the window.
inline void onNextModal(std::function<void(QWidget*)> action) {
    auto* timer = new QTimer;
    timer->setInterval(5);
    auto pending = std::make_shared<std::function<void(QWidget*)>>(std::move(action));
    QObject::connect(timer, &QTimer::timeout, [timer, pending] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || !modal->isVisible()) return;
        timer->stop();
        timer->deleteLater();
        (*pending)(modal);
    });
    timer->start();
}

}  // namespace quorix::test
