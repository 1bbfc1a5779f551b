// The files processes use, from the process file system: a stat of each link and the device
// column of the memory maps tell the file system each lies on.
#include "platform/linux/proc_process_uses.h"

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include <pwd.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace quaylet {
namespace {

namespace fs = std::filesystem;

std::vector<std::int32_t> processIds(const std::string& procDir) {
    std::vector<std::int32_t> ids;
    std::error_code error;
    for (fs::directory_iterator it(procDir, error), end; !error && it != end; it.increment(error)) {
        const std::string name = it->path().filename().string();
        std::int32_t pid = 0;
        const auto [rest, parsed] = std::from_chars(name.data(), name.data() + name.size(), pid);
        if (parsed == std::errc() && rest == name.data() + name.size()) {
            ids.push_back(pid);
        }
    }
    std::sort(ids.begin(), ids.end());
    return ids;
}

/// What one process's entry gives: its command name and owner, and a place for its uses.
class ProcessReader {
public:
    ProcessReader(const std::string& procDir, std::int32_t pid,
                  const std::set<std::uint64_t>& deviceNumbers, std::vector<ProcessUse>& uses)
        : dir_(procDir + "/" + std::to_string(pid)), pid_(pid), deviceNumbers_(deviceNumbers),
          uses_(uses) {
        std::ifstream(dir_ + "/comm") >> command_;
        struct stat status {};
        if (::stat(dir_.c_str(), &status) == 0) {
            uid_ = status.st_uid;
        }
    }

    /// A link that names a file (cwd, root, a descriptor): the file it leads to, when it is on
    /// one of the file systems.
    void readLink(const std::string& link) {
        struct stat status {};
        if (::stat(link.c_str(), &status) != 0 || !deviceNumbers_.contains(status.st_dev)) {
            return;
        }
        std::error_code error;
        add(fs::read_symlink(link, error).string(), status.st_dev);
    }

    void readDescriptors() {
        std::error_code error;
        for (fs::directory_iterator it(dir_ + "/fd", error), end; !error && it != end;
             it.increment(error)) {
            readLink(it->path().string());
        }
    }

    /// Map lines: address, permissions, offset, device (major:minor in hex), inode, path.
    void readMaps() {
        std::ifstream maps(dir_ + "/maps");
        std::string line;
        std::string lastPath;
        while (std::getline(maps, line)) {
            std::istringstream fields(line);
            std::string address, permissions, offset, device, inode;
            fields >> address >> permissions >> offset >> device >> inode >> std::ws;
            std::string path;
            std::getline(fields, path);
            unsigned major = 0;
            unsigned minor = 0;
            const std::size_t colon = device.find(':');
            if (path.empty() || path.front() != '/' || colon == std::string::npos ||
                std::from_chars(device.data(), device.data() + colon, major, 16).ec !=
                    std::errc() ||
                std::from_chars(device.data() + colon + 1, device.data() + device.size(), minor, 16)
                        .ec != std::errc()) {
                continue;
            }
            const std::uint64_t number = ::makedev(major, minor);
            if (deviceNumbers_.contains(number) && path != lastPath) {
                add(path, number); // one use per file, not one per mapped region
                lastPath = path;
            }
        }
    }

private:
    void add(std::string path, std::uint64_t device) {
        uses_.push_back({pid_, command_, uid_, std::move(path), device});
    }

    std::string dir_;
    std::int32_t pid_;
    const std::set<std::uint64_t>& deviceNumbers_;
    std::vector<ProcessUse>& uses_;
    std::string command_;
    std::optional<std::uint32_t> uid_;
};

} // namespace

std::vector<ProcessUse>
ProcProcessUses::usesOn(const std::set<std::uint64_t>& deviceNumbers) const {
    std::vector<ProcessUse> uses;
    if (deviceNumbers.empty()) {
        return uses;
    }
    for (const std::int32_t pid : processIds(procDir_)) {
        ProcessReader process(procDir_, pid, deviceNumbers, uses);
        const std::string dir = procDir_ + "/" + std::to_string(pid);
        process.readLink(dir + "/cwd");
        process.readLink(dir + "/root");
        process.readDescriptors();
        process.readMaps();
    }
    return uses;
}

std::string ProcProcessUses::userName(std::uint32_t uid) const {
    long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? static_cast<std::size_t>(size) : 16384);
    struct passwd entry {};
    struct passwd* found = nullptr;
    if (::getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr &&
        found->pw_name != nullptr) {
        return found->pw_name;
    }
    return std::to_string(uid);
}

} // namespace quaylet
