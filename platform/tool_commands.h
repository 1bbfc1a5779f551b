// ToolCommands: the argument vectors of the system tools the eject engine runs.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace quaylet {

/// The command lines of the disk, open-files and process-name tools, per platform.
class ToolCommands {
public:
    /// macOS: /usr/sbin/diskutil, /usr/sbin/lsof and /bin/ps.
    static ToolCommands macOS();
    /// Linux: quaylet-diskutil at `diskutilPath`, Debian's lsof and procps' ps.
    static ToolCommands forLinux(std::string diskutilPath);

    /// Returns the command that unmounts every volume of the disk carrying `mountPoint`. On
    /// Linux it also names the planned device `deviceNumber` (when not 0), and
    /// the tool acts only while that device is the one mounted there; macOS's tool takes the
    /// mount point alone.
    std::vector<std::string> unmountDisk(const std::string& mountPoint,
                                         std::uint64_t deviceNumber) const;
    /// Returns the command listing the processes with files open on `paths` (all of "/" when
    /// there are none), in the tool's field output with names, restricted to `processIds`
    /// when that is not empty.
    std::vector<std::string> listOpenFiles(const std::vector<std::uint32_t>& processIds,
                                           const std::vector<std::string>& paths) const;
    /// Returns the command printing a header line, then the executable name of process `pid`.
    std::vector<std::string> processName(std::int32_t pid) const;

private:
    ToolCommands(std::vector<std::string> unmountDiskPrefix, bool unmountDiskTakesDevice,
                 std::string openFilesTool, std::string psTool,
                 std::vector<std::string> psNameOptions);

    std::vector<std::string> unmountDiskPrefix_;
    bool unmountDiskTakesDevice_ = false;
    std::string openFilesTool_;
    std::string psTool_;
    std::vector<std::string> psNameOptions_;
};

} // namespace quaylet
