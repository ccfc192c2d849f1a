#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QTimer>
#include <QWidget>
#include <chrono>
#include <functional>
#include <memory>
#include <thread>

namespace quorix::test {

/// Answers waiting for their dialog; a test that ends with one still waiting has failed.
inline int& pendingModalAnswers() {
    static int pending = 0;
    return pending;
}

/// Counts the tests that ended: an answer left from an earlier test never acts.
inline int& modalGeneration() {
    static int generation = 0;
    return generation;
}

/// How long a test waits for a dialog it expects, or lets one it does not expect stand.
constexpr int kModalTimeoutMs = 10000;

/// Runs @p action on the next modal window that opens (a dialog, a message box), as a user
/// would answer it. The action gets the window. A dialog that does not open within
/// kModalTimeoutMs fails the test.
inline void onNextModal(std::function<void(QWidget*)> action) {
    auto* timer = new QTimer;
    timer->setInterval(5);
    auto pending = std::make_shared<std::function<void(QWidget*)>>(std::move(action));
    auto clock = std::make_shared<QElapsedTimer>();
    clock->start();
    ++pendingModalAnswers();
    const int generation = modalGeneration();
    QObject::connect(timer, &QTimer::timeout, [timer, pending, clock, generation] {
        if (generation != modalGeneration()) {
            timer->stop();
            timer->deleteLater();
            return;
        }
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || !modal->isVisible()) {
            if (clock->elapsed() < kModalTimeoutMs) return;
            ADD_FAILURE() << "the expected dialog did not open";
            modal = nullptr;
        }
        timer->stop();
        timer->deleteLater();
        --pendingModalAnswers();
        if (modal) (*pending)(modal);
    });
    timer->start();
}

/// Closes a modal window that no answer waits for once it has stood for kModalTimeoutMs,
/// failing the test, instead of letting the test hang. Started once by the test program.
inline void watchForUnexpectedModals() {
    auto* timer = new QTimer(qApp);
    timer->setInterval(100);
    auto since = std::make_shared<QElapsedTimer>();
    QObject::connect(timer, &QTimer::timeout, [since] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || !modal->isVisible() || pendingModalAnswers() > 0) {
            since->invalidate();
            return;
        }
        if (!since->isValid()) since->start();
        if (since->elapsed() < kModalTimeoutMs) return;
        const auto* box = qobject_cast<QMessageBox*>(modal);
        ADD_FAILURE() << "an unexpected dialog stood open: " << modal->objectName().toStdString()
                      << " " << (box ? box->text().toStdString() : std::string());
        if (auto* dialog = qobject_cast<QDialog*>(modal))
            dialog->reject();
        else
            modal->close();
        since->invalidate();
    });
    timer->start();
}

/// Waits, processing events, until @p done holds; fails the test after @p timeoutMs.
inline bool waitUntil(const std::function<bool()>& done, int timeoutMs = 10000) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > timeoutMs) {
            ADD_FAILURE() << "waited " << timeoutMs << " ms in vain";
            return false;
        }
        QApplication::processEvents(QEventLoop::AllEvents, 20);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

}  // namespace quorix::test
