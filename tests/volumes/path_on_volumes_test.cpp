// Path containment by mount point, and the names of stacked mount points.
#include <gtest/gtest.h>

#include "volumes/path_on_volumes.h"
#include "volumes/volume_display_name.h"

namespace quaylet {
namespace {

VolumeRecord at(const char* mountPoint) {
    return VolumeRecord{"/dev/disk9s1", mountPoint, "", ""};
}

struct PathCase {
    std::string path;
    bool withExtra;
    const char* host; // null: on no volume
};

TEST(PathOnVolumesTest, PathMustEqualOrContinueAMountPointWithASlash) {
    const std::vector<VolumeRecord> hosts{at("/"), at("/Volumes/Dock"), at("/Volumes/Dock/mnt")};
    const std::vector<VolumeRecord> extra{at("/Volumes/Stick")};
    const PathCase cases[] = {
        {"/Volumes/Dock", false, "/Volumes/Dock"},
        {"/Volumes/Dock/mnt/x", false, "/Volumes/Dock"}, // the first host that holds it
        {"/Volumes/Dock2/a.dmg", false, nullptr},
        {"/Users/ann/a.dmg", false, nullptr}, // "/" holds no other path
        {"/", false, nullptr},
        {"Volumes/Dock/a.dmg", false, nullptr},
        {"/Volumes/Stick/a.dmg", false, nullptr},
        {"/Volumes/Stick/a.dmg", true, "/Volumes/Stick"},
        {std::string("/Volumes/Dock\0/x", 16), false, "/Volumes/Dock"}, // read up to a zero
    };
    for (const auto& c : cases) {
        const VolumeRecord* host = findHostVolume(c.path, hosts, c.withExtra ? &extra : nullptr);
        ASSERT_EQ(host != nullptr, c.host != nullptr) << c.path;
        if (host != nullptr) {
            EXPECT_EQ(host->mountPoint, c.host) << c.path;
        }
        EXPECT_EQ(isPathOnVolumes(c.path, hosts, c.withExtra ? &extra : nullptr), c.host != nullptr)
            << c.path;
    }
}

/// Names a file system by its device, as a label belongs to the device.
class DeviceLabels final : public FileManager {
public:
    std::optional<std::string> displayName(const MountEntry& mount) const override {
        return mount.devicePath.starts_with("/dev/") ? std::optional("on " + mount.devicePath)
                                                     : std::nullopt;
    }
};

TEST(VolumeDisplayNameTest, AMountPointIsNamedAfterTheVolumeVisibleThere) {
    const DeviceLabels labels;
    const std::vector<MountEntry> table{{"/dev/sdb1", "/media/a", "ext4"},
                                        {"/dev/sdc1", "/media/a", "ext4"},
                                        {"tmpfs", "/run/user/1000", "tmpfs"}};
    VolumeNames names(labels, table);
    EXPECT_EQ(names.displayName("/media/a"), "on /dev/sdc1");
    EXPECT_EQ(names.displayName("/run/user/1000"), "1000");
    EXPECT_EQ(names.displayName("/media/gone"), "gone");
}

} // namespace
} // namespace quaylet
