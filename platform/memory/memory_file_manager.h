// MemoryFileManager and MemoryApplicationLookup: desktop names held in memory.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <utility>

#include "platform/application_lookup.h"
#include "platform/file_manager.h"

namespace quaylet {

/// Display names given per mount point; a mount point without one has none.
class MemoryFileManager final : public FileManager {
public:
    explicit MemoryFileManager(std::map<std::string, std::string> names = {})
        : names_(std::move(names)) {}
    std::optional<std::string> displayName(const MountEntry& mount) const override {
        const auto found = names_.find(mount.mountPoint);
        return found == names_.end() ? std::nullopt : std::optional(found->second);
    }

private:
    std::map<std::string, std::string> names_;
};

/// Application names given per process id; other processes are no application.
class MemoryApplicationLookup final : public ApplicationLookup {
public:
    explicit MemoryApplicationLookup(std::map<std::int32_t, std::string> names = {})
        : names_(std::move(names)) {}
    std::optional<std::string> applicationName(std::int32_t pid) const override {
        const auto found = names_.find(pid);
        return found == names_.end() ? std::nullopt : std::optional(found->second);
    }

private:
    std::map<std::int32_t, std::string> names_;
};

} // namespace quaylet
