// Reading the kernel's writeback figures: debugfs per device, /proc/meminfo for the system.
#include "platform/linux/kernel_writeback_gauge.h"

#include <fstream>
#include <initializer_list>
#include <map>
#include <optional>
#include <string_view>
#include <utility>

#include "platform/linux/sysfs_block_devices.h"
#include "platform/linux/sysfs_reader.h"

namespace quaylet {
namespace {

/// Returns the sum, in bytes, of the "Name: N kB" lines of the file at `path` named by
/// `names`; nullopt when the file cannot be read or lacks one of them.
std::optional<std::uint64_t> sumOfKilobytes(const std::string& path,
                                            std::initializer_list<std::string_view> names) {
    std::ifstream file(path);
    if (!file) {
        return std::nullopt;
    }
    std::map<std::string_view, std::uint64_t> found;
    std::string line;
    while (std::getline(file, line)) {
        const std::string_view text(line);
        const std::size_t colon = text.find(':');
        if (colon == std::string_view::npos) {
            continue;
        }
        for (const std::string_view name : names) {
            if (text.substr(0, colon) != name) {
                continue;
            }
            std::string_view value = text.substr(colon + 1);
            value.remove_prefix(std::min(value.find_first_not_of(' '), value.size()));
            value = value.substr(0, value.find(' '));
            if (const auto kilobytes = sysfs::parseNumber(value, 10)) {
                found[name] = *kilobytes;
            }
        }
    }
    if (found.size() != names.size()) {
        return std::nullopt;
    }
    std::uint64_t bytes = 0;
    for (const auto& [name, kilobytes] : found) {
        bytes += kilobytes * 1024;
    }
    return bytes;
}

} // namespace

KernelWritebackGauge::KernelWritebackGauge(std::string sysRoot, std::string debugRoot,
                                           std::string meminfoPath)
    : sysRoot_(std::move(sysRoot)), debugRoot_(std::move(debugRoot)),
      meminfoPath_(std::move(meminfoPath)) {}

WritebackReading KernelWritebackGauge::read(std::uint64_t deviceNumber) const {
    WritebackReading reading;
    reading.systemBytes = sumOfKilobytes(meminfoPath_, {"Dirty", "Writeback"});
    // Partitions write through their disk's writeback; its bdi link names the statistics.
    const auto disk = SysfsBlockDevices(sysRoot_).wholeDiskName(deviceNumber);
    if (!disk) {
        return reading;
    }
    const auto bdi = sysfs::readLink(sysRoot_ + "/block/" + *disk + "/bdi");
    if (!bdi) {
        return reading;
    }
    reading.deviceBytes =
        sumOfKilobytes(debugRoot_ + "/bdi/" + std::string(sysfs::baseName(*bdi)) + "/stats",
                       {"BdiReclaimable", "BdiWriteback"});
    return reading;
}

} // namespace quaylet
