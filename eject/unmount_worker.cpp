// The unmount worker: runs the disk tool on each planned volume and judges by the mount table.
#include "eject/unmount_worker.h"

#include <array>
#include <functional>
#include <iterator>
#include <optional>
#include <string_view>

#include "eject/early_flush.h"

namespace quaylet {
namespace {

/// Below this much data dirty or under writeback in the whole system, flushing early cannot
/// gain what it costs: a thread per volume, and a flush that each unmount then repeats (for a
/// journalled file system, a commit and a cache flush of the disk). Even a slow stick writes a
/// megabyte within a tenth of a second.
constexpr std::uint64_t kWorthFlushingEarly = 1024 * 1024;

/// Whether the kernel may hold enough unwritten data for an early flush to pay; true when it
/// cannot be told.
bool worthFlushingEarly(const WritebackGauge* gauge) {
    if (gauge == nullptr) {
        return true;
    }
    const std::optional<std::uint64_t> system = gauge->read(0).systemBytes;
    return !system || *system >= kWorthFlushingEarly;
}

/// Whether `volume` is still mounted, judged by `reading` when it holds a read, else by the probe.
bool stillMounted(const VolumeRecord& volume, const std::shared_ptr<const MountPointProbe>* reading,
                  const MountPointProbe& probe) {
    const MountPointProbe& judge = reading != nullptr && *reading ? **reading : probe;
    return judge.isMounted(volume.mountPoint, volume.deviceNumber);
}

/// unmountVolume, with `readAgain` taking the read that judges the outcome into `reading`.
bool runAndJudge(const VolumeRecord& volume, std::int32_t& status, std::string& message,
                 UnmountCause& cause, const UnmountTools& tools,
                 std::shared_ptr<const MountPointProbe>* reading,
                 const std::function<void()>& readAgain) {
    status = 0;
    message.clear();
    cause = UnmountCause::busy;
    // Judged by the planned device: a file system under or over it at the same path, or an
    // automount trigger left there, is not this volume. Where the path shows the volume on top,
    // the path alone judges the outcome too, and no read of the table is needed.
    const bool onTop = tools.mounts.askMountPoint(volume.mountPoint, volume.deviceNumber) == true;
    if (!onTop) {
        if (reading != nullptr && !*reading) {
            readAgain(); // the last volume was judged by its path
        }
        if (!stillMounted(volume, reading, tools.mounts)) {
            return true; // already gone: no tool run
        }
    }
    // Whether the volume is gone, only the path or the table says; the tool's lines say why not.
    // Its line about this volume names the mount point as given when that is printable as it is.
    const std::string ownLine = " " + volume.mountPoint + " (";
    std::optional<UnmountCause> own;
    std::optional<UnmountCause> first;
    tools.runner.run(tools.commands.unmountDisk(volume.mountPoint, volume.deviceNumber),
                     [&](std::string_view line) {
                         UnmountCause said = UnmountCause::none;
                         if (!unmountCauseOfLine(line, said) || said == UnmountCause::none ||
                             said == UnmountCause::gone) {
                             return;
                         }
                         if (!own && line.find(ownLine) != std::string_view::npos) {
                             own = said;
                         }
                         if (!first) {
                             first = said;
                         }
                     });
    cause = own.value_or(first.value_or(UnmountCause::busy));
    if (onTop) {
        if (const std::optional<bool> after =
                tools.mounts.askMountPoint(volume.mountPoint, volume.deviceNumber)) {
            // The table has changed since the read `reading` holds, which no longer serves.
            if (reading != nullptr) {
                reading->reset();
            }
            return !*after;
        }
    }
    readAgain();
    return !stillMounted(volume, reading, tools.mounts);
}

} // namespace

void unmountAll(UnplugPlan& plan, const UnmountTools& tools) {
    plan.failures.clear();
    if (plan.volumeCount() < 1) {
        return;
    }
    // Innermost images first, so every image goes before the volume holding its file.
    const std::array<const std::vector<VolumeRecord>*, 5> lists{
        &plan.thirdLevelImages, &plan.secondLevelImages, &plan.firstLevelImages, &plan.dockVolumes,
        &plan.externalVolumes};
    // Every list is read once, in order, before anything is unmounted.
    std::vector<VolumeRecord> ordered;
    for (const std::vector<VolumeRecord>* list : lists) {
        ordered.insert(ordered.end(), list->begin(), list->end());
    }
    // One mount-table read judges each volume and serves as the first check of the next; the
    // caller's read, when it gives one, serves as the first check of the first.
    std::shared_ptr<const MountPointProbe> ownReading;
    std::shared_ptr<const MountPointProbe>& reading =
        tools.reading != nullptr ? *tools.reading : ownReading;
    // A read taken since the watch last answered stays the table's own until the watch tells
    // of a change: a volume that stayed mounted, where nothing changed, costs no read.
    std::unique_ptr<MountTableChanges> ownChanges;
    MountTableChanges* changes = tools.reading != nullptr ? tools.readingChanges : nullptr;
    bool readSinceAsked = changes != nullptr;
    if (changes == nullptr) {
        ownChanges = tools.mounts.watchChanges(); // since after the caller's read, if any
        changes = ownChanges.get();
    }
    const auto readAgain = [&] {
        const bool changed = changes == nullptr || changes->changedSinceLastAsked();
        if (changed || !readSinceAsked || !reading) {
            reading = tools.mounts.snapshot();
            readSinceAsked = changes != nullptr;
        }
    };
    if (!reading) {
        reading = tools.mounts.snapshot();
        readSinceAsked = changes != nullptr;
    }
    // The first volume's unmount follows at once and writes its data as soon as a flush
    // would; a flush of its own would only have it written twice.
    std::optional<EarlyFlush> flushes;
    if (tools.flush && ordered.size() > 1 && worthFlushingEarly(tools.gauge)) {
        flushes.emplace(*tools.flush,
                        std::vector<VolumeRecord>(std::next(ordered.begin()), ordered.end()));
    }
    std::optional<WritingWatch> watch;
    if (tools.onWriting) {
        watch.emplace(tools.gauge, tools.onWriting, tools.watchTimes);
    }
    for (const VolumeRecord& working : ordered) {
        std::int32_t status = 0;
        std::string message;
        UnmountCause cause = UnmountCause::busy;
        // Watched from the flush on: a slow device keeps both waiting.
        if (watch) {
            watch->begin(working);
        }
        if (flushes) {
            flushes->awaitBeforeUnmount(working);
        }
        const bool unmounted =
            runAndJudge(working, status, message, cause, tools, &reading, readAgain);
        if (watch) {
            watch->end();
        }
        if (!unmounted) {
            plan.failures.push_back(UnmountFailure::fromVolume(working, message, status));
            plan.failures.back().cause = cause;
        }
        if (tools.onVolumeDone) {
            tools.onVolumeDone(working, unmounted);
        }
    }
}

bool unmountVolume(const VolumeRecord& volume, std::int32_t& status, std::string& message,
                   UnmountCause& cause, const UnmountTools& tools,
                   std::shared_ptr<const MountPointProbe>* reading) {
    return runAndJudge(volume, status, message, cause, tools, reading, [&] {
        if (reading != nullptr) {
            *reading = tools.mounts.snapshot();
        }
    });
}

} // namespace quaylet
