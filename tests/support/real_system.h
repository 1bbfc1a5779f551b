// Guards for tests that mount, unmount or attach loop devices on the real system.
#pragma once

#include <optional>
#include <string>

#include <gtest/gtest.h>

namespace quaylet::testing {

/// Moves the process into a private mount namespace whose mounts do not propagate to the host.
/// Called once before any test runs; remembers why it could not be done.
void enterPrivateMountNamespace();

/// Returns why real-system tests cannot run here (not root, no loop devices, no private mount
/// namespace), or nullopt when they can.
std::optional<std::string> realSystemUnavailableReason();

/// Whether a missing real system fails the test instead of skipping it (QUAYLET_REQUIRE_REAL=1).
bool realSystemRequired();

} // namespace quaylet::testing

/// Skips the current test, saying why, when the real system is unavailable; fails it instead
/// when QUAYLET_REQUIRE_REAL=1 is set, so that CI never passes by skipping.
#define QUAYLET_REQUIRE_REAL_SYSTEM()                                                              \
    do {                                                                                           \
        if (const auto quayletReason = ::quaylet::testing::realSystemUnavailableReason()) {        \
            if (::quaylet::testing::realSystemRequired()) {                                        \
                FAIL() << "real-system test cannot run: " << *quayletReason;                       \
            }                                                                                      \
            GTEST_SKIP() << "real-system test skipped: " << *quayletReason;                        \
        }                                                                                          \
    } while (false)
