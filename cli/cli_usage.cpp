// The usage texts of quaylet-cli and its commands.
#include "cli/cli_usage.h"

namespace quaylet {
namespace {

constexpr std::string_view kOverview =
    R"(usage: quaylet-cli [OPTIONS] COMMAND [COMMAND OPTIONS]

Makes it safe to pull the cable of a Thunderbolt dock, from scripts and terminals.

Commands:
  status    show the docks seen and the volumes that unplug would unmount; changes nothing
  unplug    unmount the dock's volumes, innermost disk images first, and say whether the
            dock may be unplugged
  monitor   print a line whenever the dock count changes or a volume is mounted or unmounted

Options (before or after the command):
  --sysfs DIR      read the device tree from DIR instead of /sys
  --snapshot FILE  run on a machine snapshot (registry, mounts and tools held in memory)
                   instead of the live system, for diagnosis and demonstration
  --help           show the usage of quaylet-cli or of one command
  --version        show the version of quaylet-cli

Exit status: 0 the dock may be unplugged (or the command succeeded), 1 it may not,
2 bad usage or a device tree, mount table or snapshot that cannot be read.
Run 'quaylet-cli COMMAND --help' for the options of a command.
)";

constexpr std::string_view kStatus =
    R"(usage: quaylet-cli [--sysfs DIR | --snapshot FILE] status [--everything] [--json]
                  [--holders | --mountinfo FILE]

Shows the docks seen (dock sightings, and through which of the dock's devices: its USB
controller, its USB 3 hub, its presence device) and the volumes that 'quaylet-cli unplug'
would unmount, in the order it would unmount them: for each its list (dock, external, image
level 1 to 3), name, mount point, device, and why it is there. Warns when the boot volume
sits behind the dock. Changes nothing.

  --everything      include external storage that is not behind the dock
  --holders         also list what holds each volume to unmount: processes with files,
                    working directories or memory maps on it, disk images attached from it,
                    swap files, file systems mounted inside it, NFS exports (slower: it runs
                    lsof and reads every process)
  --json            print the status as a JSON document (with "schemaVersion")
  --mountinfo FILE  read the mount table from FILE (a copy of /proc/PID/mountinfo) instead of
                    this system's; volumes are then named by their mount points

Exit status: 0, or 2 when the device tree, mount table or snapshot cannot be read.
)";

constexpr std::string_view kUnplug =
    R"(usage: quaylet-cli [--sysfs DIR | --snapshot FILE] unplug [--everything] [--json]
                  [--interactive] [--power-off] [--mountinfo FILE]
                  [--quit-holders [--yes]]

Unmounts the volumes behind the dock and the disk images stored on them (up to three
images deep), innermost images first, never forced. Refuses, unmounting nothing, when the boot
volume sits behind the dock. When a volume stays mounted, names the first such volume and a
process that keeps a volume busy, and lists everything that holds each volume still mounted
(processes, attached disk images, swap files, mounts inside it, NFS exports). Prints the
outcome on standard output in the words of the desktop notification (title, subtitle, text)
and the holders, and one line per volume on standard error as it is done.

  --everything      also unmount external storage that is not behind the dock
  --interactive     let the system ask for a password where unmounting needs one (a volume
                    that another user or the system mounted); otherwise such a volume is
                    reported as not allowed
  --json            print the outcome as a JSON document (with "schemaVersion") instead of
                    the notification's words
  --mountinfo FILE  decide on the mount table in FILE instead of this system's; as that table
                    is not this system's, nothing is unmounted (exit 2 when something would be)
  --power-off       once the dock may be unplugged, power off the USB drives that were
                    unmounted (through udisks2) and de-authorize the dock's Thunderbolt router
                    where its domain allows it, each only when nothing on it is in use; says
                    what was powered off and what was left on, and why
  --quit-holders    when a volume stays mounted because it is in use, list the processes
                    that hold it, ask once, ask each to quit (its application's quit action,
                    else SIGTERM), wait up to 10 seconds, then unplug again and print the new
                    outcome. Only your own processes of your own login are quit; one that does
                    not end is ended by force (SIGKILL) only when you say so to a second
                    question, which is asked on a terminal only
  --yes             with --quit-holders: quit without the first question (needed without a
                    terminal); never answers the second

With --sysfs, only volumes whose device nodes on this system carry the device numbers that
the device tree gives them are unmounted; otherwise nothing is (exit 2).

Exit status: 0 the dock may be unplugged, 1 it may not, 2 bad usage or nothing could be read.
)";

constexpr std::string_view kMonitor =
    R"(usage: quaylet-cli [--sysfs DIR | --snapshot FILE] monitor

Prints the number of dock sightings, then one line whenever it changes and one line whenever
a volume is mounted or unmounted, as it happens, until interrupted (Ctrl-C, SIGTERM).

Exit status: 0 when interrupted, 2 when the system cannot be watched.
)";

} // namespace

std::string_view usageText(CliCommand command) {
    switch (command) {
    case CliCommand::Status:
        return kStatus;
    case CliCommand::Unplug:
        return kUnplug;
    case CliCommand::Monitor:
        return kMonitor;
    case CliCommand::None:
        break;
    }
    return kOverview;
}

} // namespace quaylet
