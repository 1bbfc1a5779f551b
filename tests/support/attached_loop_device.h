// AttachedLoopDevice: an image file attached by hand to a loop device, detached after the test.
#pragma once

#include <optional>
#include <string>

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
    AttachedLoopDevice(const AttachedLoopDevice&) = delete;
    AttachedLoopDevice& operator=(const AttachedLoopDevice&) = delete;
    ~AttachedLoopDevice();

    /// Returns the device node (/dev/loop3).
    const std::string& path() const { return path_; }
    /// Returns the node of partition `number` (/dev/loop3p1).
    std::string partitionPath(int number) const;
    /// Returns whether the device is still attached to this image.
    bool isAttached() const;
    /// Returns whether the kernel would detach the device on its last close by itself.
    bool autoClear() const;

private:
    AttachedLoopDevice(std::string path, std::string imageFile);
    std::string name() const;

    std::string path_;
    std::string imageFile_;
};

} // namespace quaylet::testing
