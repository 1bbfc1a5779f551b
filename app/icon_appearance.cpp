// The appearance table and the busy frame sequence.
#include "app/icon_appearance.h"

#include <array>

namespace quaylet {

namespace {

constexpr std::array<IconAppearanceRow, 5> kRows{{
    {"StatusItem", "UNPLUG_IN_MENU", true, false, "READY_STATE"},
    {"StatusItem", "NO_DOCKS_IN_MENU", false, false, "NO_DOCKS_IN_MENU"},
    {"StatusBusy1", "EJECTING_IN_MENU", false, true, "EJECTING_IN_MENU"},
    {"StatusSafe", "SAFE_TO_UNPLUG_DOCK_IN_MENU", true, false, "SAFE_TO_UNPLUG_DOCK"},
    {"StatusUnsafe", "UNPLUG_IN_MENU", true, false, "UNSAFE_TO_UNPLUG_DOCK"},
}};

constexpr std::array<const char*, kBusyFrameCount> kBusyFrames{
    "StatusBusy1", "StatusBusy2", "StatusBusy3", "StatusBusy4", "StatusBusy5", "StatusBusy6"};

} // namespace

const IconAppearanceRow& iconAppearanceRow(VLKIconAppearance code) {
    if (code < 0 || code >= static_cast<VLKIconAppearance>(kRows.size())) {
        return kRows[VLKIconAppearanceNormal];
    }
    return kRows[static_cast<std::size_t>(code)];
}

std::int32_t nextBusyFrameIndex(std::int32_t index) {
    return index <= 4 ? index + 1 : 0;
}

const char* busyFrameImageName(std::int32_t index) {
    if (index < 0 || index >= kBusyFrameCount) {
        return kBusyFrames[0];
    }
    return kBusyFrames[static_cast<std::size_t>(index)];
}

} // namespace quaylet
