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
    return (self.parent_path() / kDiskutilName).string();
}

} // namespace quaylet
