// Image-backed test volumes: file, loop device, file system and mount in one owner.
#include "tests/support/image_volume.h"

#include <filesystem>
#include <fstream>
#include <utility>

namespace quaylet::testing {

bool createImageFile(const std::string& path, unsigned sizeMiB) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    if (!file) {
        return false;
    }
    file.close();
    std::error_code error;
    std::filesystem::resize_file(path, std::uintmax_t{sizeMiB} * 1024 * 1024, error);
    return !error;
}

std::unique_ptr<ImageVolume> ImageVolume::create(const std::string& imageFile, unsigned sizeMiB,
                                                 const std::string& mountPoint,
                                                 std::string& error) {
    if (!createImageFile(imageFile, sizeMiB)) {
        error = "cannot create image file " + imageFile;
        return nullptr;
    }
    std::optional<AttachedLoopDevice> loop = AttachedLoopDevice::attach(imageFile, false, error);
    if (!loop) {
        return nullptr;
    }
    makeFileSystem(loop->path());
    std::optional<MountedFileSystem> mounted =
        MountedFileSystem::mount(loop->path(), mountPoint, error);
    if (!mounted) {
        return nullptr;
    }
    return std::unique_ptr<ImageVolume>(
        new ImageVolume(imageFile, std::move(*loop), std::move(*mounted)));
}

ImageVolume::ImageVolume(std::string imageFile, AttachedLoopDevice loop,
                         MountedFileSystem fileSystem)
    : imageFile_(std::move(imageFile)), loop_(std::move(loop)), fileSystem_(std::move(fileSystem)) {
}

} // namespace quaylet::testing
