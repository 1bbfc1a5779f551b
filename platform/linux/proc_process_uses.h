// ProcProcessUses: the files processes use, read from /proc/PID/{cwd,root,fd,maps}.
#pragma once

#include <string>

#include "platform/process_uses.h"

namespace quaylet {

/// Reads each process's working and root directory, its open descriptors and its memory maps
/// from the process file system at `procDir`; names users through the password database.
class ProcProcessUses final : public ProcessUses {
public:
    explicit ProcProcessUses(std::string procDir = "/proc") : procDir_(std::move(procDir)) {}

    std::vector<ProcessUse> usesOn(const std::set<std::uint64_t>& deviceNumbers) const override;
    std::string userName(std::uint32_t uid) const override;

private:
    std::string procDir_;
};

} // namespace quaylet
