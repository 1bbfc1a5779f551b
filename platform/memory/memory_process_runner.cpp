// The simulated system tools: unmounting whole disks, listing open files, naming processes.
#include "platform/memory/memory_process_runner.h"

#include <algorithm>
#include <charconv>
#include <set>
#include <utility>

#include "platform/memory/bsd_device_naming.h"

namespace quaylet {
namespace {

std::string_view programName(std::string_view path) {
    const auto slash = path.rfind('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

// Whether `path` is `directory` or lies below it.
bool liesOn(std::string_view path, std::string_view directory) {
    if (directory == "/") {
        return path.starts_with("/");
    }
    return path.starts_with(directory) &&
           (path.size() == directory.size() || path[directory.size()] == '/');
}

std::string wholeDiskOf(const std::string& devicePath) {
    return bsdWholeDiskName(devicePath).value_or(devicePath);
}

std::set<std::int32_t> parseIds(std::string_view list) {
    std::set<std::int32_t> ids;
    while (!list.empty()) {
        const auto comma = list.find(',');
        const std::string_view item = list.substr(0, comma);
        std::int32_t id = 0;
        if (std::from_chars(item.data(), item.data() + item.size(), id).ec == std::errc()) {
            ids.insert(id);
        }
        list = comma == std::string_view::npos ? std::string_view() : list.substr(comma + 1);
    }
    return ids;
}

} // namespace

MemoryProcessRunner::MemoryProcessRunner(MemoryMountTable& mounts,
                                         std::vector<SimulatedProcess> processes)
    : mounts_(mounts), processes_(std::move(processes)) {}

std::error_code MemoryProcessRunner::run(const std::vector<std::string>& argv,
                                         const OutputLineHandler& onLine) {
    {
        const std::lock_guard lock(mutex_);
        commands_.push_back(argv);
    }
    const std::string_view program = argv.empty() ? "" : programName(argv.front());
    if ((program == "diskutil" || program == "quaylet-diskutil") && argv.size() == 3 &&
        argv[1] == "unmountDisk") {
        unmountDisk(argv, onLine);
    } else if (program == "lsof") {
        listOpenFiles(argv, onLine);
    } else if (program == "ps") {
        processName(argv, onLine);
    } else {
        return std::make_error_code(std::errc::no_such_file_or_directory);
    }
    return {};
}

std::vector<std::vector<std::string>> MemoryProcessRunner::commands() const {
    const std::lock_guard lock(mutex_);
    return commands_;
}

void MemoryProcessRunner::unmountDisk(const std::vector<std::string>& argv,
                                      const OutputLineHandler& onLine) {
    const std::string& mountPoint = argv[2];
    const auto entries = mounts_.entries();
    const auto target = std::find_if(entries.begin(), entries.end(), [&](const MountEntry& e) {
        return e.mountPoint == mountPoint;
    });
    if (target == entries.end()) {
        onLine("Unmount failed for " + mountPoint + ": no such mounted volume\n");
        return;
    }
    const std::string disk = wholeDiskOf(target->devicePath);
    const auto onDisk = [&disk](const MountEntry& entry) {
        return wholeDiskOf(entry.devicePath) == disk;
    };
    for (const SimulatedProcess& process : processes_) {
        for (const std::string& path : process.openPaths) {
            for (const MountEntry& entry : entries) {
                if (onDisk(entry) && liesOn(path, entry.mountPoint)) {
                    onLine("Unmount of " + disk +
                           " failed: at least one volume could not be unmounted\n");
                    onLine("Unmount was refused due to a dissenter PID " +
                           std::to_string(process.pid) + "\n");
                    return;
                }
            }
        }
    }
    mounts_.unmountIf(onDisk);
    onLine("Unmount of all volumes on " + disk + " was successful\n");
}

void MemoryProcessRunner::listOpenFiles(const std::vector<std::string>& argv,
                                        const OutputLineHandler& onLine) const {
    std::set<std::int32_t> ids;
    std::vector<std::string> paths;
    bool commandNames = false;
    for (std::size_t at = 1; at < argv.size(); ++at) {
        if (argv[at].starts_with("-F")) {
            commandNames = argv[at].find('c') != std::string::npos;
            continue;
        }
        if (argv[at] == "-p" && at + 1 < argv.size()) {
            ids = parseIds(argv[++at]);
            continue;
        }
        if (argv[at].starts_with('-')) {
            continue; // an option that changes how the tool works, not what it reports
        }
        paths.push_back(argv[at]);
    }
    for (const SimulatedProcess& process : processes_) {
        if (!ids.empty() && ids.count(process.pid) == 0) {
            continue;
        }
        std::vector<std::string> open;
        for (const std::string& file : process.openPaths) {
            if (std::any_of(paths.begin(), paths.end(),
                            [&](const std::string& path) { return liesOn(file, path); })) {
                open.push_back(file);
            }
        }
        if (open.empty()) {
            continue;
        }
        onLine("p" + std::to_string(process.pid) + "\n");
        if (commandNames) {
            onLine("c" + process.name + "\n");
        }
        int descriptor = 3;
        for (const std::string& file : open) {
            onLine("f" + std::to_string(descriptor++) + "\n");
            onLine("n" + file + "\n");
        }
    }
}

void MemoryProcessRunner::processName(const std::vector<std::string>& argv,
                                      const OutputLineHandler& onLine) const {
    onLine("COMMAND\n");
    const auto flag = std::find(argv.begin(), argv.end(), "-p");
    if (flag == argv.end() || flag + 1 == argv.end()) {
        return;
    }
    const std::string& text = *(flag + 1);
    std::uint32_t pid = 0;
    if (std::from_chars(text.data(), text.data() + text.size(), pid).ec != std::errc()) {
        return;
    }
    for (const SimulatedProcess& process : processes_) {
        if (static_cast<std::uint32_t>(process.pid) == pid) {
            onLine(process.name + "\n");
            return;
        }
    }
}

} // namespace quaylet
