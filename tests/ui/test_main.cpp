#include <gtest/gtest.h>

#include <QApplication>

#include "modal.h"
#include "ui/application.h"

namespace {

// A test that ends while an answer still waits for its dialog has failed.
class PendingAnswers : public ::testing::EmptyTestEventListener {
    void OnTestEnd(const ::testing::TestInfo&) override {
        ++quorix::test::modalGeneration();
        if (quorix::test::pendingModalAnswers() == 0) return;
        ADD_FAILURE() << "an expected dialog never opened";
        quorix::test::pendingModalAnswers() = 0;
    }
};

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    quorix::setUpApplication(app);
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::UnitTest::GetInstance()->listeners().Append(new PendingAnswers);
    quorix::test::watchForUnexpectedModals();
    return RUN_ALL_TESTS();
}
