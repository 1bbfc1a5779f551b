// Loading a fixture machine's snapshot, and checking that the core left no handle behind.
#pragma once

#include <string>
#include <string_view>

#include <gtest/gtest.h>

#include "platform/memory/memory_platform.h"
#include "platform/memory_registry.h"
#include "tests/support/probed_registry.h"
#include "tests/support/test_paths.h"

namespace quaylet::testing {

/// Loads fixture machine `machine` as a whole platform, with a ledger on its registry; fails the
/// test when it cannot.
inline Platform loadFixture(std::string_view machine) {
    SnapshotError error;
    auto platform = loadSnapshotPlatform(fixturePath(machine), error);
    if (!platform) {
        ADD_FAILURE() << machine << ": " << error.readError.message() << error.problem;
        return {};
    }
    attachLedger(dynamic_cast<MemoryRegistry&>(*platform->registry));
    return std::move(*platform);
}

/// The in-memory registry of a platform loaded from a fixture.
inline MemoryRegistry& memoryRegistry(Platform& platform) {
    return dynamic_cast<MemoryRegistry&>(*platform.registry);
}

} // namespace quaylet::testing
