// Small, fast reads of a sysfs tree: attribute files, links and directory listings.
#include "platform/linux/sysfs_reader.h"

#include <array>
#include <cctype>
#include <charconv>
#include <filesystem>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quaylet::sysfs {
namespace {

/// Owns one open file descriptor.
class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    ~Descriptor() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    int get() const { return fd_; }

private:
    int fd_;
};

/// Reads the open attribute `file` to its end, without the trailing newline: from its start
/// with `fromStart`, else from where it stands.
std::optional<std::string> readToEnd(int file, bool fromStart) {
    std::string text;
    std::array<char, 4096> buffer; // filled by the kernel; only what it wrote is read
    off_t offset = 0;
    for (;;) {
        const ssize_t count = fromStart ? ::pread(file, buffer.data(), buffer.size(), offset)
                                        : ::read(file, buffer.data(), buffer.size());
        if (count < 0) {
            return std::nullopt;
        }
        text.append(buffer.data(), static_cast<std::size_t>(count));
        offset += count;
        // An attribute comes in one read; a short read is its end, which saves a call.
        if (static_cast<std::size_t>(count) < buffer.size()) {
            break;
        }
    }
    if (!text.empty() && text.back() == '\n') {
        text.pop_back();
    }
    return text;
}

} // namespace

std::optional<std::string> readAttribute(const std::string& path) {
    return readAttributeAt(AT_FDCWD, path.c_str());
}

std::optional<std::string> readAttributeAt(int directory, const char* name) {
    const Descriptor file(::openat(directory, name, O_RDONLY | O_CLOEXEC));
    if (file.get() < 0) {
        return std::nullopt;
    }
    return readToEnd(file.get(), false);
}

std::optional<std::string> rereadAttribute(int file) {
    return readToEnd(file, true);
}

std::string_view ueventValue(std::string_view uevent, std::string_view key) {
    while (!uevent.empty()) {
        const std::size_t end = uevent.find('\n');
        const std::string_view line = uevent.substr(0, end);
        if (line.size() > key.size() && line.starts_with(key) && line[key.size()] == '=') {
            return line.substr(key.size() + 1);
        }
        uevent = end == std::string_view::npos ? std::string_view() : uevent.substr(end + 1);
    }
    return {};
}

std::optional<std::string> readLink(const std::string& path) {
    return readLinkAt(AT_FDCWD, path.c_str());
}

std::optional<std::string> readLinkAt(int directory, const char* name) {
    std::array<char, 4096> buffer; // filled by the kernel; only what it wrote is read
    const ssize_t length = ::readlinkat(directory, name, buffer.data(), buffer.size());
    if (length < 0 || static_cast<std::size_t>(length) >= buffer.size()) {
        return std::nullopt;
    }
    return std::string(buffer.data(), static_cast<std::size_t>(length));
}

bool exists(const std::string& path) {
    return existsAt(AT_FDCWD, path.c_str());
}

bool existsAt(int directory, const char* name) {
    struct stat status {};
    return ::fstatat(directory, name, &status, AT_SYMLINK_NOFOLLOW) == 0;
}

// The entries are read into a buffer on the stack: readdir's own buffer is 32 KiB from the
// heap, which a short program touches afresh, page by page, for each of its many listings.
std::vector<std::string> listDirectory(const std::string& path) {
    std::vector<std::string> names;
    const Descriptor directory(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (directory.get() < 0) {
        return names;
    }
    alignas(dirent64) std::array<char, 8192> buffer;
    for (;;) {
        const ssize_t count = ::getdents64(directory.get(), buffer.data(), buffer.size());
        if (count <= 0) {
            break;
        }
        for (ssize_t offset = 0; offset < count;) {
            const auto* entry = reinterpret_cast<const dirent64*>(buffer.data() + offset);
            const std::string_view name(entry->d_name);
            if (name != "." && name != "..") {
                names.emplace_back(name);
            }
            offset += entry->d_reclen;
        }
    }
    return names;
}

std::string resolveLink(std::string_view linkDirectory, std::string_view target) {
    std::vector<std::string_view> parts;
    const auto addComponents = [&parts](std::string_view text) {
        while (!text.empty()) {
            const std::size_t slash = text.find('/');
            const std::string_view part = text.substr(0, slash);
            if (part == "..") {
                if (!parts.empty()) {
                    parts.pop_back();
                }
            } else if (!part.empty() && part != ".") {
                parts.push_back(part);
            }
            text = slash == std::string_view::npos ? std::string_view() : text.substr(slash + 1);
        }
    };
    if (target.empty() || target.front() != '/') {
        addComponents(linkDirectory);
    }
    addComponents(target);
    std::string resolved;
    for (const std::string_view part : parts) {
        resolved += '/';
        resolved += part;
    }
    return resolved.empty() ? std::string("/") : resolved;
}

std::string normalRoot(std::string root) {
    std::error_code error;
    std::string normal = std::filesystem::absolute(root, error).lexically_normal().string();
    if (error) {
        normal = std::move(root);
    }
    while (normal.size() > 1 && normal.back() == '/') {
        normal.pop_back();
    }
    return normal;
}

std::string_view parentPath(std::string_view path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string_view::npos) {
        return {};
    }
    return slash == 0 ? path.substr(0, 1) : path.substr(0, slash);
}

std::string_view baseName(std::string_view path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

bool isSameOrBelow(std::string_view path, std::string_view ancestor) {
    if (!path.starts_with(ancestor)) {
        return false;
    }
    return path.size() == ancestor.size() || ancestor.ends_with('/') ||
           path[ancestor.size()] == '/';
}

std::optional<std::uint64_t> parseNumber(std::string_view text, int base) {
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) {
        text.remove_prefix(1);
    }
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) {
        text.remove_suffix(1);
    }
    if (base == 16 && (text.starts_with("0x") || text.starts_with("0X"))) {
        text.remove_prefix(2);
    }
    std::uint64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (text.empty() || error != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

bool naturalLess(std::string_view a, std::string_view b) {
    const auto isDigit = [](char c) {
        return c >= '0' && c <= '9';
    };
    const auto isHexLetter = [](char c) {
        return (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
    };
    // The end of the decimal run at `start`; npos when the run goes on in hex (0000:00:0d.0),
    // where the text is compared character by character instead.
    const auto runEnd = [&](std::string_view text, std::size_t start) {
        std::size_t end = start;
        while (end < text.size() && isDigit(text[end])) {
            ++end;
        }
        return end < text.size() && isHexLetter(text[end]) ? std::string_view::npos : end;
    };
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < a.size() && j < b.size()) {
        const bool numbers = isDigit(a[i]) && isDigit(b[j]);
        const std::size_t endA = numbers ? runEnd(a, i) : std::string_view::npos;
        const std::size_t endB = numbers ? runEnd(b, j) : std::string_view::npos;
        if (endA != std::string_view::npos && endB != std::string_view::npos) {
            const auto numberA = parseNumber(a.substr(i, endA - i), 10).value_or(0);
            const auto numberB = parseNumber(b.substr(j, endB - j), 10).value_or(0);
            if (numberA != numberB) {
                return numberA < numberB;
            }
            i = endA;
            j = endB;
        } else if (a[i] != b[j]) {
            return a[i] < b[j];
        } else {
            ++i;
            ++j;
        }
    }
    return a.size() - i < b.size() - j;
}

} // namespace quaylet::sysfs
