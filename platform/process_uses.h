// ProcessUses: the processes that use files on given file systems, read from the process table
// itself, and the names of the users that own them.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace quaylet {

/// One process's use of one file: open, its working or root directory, or mapped into memory.
struct ProcessUse {
    std::int32_t pid = 0;
    std::string command;              ///< The process's command name; may be empty.
    std::optional<std::uint32_t> uid; ///< Its owner, when known.
    std::string path;                 ///< The file or directory used.
    std::uint64_t deviceNumber = 0;   ///< The file system the file lies on; 0 when unknown.

    friend bool operator==(const ProcessUse&, const ProcessUse&) = default;
};

/// Reads what processes use, without the open-files tool.
class ProcessUses {
public:
    virtual ~ProcessUses() = default;
    /// Returns every use of a file on one of the file systems `deviceNumbers`, in process-id
    /// order; processes that cannot be read (gone, or another user's) are left out.
    virtual std::vector<ProcessUse> usesOn(const std::set<std::uint64_t>& deviceNumbers) const = 0;
    /// Returns the name of user `uid`, or the uid in digits when the system knows none.
    virtual std::string userName(std::uint32_t uid) const = 0;
};

/// Process uses held in memory: what a test or snapshot says, nothing by default.
class MemoryProcessUses final : public ProcessUses {
public:
    explicit MemoryProcessUses(std::vector<ProcessUse> uses = {},
                               std::map<std::uint32_t, std::string> users = {})
        : uses_(std::move(uses)), users_(std::move(users)) {}
    std::vector<ProcessUse> usesOn(const std::set<std::uint64_t>& deviceNumbers) const override {
        std::vector<ProcessUse> found;
        for (const ProcessUse& use : uses_) {
            if (deviceNumbers.contains(use.deviceNumber)) {
                found.push_back(use);
            }
        }
        return found;
    }
    std::string userName(std::uint32_t uid) const override {
        const auto found = users_.find(uid);
        return found == users_.end() ? std::to_string(uid) : found->second;
    }

private:
    std::vector<ProcessUse> uses_;
    std::map<std::uint32_t, std::string> users_;
};

} // namespace quaylet
