// The live Linux system's platform: sysfs registry, libmount tables, udev labels, posix_spawn.
#include "platform/linux/linux_platform.h"

#include <cerrno>
#include <filesystem>
#include <memory>
#include <system_error>

#include <dirent.h>
#include <unistd.h>

#include "platform/linux/desktop_application_lookup.h"
#include "platform/linux/kernel_writeback_gauge.h"
#include "platform/linux/libmount_mount_monitor.h"
#include "platform/linux/libmount_mount_table.h"
#include "platform/linux/linux_device_naming.h"
#include "platform/linux/linux_file_manager.h"
#include "platform/linux/linux_power_switch.h"
#include "platform/linux/linux_process_signals.h"
#include "platform/linux/linux_storage_usage.h"
#include "platform/linux/posix_process_runner.h"
#include "platform/linux/proc_process_uses.h"
#include "platform/linux/syncfs_volume_flush.h"
#include "platform/linux/sysfs_reader.h"
#include "platform/linux/sysfs_registry.h"
#include "platform/linux/udisks_module.h"

namespace quaylet {
namespace {

struct DirectoryClose {
    void operator()(DIR* directory) const { ::closedir(directory); }
};

/// Returns false, with `error` naming the folder, when the device folder of the tree under
/// `root` cannot be listed. The registry reads the tree lazily and reads an unreadable one as
/// empty, so a wrong root is caught here, where it can still be told to the user.
bool treeIsReadable(const std::string& root, LinuxPlatformError& error) {
    const std::string devices = root + "/devices";
    const std::unique_ptr<DIR, DirectoryClose> directory(::opendir(devices.c_str()));
    if (!directory) {
        error = {LinuxPlatformError::Kind::DeviceTree, devices,
                 std::error_code(errno, std::generic_category())};
        return false;
    }
    return true;
}

} // namespace

std::string helperPath(const std::string& name) {
    std::error_code error;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error || self.empty()) {
        return name;
    }
    const std::filesystem::path sibling = self.parent_path() / name;
    if (std::filesystem::exists(sibling, error)) {
        return sibling.string();
    }
    return (self.parent_path().parent_path() / "libexec" / "quaylet" / name).string();
}

std::string defaultDiskutilPath() {
    return helperPath(kDiskutilName);
}

std::optional<Platform> makeLinuxPlatform(const LinuxPlatformOptions& options,
                                          LinuxPlatformError& error) {
    if (!treeIsReadable(options.sysfsRoot, error)) {
        return std::nullopt;
    }
    std::unique_ptr<LibmountMountMonitor> mountMonitor;
    if (options.watchMounts) {
        std::error_code monitorError;
        mountMonitor = LibmountMountMonitor::open(monitorError);
        if (!mountMonitor) {
            error = {LinuxPlatformError::Kind::MountWatch, {}, monitorError};
            return std::nullopt;
        }
    }
    Platform platform;
    platform.registry = std::make_unique<SysfsRegistry>(options.sysfsRoot);
    platform.mountTable = std::make_unique<LibmountMountTable>();
    platform.mountMonitor = std::move(mountMonitor);
    platform.fileManager = std::make_unique<LinuxFileManager>();
    // A tree other than /sys may be a copy of another machine's, whose device names and
    // numbers this system's mounts must not be matched to unchecked.
    const bool ownTree = sysfs::normalRoot(options.sysfsRoot) == "/sys";
    const MountSourceNodes nodes =
        ownTree ? MountSourceNodes::OfTheTree : MountSourceNodes::OfThisSystem;
    platform.deviceNaming = std::make_unique<LinuxDeviceNaming>(options.sysfsRoot, nodes);
    platform.storageUsage = std::make_unique<LinuxStorageUsage>(options.sysfsRoot, nodes);
    platform.powerSwitch = std::make_unique<LinuxPowerSwitch>(options.sysfsRoot, nodes);
    // The tools' own complaints (lsof's warnings about file systems it cannot stat) are no
    // part of what the front ends tell; they judge the outcome by the mount table alone.
    platform.processRunner =
        std::make_unique<PosixProcessRunner>(PosixProcessRunner::ErrorOutput::discard);
    platform.mountPointProbe = std::make_unique<LibmountMountPointProbe>();
    platform.processUses = std::make_unique<ProcProcessUses>();
    platform.applicationLookup =
        std::make_unique<DesktopApplicationLookup>(DesktopApplicationRoots::fromEnvironment());
    platform.processSignals = std::make_unique<LinuxProcessSignals>();
    platform.applicationBus = std::make_unique<ModuleApplicationBus>();
    platform.toolCommands = ToolCommands::forLinux(defaultDiskutilPath());
    // The live kernel's, whatever tree is read: the mounted volumes are this system's.
    platform.volumeFlush = std::make_unique<SyncfsVolumeFlush>();
    platform.writebackGauge = std::make_unique<KernelWritebackGauge>();
    platform.seesEveryProcess = ::geteuid() == 0;
    error = {};
    return platform;
}

} // namespace quaylet
