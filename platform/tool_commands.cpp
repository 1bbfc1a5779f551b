// The tool command lines of each platform, built as argument vectors for a shell-less start.
#include "platform/tool_commands.h"

#include <utility>

#include "platform/device_number.h"

namespace quaylet {

ToolCommands::ToolCommands(std::vector<std::string> unmountDiskPrefix, bool unmountDiskTakesDevice,
                           std::vector<std::string> openFilesPrefix, std::string psTool)
    : unmountDiskPrefix_(std::move(unmountDiskPrefix)),
      unmountDiskTakesDevice_(unmountDiskTakesDevice), openFilesPrefix_(std::move(openFilesPrefix)),
      psTool_(std::move(psTool)) {}

ToolCommands ToolCommands::macOS() {
    return ToolCommands({"/usr/sbin/diskutil", "unmountDisk"}, false, {"/usr/sbin/lsof", "-Fn"},
                        "/bin/ps");
}

ToolCommands ToolCommands::forLinux(std::string diskutilPath) {
    // The "c" field is the command name ps would print (the kernel's comm): asking for it in
    // the same run saves starting ps once per process.
    return ToolCommands({std::move(diskutilPath), "unmountDisk"}, true, {"/usr/bin/lsof", "-Fcn"},
                        "");
}

std::vector<std::string> ToolCommands::unmountDisk(const std::string& mountPoint,
                                                   std::uint64_t deviceNumber) const {
    std::vector<std::string> argv = unmountDiskPrefix_;
    if (interactive_) {
        argv.push_back("--interactive");
    }
    // With the device named, another disk mounted at the path since the scan is refused.
    if (unmountDiskTakesDevice_ && deviceNumber != 0) {
        argv.push_back("--device");
        argv.push_back(deviceNumberText(deviceNumber));
    }
    argv.push_back(mountPoint);
    return argv;
}

std::vector<std::string> ToolCommands::listOpenFiles(const std::vector<std::uint32_t>& processIds,
                                                     const std::vector<std::string>& paths) const {
    std::vector<std::string> argv = openFilesPrefix_;
    if (!processIds.empty()) {
        std::string ids;
        for (const std::uint32_t id : processIds) {
            if (!ids.empty()) {
                ids += ',';
            }
            ids += std::to_string(id);
        }
        argv.push_back("-p");
        argv.push_back(std::move(ids));
    }
    if (paths.empty()) {
        argv.push_back("/");
    } else {
        argv.insert(argv.end(), paths.begin(), paths.end());
    }
    return argv;
}

std::vector<std::string> ToolCommands::listHolders(const std::vector<std::string>& paths,
                                                   bool nothingMayHang) const {
    // The device number tells which volume a file lies on without comparing paths; the tool
    // reports working and root directories and memory maps as files of their own ("cwd",
    // "rtd", "mem").
    std::vector<std::string> argv{openFilesPrefix_.front(), "-FpcufDn"};
    if (nothingMayHang) {
        argv.push_back("-O");
    }
    argv.insert(argv.end(), paths.begin(), paths.end());
    return argv;
}

std::optional<std::vector<std::string>> ToolCommands::processName(std::int32_t pid) const {
    if (psTool_.empty()) {
        return std::nullopt;
    }
    // The id is written as the unsigned number the tool expects, whatever its sign.
    return std::vector<std::string>{psTool_, "-p", std::to_string(static_cast<std::uint32_t>(pid)),
                                    "-c",    "-o", "command"};
}

} // namespace quaylet
