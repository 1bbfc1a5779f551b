// VolumeFlush: writing a mounted volume's cached data out to its device ahead of its unmount.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <system_error>
#include <vector>

namespace quaylet {

/// Starts the write-out of a volume's cache, so that its unmount later finds little left.
class VolumeFlush {
public:
    virtual ~VolumeFlush() = default;
    /// Writes the cached data of the file system at `mountPoint` to its device and returns when
    /// it is there; nothing is held open on the volume afterwards. Does nothing when the file
    /// system there is not the planned device `deviceNumber` (any when 0). Returns why it could
    /// not flush; success also when it did nothing.
    virtual std::error_code flushVolume(const std::string& mountPoint,
                                        std::uint64_t deviceNumber) = 0;
    /// Returns a name shared by the volumes that one unmount of the disk tool takes together
    /// (those of one whole disk); empty when it cannot be told.
    virtual std::string unmountGroup(std::uint64_t deviceNumber) const = 0;
};

/// Flushes nothing and records what it was asked to flush; each device is its own group.
class MemoryVolumeFlush final : public VolumeFlush {
public:
    /// Records `mountPoint` (from any thread) and returns success.
    std::error_code flushVolume(const std::string& mountPoint, std::uint64_t) override {
        const std::lock_guard lock(mutex_);
        flushed_.push_back(mountPoint);
        return {};
    }
    /// Returns the device number in decimal.
    std::string unmountGroup(std::uint64_t deviceNumber) const override {
        return std::to_string(deviceNumber);
    }
    /// Returns the mount points flushed so far, in the order the flushes began.
    std::vector<std::string> flushed() const {
        const std::lock_guard lock(mutex_);
        return flushed_;
    }

private:
    mutable std::mutex mutex_;
    std::vector<std::string> flushed_;
};

} // namespace quaylet
