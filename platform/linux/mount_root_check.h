// mountedByPath: whether a volume is mounted at a path, asked of the path rather than the table.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace quaylet {

/// Asks the path itself, without reading the mount table, whether the file system of device
/// `deviceNumber` is mounted at `path`: true when the path, as it resolves now, is the root of a
/// mount of that device (which is then certain); false when no mount at all is rooted there.
/// False alone proves less than it seems: a mount over a parent directory can hide the path,
/// mount and all, so only a path seen true before and false after says its mount went away.
/// Nullopt when only the table can tell: another file system covers the path (ours may lie
/// beneath it), the device is 0 (any device, and an automount trigger must not count), or the
/// path cannot be looked at without waiting. The lookup takes only what the kernel has cached
/// and asks no file system to revalidate, so a hung FUSE or network server cannot hold it up.
std::optional<bool> mountedByPath(const std::string& path, std::uint64_t deviceNumber);

} // namespace quaylet
