// Entry point of real-system test programs: every test runs in a private mount namespace, in a
// session of its own.
#include <gtest/gtest.h>

#include "tests/support/own_session.h"
#include "tests/support/real_system.h"

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (!GTEST_FLAG_GET(list_tests)) {
        quaylet::testing::enterOwnSession();
        quaylet::testing::enterPrivateMountNamespace();
    }
    return RUN_ALL_TESTS();
}
