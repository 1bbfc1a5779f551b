// LoopDisk: an image file on a loop device attached by hand, with mounted ext2 file systems on
// the whole disk or on its partitions; each part an owner that undoes itself after the test.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace quaylet::testing {

/// A loop device attached with losetup (so without auto-clear). Destroying it detaches the
/// device, but only while it is still attached to this image: a device that the code under test
/// released may already serve someone else.
class AttachedLoopDevice {
public:
    /// Attaches `imageFile`, with its partitions (loopNp1...) when `withPartitions`; nullopt,
    /// with `error` saying why, when that fails.
    static std::optional<AttachedLoopDevice> attach(const std::string& imageFile,
                                                    bool withPartitions, std::string& error);
    AttachedLoopDevice(AttachedLoopDevice&& other) noexcept;
    AttachedLoopDevice& operator=(AttachedLoopDevice&&) = delete;
    ~AttachedLoopDevice();

    /// Returns the device node (/dev/loop3).
    const std::string& path() const { return path_; }
    /// Returns the node of partition `number` (/dev/loop3p1).
    std::string partitionPath(int number) const { return path_ + "p" + std::to_string(number); }
    /// Returns whether the device is still attached to this image.
    bool isAttached() const;
    /// Returns whether the device lets go of its image within five seconds. A detach that
    /// another opener defers (a udev daemon probing the device, say) ends when it closes.
    bool detachesSoon() const;

private:
    AttachedLoopDevice(std::string path, std::string imageFile);

    std::string path_;
    std::string imageFile_;
};

/// An ext2 mount made by a test. Destroying it unmounts it while it is still the uppermost
/// mount at its mount point; never forced and never lazy.
class MountedFileSystem {
public:
    /// Mounts the ext2 file system on `device` at `mountPoint`, creating the directory (and its
    /// parents); nullopt, with `error` saying why, when that fails.
    static std::optional<MountedFileSystem>
    mount(const std::string& device, const std::string& mountPoint, std::string& error);
    MountedFileSystem(MountedFileSystem&& other) noexcept;
    MountedFileSystem& operator=(MountedFileSystem&&) = delete;
    ~MountedFileSystem();

    /// Returns the mount point as given.
    const std::string& mountPoint() const { return mountPoint_; }
    /// Returns whether it is still the uppermost mount at its mount point.
    bool isMounted() const;

private:
    MountedFileSystem(std::string device, std::string mountPoint);

    std::string device_;
    std::string mountPoint_;
};

/// A disk image on a loop device with a fresh ext2 file system mounted at each mount point: on
/// the whole disk for one mount point, on one equal DOS partition each for several. Destroyed in
/// the right order: every file system unmounted (the latest first), then the loop detached.
class LoopDisk {
public:
    /// Creates `imageFile` of `sizeMiB`, attaches and mounts it; null, with `error` saying why,
    /// when a step fails.
    static std::unique_ptr<LoopDisk> create(const std::string& imageFile, unsigned sizeMiB,
                                            const std::vector<std::string>& mountPoints,
                                            std::string& error);
    ~LoopDisk();

    /// Returns the loop device of the whole disk.
    const AttachedLoopDevice& loop() const { return loop_; }
    /// Returns the first (for a whole disk: the only) mount.
    const MountedFileSystem& fileSystem() const { return mounts_.front(); }
    /// Returns the image file's path.
    const std::string& imageFile() const { return imageFile_; }

private:
    LoopDisk(std::string imageFile, AttachedLoopDevice loop)
        : imageFile_(std::move(imageFile)), loop_(std::move(loop)) {}

    std::string imageFile_;
    AttachedLoopDevice loop_;
    std::vector<MountedFileSystem> mounts_; // declared last: unmounted before the loop goes
};

} // namespace quaylet::testing
