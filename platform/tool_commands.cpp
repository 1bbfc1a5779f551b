// The tool command lines of each platform, built as argument vectors for a shell-less start.
#include "platform/tool_commands.h"

#include <utility>

#include "platform/device_number.h"

namespace quaylet {

ToolCommands::ToolCommands(std::vector<std::string> unmountDiskPrefix, bool unmountDiskTakesDevice,
                           std::string openFilesTool, std::string psTool,
                           std::vector<std::string> psNameOptions)
    : unmountDiskPrefix_(std::move(unmountDiskPrefix)),
      unmountDiskTakesDevice_(unmountDiskTakesDevice), openFilesTool_(std::move(openFilesTool)),
      psTool_(std::move(psTool)), psNameOptions_(std::move(psNameOptions)) {}

ToolCommands ToolCommands::macOS() {
    return ToolCommands({"/usr/sbin/diskutil", "unmountDisk"}, false, "/usr/sbin/lsof", "/bin/ps",
                        {"-c", "-o", "command"});
}

ToolCommands ToolCommands::forLinux(std::string diskutilPath) {
    // procps' ps has no -c; "comm" is the executable's name, under a "COMMAND" header line.
    return ToolCommands({std::move(diskutilPath), "unmountDisk"}, true, "/usr/bin/lsof", "/bin/ps",
                        {"-o", "comm"});
}

std::vector<std::string> ToolCommands::unmountDisk(const std::string& mountPoint,
                                                   std::uint64_t deviceNumber) const {
    std::vector<std::string> argv = unmountDiskPrefix_;
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
    std::vector<std::string> argv{openFilesTool_, "-Fn"};
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

std::vector<std::string> ToolCommands::processName(std::int32_t pid) const {
    // The id is written as the unsigned number the tool expects, whatever its sign.
    std::vector<std::string> argv{psTool_, "-p", std::to_string(static_cast<std::uint32_t>(pid))};
    argv.insert(argv.end(), psNameOptions_.begin(), psNameOptions_.end());
    return argv;
}

} // namespace quaylet
