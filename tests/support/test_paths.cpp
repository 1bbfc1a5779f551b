// Temporary directories for tests, removed only when nothing is mounted inside them.
#include "tests/support/test_paths.h"

#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <vector>

#include "platform/linux/libmount_mount_table.h"

namespace quaylet::testing {
namespace {

bool hasMountsBelow(const std::string& path) {
    for (const MountEntry& entry : LibmountMountTable().entries()) {
        if (entry.mountPoint.starts_with(path + "/") || entry.mountPoint == path) {
            return true;
        }
    }
    return false;
}

} // namespace

TemporaryDirectory::TemporaryDirectory() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern =
        std::string(base != nullptr && *base == '/' ? base : "/tmp") + "/quaylet-test-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (::mkdtemp(buffer.data()) == nullptr) {
        return;
    }
    std::error_code error;
    path_ = std::filesystem::canonical(buffer.data(), error).string();
}

TemporaryDirectory::~TemporaryDirectory() {
    if (path_.empty()) {
        return;
    }
    if (hasMountsBelow(path_)) {
        std::cerr << "note: leaving " << path_ << " in place: something is still mounted in it\n";
        return;
    }
    std::error_code error;
    std::filesystem::remove_all(path_, error);
}

} // namespace quaylet::testing
