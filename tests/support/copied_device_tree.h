// CopiedDeviceTree: a fixture machine's sysfs tree copied for one test, with this system's own
// loop devices put into it.
#pragma once

#include <cstdint>
#include <string>

namespace quaylet::testing {

/// The dock SSD's SCSI device in the docked laptop's tree (fixture laptop-dock).
inline constexpr const char* kDockSsd =
    "devices/pci0000:00/0000:00:07.0/0000:20:00.0/0000:21:01.0/0000:23:00.0/usb6/6-1/6-1.2/"
    "6-1.2:1.0/host0/target0:0:0/0:0:0:0";

/// A copy of a fixture device tree under a directory the test owns (which removes it), without
/// the fixture's loop devices, whose names this system's own loop devices may bear. This
/// system's loop devices can be put into it as the kernel would lay them out: block devices with
/// their class/block, block and dev/block links.
class CopiedDeviceTree {
public:
    /// Copies fixture machine `machine`'s tree (tests/fixtures/MACHINE/sys) to `root`; ok() is
    /// false when that failed.
    CopiedDeviceTree(const std::string& machine, std::string root);

    /// Returns whether the copy was made.
    bool ok() const { return ok_; }
    /// Returns the copy's root, the directory to give as --sysfs.
    const std::string& root() const { return root_; }

    /// Puts loop device node `loop`, attached to `imageFile`, into the tree: as a whole disk
    /// below the device at `devicePath` (a path under the root, "devices/..."), or with
    /// `devicePath` empty as a loop device; returns whether it worked.
    bool place(const std::string& devicePath, const std::string& loop,
               const std::string& imageFile);

    /// Copies this system's listing of the btrfs that block device `member` belongs to
    /// (/sys/fs/btrfs/FSID/devices) into the tree, its links leading to the tree's devices of
    /// the same names; returns whether it worked.
    bool copyBtrfsMembers(const std::string& member);

private:
    bool addBlockDirectory(const std::string& path, const std::string& name, std::uint64_t device,
                           std::uint64_t sectors);
    void removeLoopDevices();

    std::string root_;
    bool ok_ = false;
};

/// Returns the device number of the block device node at `path`, or 0.
std::uint64_t blockDeviceNumber(const std::string& path);

} // namespace quaylet::testing
