// MountTable: the mounted file systems, in table order.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace quaylet {

/// One mounted file system.
struct MountEntry {
    std::string devicePath;     ///< Source of the mount, as the table gives it (/dev/sdb1).
    std::string mountPoint;     ///< Directory it is mounted on, decoded.
    std::string fileSystemType; ///< Type name (ext4, apfs); may be empty.
    /// The device number the table gives the file system (major:minor); 0 when it gives none.
    /// It names the block device also where the source names no node (/dev/root), but is an
    /// anonymous number (major 0) for file systems over several devices (btrfs).
    std::uint64_t deviceNumber = 0;

    friend bool operator==(const MountEntry&, const MountEntry&) = default;
};

/// The system's mount table.
class MountTable {
public:
    virtual ~MountTable() = default;
    /// Reads the table afresh and returns its entries in table order; empty when unreadable.
    virtual std::vector<MountEntry> entries() const = 0;
};

/// One read of a mount table, kept: every later question of one command is answered from it
/// instead of reading the table again.
class MountTableCopy final : public MountTable {
public:
    explicit MountTableCopy(std::vector<MountEntry> entries) : entries_(std::move(entries)) {}
    std::vector<MountEntry> entries() const override { return entries_; }
    bool empty() const { return entries_.empty(); }

private:
    std::vector<MountEntry> entries_;
};

} // namespace quaylet
