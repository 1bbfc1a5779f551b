// Copies of fixture device trees, and block devices added to them as the kernel lays them out.
#include "tests/support/copied_device_tree.h"

#include <filesystem>
#include <fstream>
#include <vector>

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include "tests/support/test_paths.h"

namespace quaylet::testing {
namespace {

namespace fs = std::filesystem;

bool writeFile(const fs::path& path, const std::string& text) {
    std::error_code error;
    fs::create_directories(path.parent_path(), error);
    std::ofstream file(path, std::ios::trunc);
    file << text;
    return static_cast<bool>(file);
}

/// A relative link at `link` to `target`, both absolute, as the kernel's links are relative.
bool linkTo(const fs::path& link, const fs::path& target) {
    std::error_code error;
    fs::create_directories(link.parent_path(), error);
    fs::remove(link, error);
    fs::create_directory_symlink(target.lexically_relative(link.parent_path()), link, error);
    return !error;
}

std::string numberText(std::uint64_t device) {
    return std::to_string(major(device)) + ":" + std::to_string(minor(device));
}

} // namespace

CopiedDeviceTree::CopiedDeviceTree(const std::string& machine, std::string root)
    : root_(std::move(root)) {
    std::error_code error;
    fs::copy(std::string(kFixturesDir) + "/" + machine + "/sys", root_,
             fs::copy_options::recursive | fs::copy_options::copy_symlinks, error);
    ok_ = !error;
    removeLoopDevices();
}

void CopiedDeviceTree::removeLoopDevices() {
    std::error_code error;
    for (const char* listing : {"class/block", "block", "dev/block"}) {
        std::vector<fs::path> links;
        for (const auto& entry : fs::directory_iterator(fs::path(root_) / listing, error)) {
            const fs::path target = fs::read_symlink(entry.path(), error);
            if (!error && target.string().find("/virtual/block/loop") != std::string::npos) {
                links.push_back(entry.path());
            }
        }
        for (const fs::path& link : links) {
            fs::remove(link, error);
        }
    }
    std::vector<fs::path> devices;
    for (const auto& entry :
         fs::directory_iterator(fs::path(root_) / "devices/virtual/block", error)) {
        if (entry.path().filename().string().starts_with("loop")) {
            devices.push_back(entry.path());
        }
    }
    for (const fs::path& device : devices) {
        fs::remove_all(device, error);
    }
}

bool CopiedDeviceTree::place(const std::string& devicePath, const std::string& loop,
                             const std::string& imageFile) {
    const std::string name = fs::path(loop).filename();
    const std::uint64_t device = blockDeviceNumber(loop);
    std::error_code error;
    const std::uint64_t sectors = fs::file_size(imageFile, error) / 512;
    if (device == 0 || error) {
        return false;
    }
    if (devicePath.empty()) {
        const std::string path = "devices/virtual/block/" + name;
        return addBlockDirectory(path, name, device, sectors) &&
               writeFile(fs::path(root_) / path / "loop/backing_file", imageFile + "\n") &&
               writeFile(fs::path(root_) / path / "loop/autoclear", "0\n");
    }
    return addBlockDirectory(devicePath + "/block/" + name, name, device, sectors) &&
           linkTo(fs::path(root_) / devicePath / "block" / name / "device",
                  fs::path(root_) / devicePath);
}

bool CopiedDeviceTree::copyBtrfsMembers(const std::string& member) {
    std::error_code error;
    for (const auto& fileSystem : fs::directory_iterator("/sys/fs/btrfs", error)) {
        const fs::path devices = fileSystem.path() / "devices";
        if (!fs::exists(devices / member, error)) {
            continue;
        }
        bool copied = true;
        for (const auto& device : fs::directory_iterator(devices, error)) {
            const std::string name = device.path().filename();
            copied = copied && linkTo(fs::path(root_) / "fs/btrfs" / fileSystem.path().filename() /
                                          "devices" / name,
                                      fs::canonical(fs::path(root_) / "class/block" / name, error));
        }
        return copied && !error;
    }
    return false;
}

bool CopiedDeviceTree::addBlockDirectory(const std::string& path, const std::string& name,
                                         std::uint64_t device, std::uint64_t sectors) {
    const fs::path directory = fs::path(root_) / path;
    const std::string uevent = "MAJOR=" + std::to_string(major(device)) +
                               "\nMINOR=" + std::to_string(minor(device)) + "\nDEVNAME=" + name +
                               "\nDEVTYPE=disk\n";
    return writeFile(directory / "dev", numberText(device) + "\n") &&
           writeFile(directory / "size", std::to_string(sectors) + "\n") &&
           writeFile(directory / "ro", "0\n") && writeFile(directory / "removable", "0\n") &&
           writeFile(directory / "uevent", uevent) &&
           linkTo(directory / "subsystem", fs::path(root_) / "class/block") &&
           linkTo(fs::path(root_) / "class/block" / name, directory) &&
           linkTo(fs::path(root_) / "block" / name, directory) &&
           linkTo(fs::path(root_) / "dev/block" / numberText(device), directory);
}

std::uint64_t blockDeviceNumber(const std::string& path) {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0 || !S_ISBLK(status.st_mode)) {
        return 0;
    }
    return status.st_rdev;
}

} // namespace quaylet::testing
