// Partitioned test disks: sfdisk writes the table, losetup and partx expose the partitions.
#include "tests/support/partitioned_disk.h"

#include <filesystem>
#include <fstream>

#include "tests/support/child_process.h"
#include "tests/support/image_volume.h"

namespace quaylet::testing {
namespace {

/// Writes a DOS partition table of `count` equal partitions onto `imageFile`.
bool writePartitionTable(const std::string& imageFile, unsigned sizeMiB, std::size_t count) {
    const std::string script = imageFile + ".sfdisk";
    {
        std::ofstream out(script);
        out << "label: dos\n";
        for (std::size_t i = 0; i < count; ++i) {
            out << ",";
            if (i + 1 < count) {
                out << (sizeMiB - 1) / count << "M";
            }
            out << "\n";
        }
    }
    auto sfdisk = ChildProcess::start({"/sbin/sfdisk", "--quiet", imageFile}, {}, {}, script);
    const bool written = sfdisk && sfdisk->wait() == 0;
    std::error_code ignored;
    std::filesystem::remove(script, ignored);
    return written;
}

} // namespace

std::unique_ptr<PartitionedDisk>
PartitionedDisk::create(const std::string& imageFile, unsigned sizeMiB,
                        const std::vector<std::string>& mountPoints, std::string& error) {
    if (!createImageFile(imageFile, sizeMiB) ||
        !writePartitionTable(imageFile, sizeMiB, mountPoints.size())) {
        error = "cannot create the partitioned image " + imageFile;
        return nullptr;
    }
    std::optional<AttachedLoopDevice> loop = AttachedLoopDevice::attach(imageFile, true, error);
    if (!loop) {
        return nullptr;
    }
    std::unique_ptr<PartitionedDisk> disk(new PartitionedDisk(std::move(*loop)));
    disk->partitions_.reserve(mountPoints.size());
    for (std::size_t i = 0; i < mountPoints.size(); ++i) {
        const std::string partition = disk->loop_.partitionPath(static_cast<int>(i + 1));
        makeFileSystem(partition);
        auto mounted = MountedFileSystem::mount(partition, mountPoints[i], error);
        if (!mounted) {
            return nullptr;
        }
        disk->partitions_.push_back(std::move(*mounted));
    }
    return disk;
}

PartitionedDisk::~PartitionedDisk() {
    while (!partitions_.empty()) {
        partitions_.pop_back(); // deepest (latest) first
    }
}

} // namespace quaylet::testing
