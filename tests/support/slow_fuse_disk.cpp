// slow_fuse_disk BACKING_DIR MOUNT_POINT BYTES_PER_SECOND: a FUSE file system serving the files
// of one flat folder that takes its time over every write, so that a loop device over a file on
// it is a slow disk whose speed does not depend on the machine.
#define FUSE_USE_VERSION 31

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <thread>

#include <fcntl.h>
#include <fuse3/fuse.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string backingDir;
std::uint64_t bytesPerSecond = 1;

int result(long value) {
    return value < 0 ? -errno : static_cast<int>(value);
}

int descriptor(const fuse_file_info* file) {
    return static_cast<int>(file->fh);
}

int openWith(const char* path, fuse_file_info* file, int flags, mode_t mode) {
    const int fd = ::open((backingDir + path).c_str(), (file->flags & ~O_DIRECT) | flags, mode);
    file->fh = static_cast<std::uint64_t>(fd);
    return result(fd < 0 ? fd : 0);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 4 || std::strtoull(argv[3], nullptr, 10) == 0) {
        return 2;
    }
    backingDir = argv[1];
    bytesPerSecond = std::strtoull(argv[3], nullptr, 10);
    fuse_operations operations{};
    operations.getattr = [](const char* path, struct stat* status, fuse_file_info*) {
        return result(::lstat((backingDir + path).c_str(), status));
    };
    operations.open = [](const char* path, fuse_file_info* file) {
        return openWith(path, file, 0, 0);
    };
    operations.create = [](const char* path, mode_t mode, fuse_file_info* file) {
        return openWith(path, file, O_CREAT, mode);
    };
    operations.read = [](const char*, char* buffer, std::size_t size, off_t offset,
                         fuse_file_info* file) {
        return result(::pread(descriptor(file), buffer, size, offset));
    };
    // Written through at once, answered when the bandwidth would have let it through.
    operations.write = [](const char*, const char* buffer, std::size_t size, off_t offset,
                          fuse_file_info* file) {
        const ssize_t written = ::pwrite(descriptor(file), buffer, size, offset);
        if (written > 0) {
            std::this_thread::sleep_for(std::chrono::microseconds(
                static_cast<std::uint64_t>(written) * 1000000 / bytesPerSecond));
        }
        return result(written);
    };
    operations.truncate = [](const char* path, off_t size, fuse_file_info*) {
        return result(::truncate((backingDir + path).c_str(), size));
    };
    operations.release = [](const char*, fuse_file_info* file) {
        return result(::close(descriptor(file)));
    };
    // In the foreground, one request at a time: the bandwidth holds for all writes together.
    char program[] = "slow_fuse_disk", foreground[] = "-f", single[] = "-s", option[] = "-o",
         name[] = "fsname=slowdisk";
    char* arguments[] = {program, foreground, single, option, name, argv[2], nullptr};
    return fuse_main(6, arguments, &operations, nullptr);
}
