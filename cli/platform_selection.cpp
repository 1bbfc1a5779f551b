// Choosing between the snapshot machine and the live Linux system, and checking they can be read.
#include "cli/platform_selection.h"

#include <memory>

#include "cli/printable_text.h"
#include "platform/linux/libmount_mount_table.h"
#include "platform/linux/linux_device_naming.h"
#include "platform/linux/linux_platform.h"
#include "platform/memory/memory_file_manager.h"
#include "platform/memory/memory_platform.h"

namespace quaylet {
namespace {

std::optional<Platform> snapshotPlatform(const std::string& path, std::string& error) {
    std::string reason;
    std::optional<Platform> platform = loadSnapshotPlatform(path, reason);
    if (!platform) {
        error = "cannot use the snapshot: " + printableText(reason) +
                ". Give a machine snapshot file (see platform/memory/SNAPSHOT.md).";
    }
    return platform;
}

/// Replaces the mount table with the one recorded in `path`. The recorded mounts' devices
/// need not be this system's, so they are found in the tree by name alone, and their names
/// come from their mount points, not from labels read off whatever device bears the same
/// number here.
bool useRecordedMountTable(Platform& platform, const std::string& path,
                           const std::string& sysfsRoot, std::string& error) {
    auto table = std::make_unique<LibmountMountTable>(path);
    if (table->entries().empty()) {
        error = "cannot read a mount table from " + printablePath(path) +
                ". Give a file in the format of /proc/self/mountinfo.";
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

std::optional<Platform> selectPlatform(const CliOptions& options, std::string& error) {
    if (!options.snapshotPath.empty()) {
        return snapshotPlatform(options.snapshotPath, error);
    }
    LinuxPlatformOptions linuxOptions;
    linuxOptions.watchMounts = options.command == CliCommand::Monitor;
    if (!options.sysfsRoot.empty()) {
        linuxOptions.sysfsRoot = options.sysfsRoot;
    }
    std::string reason;
    std::optional<Platform> platform = makeLinuxPlatform(linuxOptions, reason);
    if (!platform) {
        error = printableText(reason) +
                ". Give the root of a sysfs tree with --sysfs DIR (the default is /sys).";
        return std::nullopt;
    }
    if (!options.mountInfoPath.empty()) {
        if (!useRecordedMountTable(*platform, options.mountInfoPath, linuxOptions.sysfsRoot,
                                   error)) {
            return std::nullopt;
        }
    } else if (platform->mountTable->entries().empty()) {
        // An unreadable table would read as nothing to unmount: safe, which it may not be.
        error = std::string("cannot read this system's mount table (") + kMountInfoPath +
                "). Is /proc mounted?";
        return std::nullopt;
    }
    return platform;
}

} // namespace quaylet
