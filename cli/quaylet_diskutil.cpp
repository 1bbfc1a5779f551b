// quaylet-diskutil unmountDisk PATH: unmounts every file system of the disk carrying PATH.
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "platform/linux/disk_unmounter.h"
#include "platform/linux/posix_process_runner.h"

namespace {

constexpr const char* kUsage =
    "usage: quaylet-diskutil unmountDisk PATH\n"
    "  Unmounts every file system of the whole disk that carries PATH (a mount point or a\n"
    "  block device), deepest mount point first, and detaches the disk when it is a loop\n"
    "  device. Never forces. Exit status: 0 all unmounted, 1 some stayed mounted, 2 bad usage.\n";

/// Writes a path on one line: control characters and backslashes as octal escapes (\012).
std::string printable(std::string_view path) {
    std::string text;
    for (const char c : path) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7f || c == '\\') {
            char escape[5];
            std::snprintf(escape, sizeof escape, "\\%03o", byte);
            text += escape;
        } else {
            text += c;
        }
    }
    return text;
}

void printVolume(const quaylet::VolumeOutcome& volume) {
    const std::string where =
        printable(volume.mountPoint) + " (" + printable(volume.devicePath) + ")";
    const char* how = volume.throughUdisks ? " through udisks" : "";
    if (volume.unmounted) {
        std::printf("Unmounted %s%s\n", where.c_str(), how);
    } else {
        std::printf("Still mounted: %s%s\n", where.c_str(),
                    volume.throughUdisks ? " (udisks refused too)" : "");
    }
}

void printLoop(const quaylet::DiskUnmountReport& report) {
    using quaylet::LoopRelease;
    const std::string device = printable(report.loopDevice);
    const std::string image = printable(report.imagePath);
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

int refuse(const quaylet::DiskUnmountReport& report, const std::string& path) {
    using Refusal = quaylet::DiskUnmountReport::Refusal;
    const std::string where = printable(path);
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
    if (argc != 3 || std::strcmp(argv[1], "unmountDisk") != 0 || argv[2][0] == '\0') {
        std::fputs(kUsage, stderr);
        return 2;
    }
    const std::string path = argv[2]; // used as given, whatever bytes it holds
    quaylet::PosixProcessRunner runner;
    quaylet::DiskUnmounter unmounter(runner, quaylet::DiskUnmounterSystem::live());
    const quaylet::DiskUnmountReport report = unmounter.unmountDisk(path);
    if (report.refusal != quaylet::DiskUnmountReport::Refusal::none) {
        return refuse(report, path);
    }
    for (const quaylet::VolumeOutcome& volume : report.volumes) {
        printVolume(volume);
    }
    printLoop(report);
    return report.allUnmounted() ? 0 : 1;
}
