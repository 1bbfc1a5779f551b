// Entry point of the application's tests: one QApplication, offscreen unless told otherwise, in
// a session of its own.
#include <QApplication>
#include <gtest/gtest.h>

#include "tests/support/own_session.h"

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (!GTEST_FLAG_GET(list_tests)) {
        quaylet::testing::enterOwnSession();
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication application(argc, argv);
    return RUN_ALL_TESTS();
}
