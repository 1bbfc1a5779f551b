// MountedFileSystem: an ext2 file system a test made and mounted, unmounted after the test.
#pragma once

#include <optional>
#include <string>

namespace quaylet::testing {

/// Makes an ext2 file system on `device` (a block device or an image file); returns whether
/// the tool could be started.
bool makeFileSystem(const std::string& device);

/// A mount made by a test. Destroying it unmounts it while it is still the uppermost mount at
/// its mount point; never forced and never lazy.
class MountedFileSystem {
public:
    /// Mounts the ext2 file system on `device` at `mountPoint`, creating the directory (and its
    /// parents); nullopt, with `error` saying why, when that fails.
    static std::optional<MountedFileSystem>
    mount(const std::string& device, const std::string& mountPoint, std::string& error);

    MountedFileSystem(MountedFileSystem&& other) noexcept;
    MountedFileSystem& operator=(MountedFileSystem&&) = delete;
    MountedFileSystem(const MountedFileSystem&) = delete;
    MountedFileSystem& operator=(const MountedFileSystem&) = delete;
    ~MountedFileSystem();

    /// Returns the mount point as given.
    const std::string& mountPoint() const { return mountPoint_; }
    /// Returns the device it is mounted from.
    const std::string& device() const { return device_; }
    /// Returns whether it is still the uppermost mount at its mount point.
    bool isMounted() const;

private:
    MountedFileSystem(std::string device, std::string mountPoint);

    std::string device_;
    std::string mountPoint_;
};

} // namespace quaylet::testing
