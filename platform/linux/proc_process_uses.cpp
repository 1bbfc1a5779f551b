// The files processes use, from the process file system: a stat of each link and the device
// column of the memory maps tell the file system each lies on.
#include "platform/linux/proc_process_uses.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string_view>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include "platform/unique_fd.h"

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

/// Owns an open directory stream.
struct DirectoryCloser {
    void operator()(DIR* directory) const { ::closedir(directory); }
};

/// Returns whether `number` is a device number (major:minor in hex) that `line` gives in its
/// fourth field, and sets `path` to what follows the fifth (empty when nothing does).
bool mapsLineFields(std::string_view line, std::uint64_t& number, std::string_view& path) {
    const auto isBlank = [](char c) {
        return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
    };
    std::size_t at = 0;
    const auto nextField = [&]() -> std::string_view {
        while (at < line.size() && isBlank(line[at])) {
            ++at;
        }
        const std::size_t begin = at;
        while (at < line.size() && !isBlank(line[at])) {
            ++at;
        }
        return line.substr(begin, at - begin);
    };
    nextField(); // address
    nextField(); // permissions
    nextField(); // offset
    const std::string_view device = nextField();
    const std::string_view inode = nextField();
    const std::size_t colon = device.find(':');
    unsigned major = 0;
    unsigned minor = 0;
    if (inode.empty() || colon == std::string_view::npos ||
        std::from_chars(device.data(), device.data() + colon, major, 16).ec != std::errc() ||
        std::from_chars(device.data() + colon + 1, device.data() + device.size(), minor, 16).ec !=
            std::errc()) {
        return false;
    }
    while (at < line.size() && isBlank(line[at])) {
        ++at;
    }
    number = ::makedev(major, minor);
    path = line.substr(at);
    return true;
}

/// What one process's entry gives: its uses, and, once it has one, its command name and owner.
/// Links and files are read relative to the process's folder, opened once.
class ProcessReader {
public:
    ProcessReader(const std::string& procDir, std::int32_t pid,
                  const std::set<std::uint64_t>& deviceNumbers, std::vector<ProcessUse>& uses)
        : dir_(procDir + "/" + std::to_string(pid)), pid_(pid), deviceNumbers_(deviceNumbers),
          uses_(uses), folder_(::open(dir_.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC)) {}

    /// A link that names a file (cwd, root, a descriptor): the file it leads to, when it is on
    /// one of the file systems. `name` is relative to `directory`.
    void readLink(int directory, const char* name) {
        struct stat status {};
        if (::fstatat(directory, name, &status, 0) != 0 ||
            !deviceNumbers_.contains(status.st_dev)) {
            return;
        }
        std::array<char, 4096> target{};
        const ssize_t length = ::readlinkat(directory, name, target.data(), target.size());
        add(length > 0 && static_cast<std::size_t>(length) < target.size()
                ? std::string(target.data(), static_cast<std::size_t>(length))
                : std::string(),
            status.st_dev);
    }

    void readOwnLinks() {
        readLink(folder_.get(), "cwd");
        readLink(folder_.get(), "root");
    }

    void readDescriptors() {
        const UniqueFd descriptors(
            ::openat(folder_.get(), "fd", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (!descriptors) {
            return;
        }
        // The stream takes a descriptor of its own, so that the one used for the links stays.
        const std::unique_ptr<DIR, DirectoryCloser> listing(
            ::fdopendir(::fcntl(descriptors.get(), F_DUPFD_CLOEXEC, 0)));
        if (!listing) {
            return;
        }
        while (const dirent* entry = ::readdir(listing.get())) {
            const std::string_view name(entry->d_name);
            if (name != "." && name != "..") {
                readLink(descriptors.get(), entry->d_name);
            }
        }
    }

    /// Map lines: address, permissions, offset, device (major:minor in hex), inode, path.
    void readMaps() {
        const UniqueFd file(::openat(folder_.get(), "maps", O_RDONLY | O_CLOEXEC));
        if (!file) {
            return;
        }
        // Read straight into the text, 64 KiB at a time, with no buffer to clear.
        constexpr std::size_t kStep = 65536;
        std::string text;
        for (std::size_t length = 0;;) {
            text.resize(length + kStep);
            const ssize_t count = ::read(file.get(), text.data() + length, kStep);
            if (count <= 0) {
                text.resize(length);
                break;
            }
            length += static_cast<std::size_t>(count);
        }
        std::string_view rest(text);
        std::string lastPath;
        while (!rest.empty()) {
            const std::size_t end = rest.find('\n');
            const std::string_view line = rest.substr(0, end);
            rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
            std::uint64_t number = 0;
            std::string_view path;
            if (!mapsLineFields(line, number, path) || path.empty() || path.front() != '/') {
                continue;
            }
            if (deviceNumbers_.contains(number) && path != lastPath) {
                lastPath = std::string(path);
                add(lastPath, number); // one use per file, not one per mapped region
            }
        }
    }

private:
    void add(std::string path, std::uint64_t device) {
        if (!named_) {
            // Read once a process is known to use one of the file systems: most use none.
            named_ = true;
            std::ifstream(dir_ + "/comm") >> command_;
            struct stat status {};
            if (::stat(dir_.c_str(), &status) == 0) {
                uid_ = status.st_uid;
            }
        }
        uses_.push_back({pid_, command_, uid_, std::move(path), device});
    }

    std::string dir_;
    std::int32_t pid_;
    const std::set<std::uint64_t>& deviceNumbers_;
    std::vector<ProcessUse>& uses_;
    UniqueFd folder_;
    bool named_ = false;
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
        process.readOwnLinks();
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
