// MonitorCommand: one poll over the registry's port, the mount monitor and a stop descriptor.
#include "cli/monitor_command.h"

#include <algorithm>
#include <array>
#include <cerrno>

#include <poll.h>

#include "cli/printable_text.h"
#include "cli/status_text.h"

namespace quaylet {
namespace {

/// Returns the entries of `from` that `other` does not hold, each matched at most once.
std::vector<MountEntry> missingFrom(const std::vector<MountEntry>& from,
                                    std::vector<MountEntry> other) {
    std::vector<MountEntry> missing;
    for (const MountEntry& entry : from) {
        const auto found = std::find(other.begin(), other.end(), entry);
        if (found == other.end()) {
            missing.push_back(entry);
        } else {
            other.erase(found);
        }
    }
    return missing;
}

} // namespace

MonitorCommand::MonitorCommand(Platform& platform, std::ostream& out)
    : platform_(platform), out_(out), docks_(*platform.registry) {}

MonitorCommand::~MonitorCommand() = default;

void MonitorCommand::start() {
    docks_.startDockMonitor();
    mounts_ = platform_.mountTable->entries();
    out_ << docksLine(docks_.sightingSources()) << std::flush;
    // Set after the start, so that the sightings found at once make the one line above.
    docks_.setDockCountObserver(
        [this](std::uint64_t) { out_ << docksLine(docks_.sightingSources()) << std::flush; });
}

std::error_code MonitorCommand::watchFailure() const {
    return docks_.watchFailure();
}

bool MonitorCommand::waitAndDispatch(int stopDescriptor) {
    NotificationPort* port = docks_.notificationPort();
    std::array<pollfd, 3> watched{{{stopDescriptor, POLLIN, 0},
                                   {port != nullptr ? port->descriptor() : -1, POLLIN, 0},
                                   {platform_.mountMonitor->descriptor(), POLLIN, 0}}};
    if (std::none_of(watched.begin(), watched.end(),
                     [](const pollfd& entry) { return entry.fd >= 0; })) {
        return false;
    }
    int ready = -1;
    do {
        ready = ::poll(watched.data(), watched.size(), -1);
    } while (ready < 0 && errno == EINTR);
    // A descriptor in error would be reported ready forever; it ends the watch instead.
    const bool broken = std::any_of(watched.begin(), watched.end(), [](const pollfd& entry) {
        return (entry.revents & (POLLERR | POLLNVAL)) != 0 && (entry.revents & POLLIN) == 0;
    });
    if (ready < 0 || watched[0].revents != 0 || broken) {
        return false;
    }
    if (watched[1].revents != 0) {
        port->dispatchPending();
    }
    if (watched[2].revents != 0 && platform_.mountMonitor->acknowledgeChanges()) {
        reportMountChanges();
    }
    return true;
}

void MonitorCommand::reportMountChanges() {
    std::vector<MountEntry> now = platform_.mountTable->entries();
    for (const MountEntry& gone : missingFrom(mounts_, now)) {
        out_ << "Unmounted " << printablePath(gone.devicePath) << " from "
             << printablePath(gone.mountPoint) << "\n";
    }
    for (const MountEntry& added : missingFrom(now, mounts_)) {
        out_ << "Mounted " << printablePath(added.devicePath) << " at "
             << printablePath(added.mountPoint) << "\n";
    }
    out_ << std::flush;
    mounts_ = std::move(now);
}

} // namespace quaylet
