// Small, fast reads of a sysfs tree: attribute files, links and directory listings.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quaylet::sysfs {

/// Returns the contents of the attribute file at `path` without its trailing newline; nullopt
/// when it cannot be read.
std::optional<std::string> readAttribute(const std::string& path);

/// Returns the contents of the attribute `name` in the directory open as `directory`, without
/// its trailing newline; nullopt when it cannot be read. A path relative to the directory is
/// looked up from there, not from the root, which saves the kernel walking the whole path.
std::optional<std::string> readAttributeAt(int directory, const char* name);

/// Returns the contents of the attribute file open as `file`, read afresh from its start (the
/// kernel renders the value again for a read at offset 0), without its trailing newline.
std::optional<std::string> rereadAttribute(int file);

/// Returns the value of `key` in the text of a uevent attribute (KEY=value lines); empty when
/// the key is absent.
std::string_view ueventValue(std::string_view uevent, std::string_view key);

/// Returns the target of the symbolic link at `path` as stored; nullopt when it is not a link.
std::optional<std::string> readLink(const std::string& path);

/// Returns the target of the symbolic link `name` in the directory open as `directory`.
std::optional<std::string> readLinkAt(int directory, const char* name);

/// Returns whether anything exists at `path` (links are not followed).
bool exists(const std::string& path);

/// Returns whether anything called `name` exists in the directory open as `directory`.
bool existsAt(int directory, const char* name);

/// Returns the names in the directory at `path` (without "." and ".."), unsorted; empty when it
/// cannot be read.
std::vector<std::string> listDirectory(const std::string& path);

/// Returns `target`, a link found in `linkDirectory`, as a normal absolute path. The kernel's
/// links lead to real directories, so the path is resolved by its text alone.
std::string resolveLink(std::string_view linkDirectory, std::string_view target);

/// Returns `root` as an absolute, normal path without a trailing slash, so that links below
/// it resolve by their text alone; `root` itself when it cannot be made absolute.
std::string normalRoot(std::string root);

/// Returns `path` without its last component ("/a/b" gives "/a"; "/a" gives "/").
std::string_view parentPath(std::string_view path);

/// Returns the last component of `path`.
std::string_view baseName(std::string_view path);

/// Returns whether `path` is `ancestor` or lies below it.
bool isSameOrBelow(std::string_view path, std::string_view ancestor);

/// Parses an unsigned number written in `base` (16 allows a "0x" prefix; surrounding blanks
/// are ignored); nullopt when the text is not such a number.
std::optional<std::uint64_t> parseNumber(std::string_view text, int base);

/// Orders names so that embedded numbers compare by value ("port2" before "port10").
bool naturalLess(std::string_view a, std::string_view b);

} // namespace quaylet::sysfs
