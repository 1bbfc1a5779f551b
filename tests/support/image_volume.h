// ImageVolume: an image file on a loop device attached by hand, with a mounted ext2 file system.
#pragma once

#include <memory>
#include <string>

#include "tests/support/attached_loop_device.h"
#include "tests/support/mounted_file_system.h"

namespace quaylet::testing {

/// Creates an empty file of `sizeMiB` mebibytes at `path`; returns whether it worked.
bool createImageFile(const std::string& path, unsigned sizeMiB);

/// A mounted volume on an image file. Destroyed in the right order: unmounted, then detached.
class ImageVolume {
public:
    /// Creates `imageFile`, attaches it, makes an ext2 file system on it and mounts it at
    /// `mountPoint`; null, with `error` saying why, when a step fails.
    static std::unique_ptr<ImageVolume> create(const std::string& imageFile, unsigned sizeMiB,
                                               const std::string& mountPoint, std::string& error);

    /// Returns the loop device.
    const AttachedLoopDevice& loop() const { return loop_; }
    /// Returns the mount.
    const MountedFileSystem& fileSystem() const { return fileSystem_; }
    /// Returns the image file's path.
    const std::string& imageFile() const { return imageFile_; }

private:
    ImageVolume(std::string imageFile, AttachedLoopDevice loop, MountedFileSystem fileSystem);

    std::string imageFile_;
    AttachedLoopDevice loop_;
    MountedFileSystem fileSystem_; // declared last: unmounted before the loop is detached
};

} // namespace quaylet::testing
