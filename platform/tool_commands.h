// ToolCommands: the argument vectors of the system tools the eject engine runs.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quaylet {

/// The command lines of the disk, open-files and process-name tools, per platform.
class ToolCommands {
public:
    /// macOS: /usr/sbin/diskutil, /usr/sbin/lsof and /bin/ps.
    static ToolCommands macOS();
    /// Linux: quaylet-diskutil at `diskutilPath` and Debian's lsof, which reports each
    /// process's command name itself, so no process-name tool is needed.
    static ToolCommands forLinux(std::string diskutilPath);

    /// Lets the disk tool have polkit ask the user for a password where its policy wants one
    /// (Linux; macOS's tool takes no such option).
    void allowInteraction() { interactive_ = unmountDiskTakesDevice_; }
    /// Returns whether polkit may ask the user for a password (allowInteraction took effect).
    bool interactive() const { return interactive_; }

    /// Returns the command that unmounts every volume of the disk carrying `mountPoint`. On
    /// Linux it also names the planned device `deviceNumber` (when not 0), and
    /// the tool acts only while that device is the one mounted there; macOS's tool takes the
    /// mount point alone.
    std::vector<std::string> unmountDisk(const std::string& mountPoint,
                                         std::uint64_t deviceNumber) const;
    /// Returns the command listing the processes with files open on `paths` (all of "/" when
    /// there are none), in the tool's field output with names (and, on Linux, each process's
    /// command name), restricted to `processIds` when that is not empty.
    std::vector<std::string> listOpenFiles(const std::vector<std::uint32_t>& processIds,
                                           const std::vector<std::string>& paths) const;
    /// Returns the command listing every use of a file on `paths` (open, working or root
    /// directory, memory map): field output with each process's command name and owner's uid,
    /// and each file's descriptor, device number and name. With `nothingMayHang` (every mounted
    /// file system answers locally), the tool looks at files itself instead of through child
    /// processes it would abandon after a time-out: half the work, and nothing that may hang.
    std::vector<std::string> listHolders(const std::vector<std::string>& paths,
                                         bool nothingMayHang) const;
    /// Returns the command printing a header line, then the executable name of process `pid`;
    /// nullopt where the open-files tool names the processes instead.
    std::optional<std::vector<std::string>> processName(std::int32_t pid) const;

private:
    ToolCommands(std::vector<std::string> unmountDiskPrefix, bool unmountDiskTakesDevice,
                 std::vector<std::string> openFilesPrefix, std::string psTool);

    std::vector<std::string> unmountDiskPrefix_;
    bool unmountDiskTakesDevice_ = false;
    bool interactive_ = false;
    std::vector<std::string> openFilesPrefix_;
    std::string psTool_; ///< Empty: no process-name tool.
};

} // namespace quaylet
