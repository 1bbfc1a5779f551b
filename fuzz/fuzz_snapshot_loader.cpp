// libFuzzer target: the snapshot loader, then a scan over whatever machine it loaded.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/memory/memory_platform.h"
#include "platform/memory/snapshot_loader.h"
#include "tests/support/probed_registry.h"
#include "volumes/scan_volumes.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace quaylet;
    std::string error;
    const auto snapshot = parseSnapshot(std::string_view(reinterpret_cast<const char*>(data), size),
                                        "fuzz.json", error);
    if (!snapshot) {
        // Every refusal names the file and says something about the place.
        if (!error.starts_with("fuzz.json") || error.size() <= 10) {
            std::abort();
        }
        return 0;
    }
    Platform platform = makeSnapshotPlatform(*snapshot);
    auto& registry = static_cast<MemoryRegistry&>(*platform.registry);
    const quaylet::testing::HandleLedger& ledger = quaylet::testing::attachLedger(registry);
    const ScanSources sources{registry, *platform.mountTable, *platform.fileManager,
                              *platform.deviceNaming};
    for (const bool everything : {false, true}) {
        UnplugPlan plan;
        bool bootVolumeFound = false;
        ScanExplanation explanation;
        const auto count = scanVolumes(sources, plan, everything, bootVolumeFound, &explanation);
        if (count != plan.volumeCount() ||
            explanation.reasons.size() != static_cast<std::size_t>(count) ||
            ledger.outstanding() != 0 || ledger.badReleases() != 0) {
            std::abort();
        }
    }
    return 0;
}
