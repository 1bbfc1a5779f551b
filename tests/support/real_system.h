// Guards for tests that mount, unmount or attach loop devices on the real system.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/loop_disk.h"
#include "tests/support/test_paths.h"

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

namespace quaylet::testing {

/// The fixture of real-system tests: skips (or fails) without the real system and owns a
/// temporary directory for images and mount points, removed after everything in the test.
class RealSystemTest : public ::testing::Test {
protected:
    void SetUp() override {
        QUAYLET_REQUIRE_REAL_SYSTEM();
        ASSERT_FALSE(scratch.path().empty());
    }

    /// Returns the path of `name` in the temporary directory.
    std::string at(const std::string& name) const { return scratch.path() + "/" + name; }

    /// A LoopDisk over a new `imageFile` with `mountPoints`; null, failing the test, if not made.
    static std::unique_ptr<LoopDisk> loopDisk(const std::string& imageFile, unsigned sizeMiB,
                                              const std::vector<std::string>& mountPoints) {
        std::string error;
        auto disk = LoopDisk::create(imageFile, sizeMiB, mountPoints, error);
        EXPECT_TRUE(disk) << error;
        return disk;
    }

    TemporaryDirectory scratch;
};

} // namespace quaylet::testing
