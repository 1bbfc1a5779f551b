// The tests against the dock identity tables.
#include "dock/dock_identity.h"

#include <algorithm>

namespace quaylet {

bool isDockTunnelId(std::int64_t vendor, std::int64_t model) {
    const auto vendor32 = static_cast<std::uint32_t>(vendor);
    const auto model32 = static_cast<std::uint32_t>(model);
    for (const DockTunnelIds& row : kDockTunnelIds) {
        if (vendor32 == row.vendor) {
            // Unsigned, so a model below the range wraps round and never matches.
            return model32 - row.firstModel < row.lastModel - row.firstModel + 1;
        }
    }
    return false;
}

bool isDockUsbId(std::int64_t vendor, std::int64_t product) {
    const UsbIdPair pair{static_cast<std::uint32_t>(vendor), static_cast<std::uint32_t>(product)};
    return std::find(kDockUsb2HubIds.begin(), kDockUsb2HubIds.end(), pair) !=
               kDockUsb2HubIds.end() ||
           std::find(kDockUsb3HubIds.begin(), kDockUsb3HubIds.end(), pair) != kDockUsb3HubIds.end();
}

} // namespace quaylet
