// VLKIconAppearance: the five status icon codes and what each one shows.
#pragma once

#include <cstdint>

namespace quaylet {

/// A status icon appearance code; any value outside 0 to 4 shows as VLKIconAppearanceNormal.
using VLKIconAppearance = std::int64_t;

inline constexpr VLKIconAppearance VLKIconAppearanceNormal = 0;
inline constexpr VLKIconAppearance VLKIconAppearanceNoDocks = 1;
inline constexpr VLKIconAppearance VLKIconAppearanceEjecting = 2;
inline constexpr VLKIconAppearance VLKIconAppearanceSafe = 3;
inline constexpr VLKIconAppearance VLKIconAppearanceUnsafe = 4;

/// What one appearance code shows: the image, the unplug item's title key and state, whether
/// the busy animation runs, and the key of the state in words (the status item's tooltip, which
/// screen readers read).
struct IconAppearanceRow {
    const char* imageName;
    const char* titleKey;
    bool unplugEnabled;
    bool animates;
    const char* stateKey;
};

/// Returns the row of `code`; the Normal row for every code outside 0 to 4.
const IconAppearanceRow& iconAppearanceRow(VLKIconAppearance code);

/// Interval of the busy animation: 1/12 second, in milliseconds (rounded down).
inline constexpr int kBusyFrameIntervalMs = 1000 / 12;
/// Number of frames of the busy animation.
inline constexpr std::int32_t kBusyFrameCount = 6;

/// Returns the frame index that follows `index`: one more up to 5, then 0 (5 or more give 0).
std::int32_t nextBusyFrameIndex(std::int32_t index);
/// Returns the image name of frame `index` (0 gives "StatusBusy1"); "StatusBusy1" outside 0-5.
const char* busyFrameImageName(std::int32_t index);

} // namespace quaylet
