// quaylet-diskutil unmountDisk [--interactive] [--device MAJ:MIN] PATH: unmounts every file
// system of the disk carrying PATH.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include "cli/printable_text.h"
#include "platform/device_number.h"
#include "platform/linux/disk_unmounter.h"
#include "platform/program_version.h"

namespace {

constexpr const char* kUsage =
    "usage: quaylet-diskutil unmountDisk [--interactive] [--device MAJ:MIN] PATH\n"
    "       quaylet-diskutil --help | --version\n"
    "  Unmounts every file system of the whole disk that carries PATH (a mount point or a\n"
    "  block device), deepest mount point first, locks the encrypted container it is the\n"
    "  clear text of, and detaches the disk when it is a loop device. What udisks2 knows goes\n"
    "  through udisks, the rest through the kernel. With --device, does nothing unless the\n"
    "  file system mounted at PATH is that device. With --interactive, polkit may ask for a\n"
    "  password; without it, what needs one is not allowed. Never forces.\n"
    "  Prints one line a file system, starting with how it ended: Unmounted, Gone (no longer\n"
    "  mounted), Busy, Not-allowed or Failed.\n"
    "  Exit status: 0 all unmounted, 1 some stayed mounted or nothing was done, 2 bad usage.\n";

/// The request of the command line.
struct Request {
    std::string path;
    bool interactive = false;
    std::optional<std::uint64_t> device;
    std::string deviceText;
};

/// Reads `unmountDisk [--interactive] [--device MAJ:MIN] PATH`; nullopt when the command line
/// is not that.
std::optional<Request> parseRequest(int argc, char** argv) {
    if (argc < 3 || std::strcmp(argv[1], "unmountDisk") != 0) {
        return std::nullopt;
    }
    Request request;
    int at = 2;
    if (at < argc - 1 && std::strcmp(argv[at], "--interactive") == 0) {
        request.interactive = true;
        ++at;
    }
    if (at < argc - 2 && std::strcmp(argv[at], "--device") == 0) {
        request.device = quaylet::parseDeviceNumber(argv[at + 1]);
        if (!request.device) {
            return std::nullopt;
        }
        request.deviceText = argv[at + 1];
        at += 2;
    }
    if (argc != at + 1 || argv[at][0] == '\0' || std::strncmp(argv[at], "--", 2) == 0) {
        return std::nullopt;
    }
    request.path = argv[at]; // used as given, whatever bytes it holds
    return request;
}

/// One line a file system; its first word says how it ended, for the unplug command to read.
void printVolume(const quaylet::VolumeOutcome& volume) {
    const std::string where = quaylet::printablePath(volume.mountPoint) + " (" +
                              quaylet::printablePath(volume.devicePath) + ")";
    const std::string word(quaylet::unmountCauseWord(volume.cause));
    const char* how = volume.throughUdisks ? " through udisks" : "";
    std::string why = volume.detail;
    if (volume.finding == quaylet::VolumeOutcome::Finding::coveredOver) {
        why = "another file system is mounted over it";
    } else if (volume.finding == quaylet::VolumeOutcome::Finding::stillMounted) {
        why = "still mounted afterwards";
    } else if (volume.error) {
        why = volume.error.message();
    }
    if (why.empty()) {
        std::printf("%s %s%s\n", word.c_str(), where.c_str(), how);
    } else {
        std::printf("%s %s%s: %s\n", word.c_str(), where.c_str(), how,
                    quaylet::printableText(why).c_str());
    }
}

void printLock(const quaylet::DiskUnmountReport& report) {
    if (!report.lock) {
        return;
    }
    const std::string container = quaylet::printablePath(report.container);
    if (report.lock->cause == quaylet::UnmountCause::none) {
        std::printf("Locked %s\n", container.c_str());
    } else {
        std::printf("Left unlocked: %s\n", container.c_str());
    }
}

void printLoop(const quaylet::DiskUnmountReport& report) {
    using quaylet::LoopRelease;
    const std::string device = quaylet::printablePath(report.loopDevice);
    const std::string image = quaylet::printablePath(report.imagePath);
    switch (report.loop) {
    case LoopRelease::notALoop:
        return;
    case LoopRelease::alreadyReleased:
        std::printf("Released %s\n", device.c_str());
        return;
    case LoopRelease::detached:
        std::printf("Detached %s from %s\n", device.c_str(), image.c_str());
        return;
    case LoopRelease::detachPending:
        std::printf("%s detaches from %s when its last user closes it\n", device.c_str(),
                    image.c_str());
        return;
    case LoopRelease::keptMounted:
        std::printf("Kept %s attached: a file system on it is still mounted\n", device.c_str());
        return;
    case LoopRelease::keptStacked:
        std::printf("Kept %s attached: another device is stacked on it\n", device.c_str());
        return;
    case LoopRelease::keptInUse:
        std::printf("Kept %s attached: it is in use\n", device.c_str());
        return;
    case LoopRelease::failed:
        std::printf("Could not detach %s: %s\n", device.c_str(),
                    report.loopError.message().c_str());
        return;
    }
}

int refuse(const quaylet::DiskUnmountReport& report, const Request& request) {
    using Refusal = quaylet::DiskUnmountReport::Refusal;
    const std::string where = quaylet::printablePath(request.path);
    const std::string found = quaylet::printablePath(report.foundSource);
    switch (report.refusal) {
    case Refusal::notMounted:
        std::fprintf(stderr, "quaylet-diskutil: no file system is mounted at %s\n", where.c_str());
        break;
    case Refusal::notOnDisk:
        std::fprintf(stderr, "quaylet-diskutil: %s is not on a block device\n", where.c_str());
        break;
    case Refusal::bootDisk:
        std::fprintf(stderr,
                     "quaylet-diskutil: %s is on the disk of the root file system; "
                     "nothing was unmounted\n",
                     where.c_str());
        break;
    case Refusal::otherDevice:
        std::fprintf(stderr,
                     "quaylet-diskutil: the file system at %s (%s) is not device %s; nothing was "
                     "unmounted\n",
                     where.c_str(), found.c_str(), request.deviceText.c_str());
        break;
    case Refusal::coveredDevice:
        std::fprintf(stderr,
                     "quaylet-diskutil: device %s at %s is covered by another mount (%s); "
                     "nothing was unmounted\n",
                     request.deviceText.c_str(), where.c_str(), found.c_str());
        break;
    case Refusal::none:
        break;
    }
    return 1;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("quaylet-diskutil %s\n", std::string(quaylet::programVersion()).c_str());
        return 0;
    }
    const std::optional<Request> request = parseRequest(argc, argv);
    if (!request) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    quaylet::DiskUnmounter unmounter(quaylet::DiskUnmounterSystem::live(request->interactive));
    const quaylet::DiskUnmountReport report = unmounter.unmountDisk(request->path, request->device);
    if (report.refusal != quaylet::DiskUnmountReport::Refusal::none) {
        return refuse(report, *request);
    }
    for (const quaylet::VolumeOutcome& volume : report.volumes) {
        printVolume(volume);
    }
    printLock(report);
    printLoop(report);
    return report.allUnmounted() ? 0 : 1;
}
