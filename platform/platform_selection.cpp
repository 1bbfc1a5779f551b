// Choosing between the snapshot machine and the live Linux system.
#include "platform/platform_selection.h"

#include <memory>

#include "platform/linux/libmount_mount_table.h"
#include "platform/linux/linux_device_naming.h"
#include "platform/linux/linux_platform.h"
#include "platform/memory/memory_file_manager.h"
#include "platform/memory/memory_platform.h"

namespace quaylet {
namespace {

/// Replaces the mount table with the one recorded in `path`. Its devices are found in the tree
/// by name alone and named after their mount points, not from labels read off whatever device
/// bears the same number here. Returns false when the file gives no mounts.
bool useRecordedMountTable(Platform& platform, const std::string& path,
                           const std::string& sysfsRoot) {
    auto table = std::make_unique<LibmountMountTable>(path);
    if (table->entries().empty()) {
        return false;
    }
    platform.mountTable = std::move(table);
    platform.mountPointProbe = std::make_unique<LibmountMountPointProbe>(path);
    platform.fileManager = std::make_unique<MemoryFileManager>();
    platform.deviceNaming =
        std::make_unique<LinuxDeviceNaming>(sysfsRoot, MountSourceNodes::Recorded);
    return true;
}

} // namespace

std::optional<Platform> selectPlatform(const PlatformChoice& choice,
                                       PlatformSelectionError& error) {
    using Source = PlatformSelectionError::Source;
    if (!choice.snapshotPath.empty()) {
        SnapshotError failure;
        std::optional<Platform> platform = loadSnapshotPlatform(choice.snapshotPath, failure);
        error = {Source::Snapshot,
                 choice.snapshotPath,
                 {},
                 failure.readError,
                 std::move(failure.problem)};
        return platform;
    }
    LinuxPlatformOptions options;
    options.watchMounts = choice.watchMounts;
    if (!choice.sysfsRoot.empty()) {
        options.sysfsRoot = choice.sysfsRoot;
    }
    LinuxPlatformError failure;
    std::optional<Platform> platform = makeLinuxPlatform(options, failure);
    if (!platform) {
        const bool tree = failure.kind == LinuxPlatformError::Kind::DeviceTree;
        error = {tree ? Source::DeviceTree : Source::MountWatch,
                 options.sysfsRoot,
                 std::move(failure.path),
                 failure.code,
                 {}};
        return std::nullopt;
    }
    if (!choice.mountInfoPath.empty() &&
        !useRecordedMountTable(*platform, choice.mountInfoPath, options.sysfsRoot)) {
        error = {Source::RecordedMountTable, choice.mountInfoPath, {}, {}, {}};
        return std::nullopt;
    }
    return platform;
}

} // namespace quaylet
