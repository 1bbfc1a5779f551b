// Powering off after an unplug: the dock's router de-authorized in a copy of the docked
// laptop's device tree, the refusals, and USB drives through an in-memory switch.
#include <cstdio>
#include <fstream>
#include <memory>
#include <sstream>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "eject/power_off.h"
#include "platform/linux/linux_power_switch.h"
#include "platform/linux/linux_storage_usage.h"
#include "platform/memory/memory_file_manager.h"
#include "platform/memory/memory_power_switch.h"
#include "tests/support/copied_device_tree.h"
#include "tests/support/test_paths.h"

namespace quaylet {
namespace {

using Result = PowerOffStep::Result;

constexpr const char* kRouters = "/bus/thunderbolt/devices/";
constexpr const char* kInternalRoot = "1 0 259:2 / / rw - ext4 /dev/nvme0n1p2 rw\n";

std::string contents(const std::string& path) {
    std::stringstream text;
    text << std::ifstream(path).rdbuf();
    return text.str();
}

TEST(DockPowerOffTest, DeauthorizesTheDockOnlyWhenItsDomainAllowsAndNothingOnItIsInUse) {
    struct {
        const char* what;
        const char* deauthorization; ///< The domain's attribute; null for none.
        const char* mountInfo;
        Result result;
    } const cases[] = {
        {"allowed, nothing in use", "1", kInternalRoot, Result::poweredOff},
        {"the domain forbids it", "0", kInternalRoot, Result::notDeauthorizable},
        {"no such attribute (older kernel)", nullptr, kInternalRoot, Result::notDeauthorizable},
        // An LVM volume over the dock's USB disk, mounted again after the unplug.
        {"a volume on it mounted again", "1",
         "1 0 259:2 / / rw - ext4 /dev/nvme0n1p2 rw\n"
         "2 1 254:1 / /media/user/Archive rw - ext4 /dev/mapper/vgdock-archive rw\n",
         Result::inUse},
        // The system started from the enclosure chained behind the dock.
        {"the boot disk behind it", "1", "1 0 259:5 / / rw - ext4 /dev/nvme1n1p1 rw\n",
         Result::bootDisk},
    };
    testing::TemporaryDirectory scratch;
    const testing::CopiedDeviceTree tree("laptop-dock", scratch.path() + "/sys");
    ASSERT_TRUE(tree.ok());
    const std::string root = tree.root();
    const std::string attribute = root + kRouters + "domain0/deauthorization";
    std::ofstream(scratch.path() + "/swaps") << "Filename\tType\tSize\tUsed\tPriority\n";
    for (const auto& given : cases) {
        SCOPED_TRACE(given.what);
        std::remove(attribute.c_str());
        if (given.deauthorization != nullptr) {
            std::ofstream(attribute) << given.deauthorization << "\n";
        }
        std::ofstream(root + kRouters + "0-1/authorized") << "1\n";
        std::ofstream(scratch.path() + "/mountinfo") << given.mountInfo;
        Platform platform;
        platform.fileManager = std::make_unique<MemoryFileManager>();
        platform.storageUsage = std::make_unique<LinuxStorageUsage>(
            root, MountSourceNodes::Recorded, scratch.path() + "/mountinfo",
            scratch.path() + "/swaps");
        platform.powerSwitch = std::make_unique<LinuxPowerSwitch>(root, MountSourceNodes::Recorded);

        // The enclosure chained behind the dock (0-301) is no dock: it goes with the dock.
        const auto steps = powerOffUnplugged(platform, UnplugPlan());
        ASSERT_EQ(steps.size(), 1u);
        EXPECT_EQ(steps[0].displayName, "Dock Maker TB3 Dock");
        EXPECT_EQ(steps[0].result, given.result) << steps[0].detail;
        EXPECT_EQ(contents(root + kRouters + "0-1/authorized"),
                  given.result == Result::poweredOff ? "0\n" : "1\n");
        EXPECT_EQ(contents(root + kRouters + "0-301/authorized"), "1\n");
    }
}

TEST(DrivePowerOffTest, PowersOffEachUnmountedUsbDriveOnceThenTheOutermostDock) {
    UnplugPlan plan;
    for (const char* device :
         {"/dev/sda1", "/dev/sda2", "/dev/sdb1", "/dev/sdc1", "/dev/nvme1n1p1"}) {
        plan.dockVolumes.push_back({device, "", "", "", 0});
    }
    auto power = std::make_unique<MemoryPowerSwitch>();
    power->drives = {{"/dev/sda1", {"sda", "Samsung PSSD T7"}},
                     {"/dev/sda2", {"sda", "Samsung PSSD T7"}},
                     {"/dev/sdb1", {"sdb", "SanDisk Cruzer"}},
                     {"/dev/sdc1", {"sdc", "Kingston DataTraveler"}}};
    power->replies = {{"sdc", {PowerOffError::notAllowed, "Not authorized to perform operation"}}};
    // Two docks chained: de-authorizing the outer one removes the inner one's devices too.
    power->routerList = {{"0-1", "", "Outer Dock", 0x43, 0x22, true, {"sda", "sdb", "sdc"}},
                         {"0-301", "0-1", "Inner Dock", 0x43, 0x21, true, {}}};
    // sdb was mounted again (an automounter) after the unplug; so the dock stays on too.
    StorageUsageReport usage;
    usage.devices = {{"sdb", {"sdb1"}, ""}, {"sdb1", {}, ""}};
    usage.mounts = {{"/dev/sdb1", "/media/user/STICK", {"sdb1"}}};
    Platform platform;
    platform.fileManager = std::make_unique<MemoryFileManager>();
    platform.storageUsage = std::make_unique<MemoryStorageUsage>(usage);
    MemoryPowerSwitch& recorded = *power;
    platform.powerSwitch = std::move(power);

    const auto steps = powerOffUnplugged(platform, plan);
    std::vector<std::pair<std::string, Result>> results;
    for (const PowerOffStep& step : steps) {
        results.emplace_back(step.name, step.result);
    }
    EXPECT_THAT(results, ::testing::ElementsAre(std::pair{"sda", Result::poweredOff},
                                                std::pair{"sdb", Result::inUse},
                                                std::pair{"sdc", Result::notAllowed},
                                                std::pair{"0-1", Result::inUse}));
    EXPECT_EQ(steps[1].detail, "STICK");
    EXPECT_EQ(recorded.switchedOff, std::vector<std::string>{"sda"});
}

} // namespace
} // namespace quaylet
