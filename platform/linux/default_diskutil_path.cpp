// The disk tool's location, derived from /proc/self/exe.
#include "platform/linux/default_diskutil_path.h"

#include <filesystem>

namespace quaylet {

std::string defaultDiskutilPath() {
    std::error_code error;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error || self.empty()) {
        return kDiskutilName;
    }
    const std::filesystem::path sibling = self.parent_path() / kDiskutilName;
    if (std::filesystem::exists(sibling, error)) {
        return sibling.string();
    }
    return (self.parent_path().parent_path() / "libexec" / "quaylet" / kDiskutilName).string();
}

} // namespace quaylet
