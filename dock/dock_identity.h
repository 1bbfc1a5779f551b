// The dock's identity: its USB hub IDs, its presence device and its tunnel endpoint IDs.
#pragma once

#include <array>
#include <cstdint>

namespace quaylet {

/// A USB (vendor, product) pair.
struct UsbIdPair {
    std::uint32_t vendor;
    std::uint32_t product;
    friend bool operator==(const UsbIdPair&, const UsbIdPair&) = default;
};

/// A tunnel endpoint vendor with an inclusive range of model IDs.
struct DockTunnelIds {
    std::uint32_t vendor;
    std::uint32_t firstModel;
    std::uint32_t lastModel;
};

/// IDs on the parent device of the dock's USB 2.0 hubs.
inline constexpr std::array<UsbIdPair, 2> kDockUsb2HubIds{{{0x2109, 0x2817}, {0x2109, 0x2822}}};
/// IDs on the parent device of the dock's USB 3 hubs.
inline constexpr std::array<UsbIdPair, 2> kDockUsb3HubIds{{{0x2109, 0x0817}, {0x2109, 0x0822}}};
/// The dock's presence device: on port 7 of a hub on port 4 of the dock's root hub.
inline constexpr UsbIdPair kDockPresenceDeviceId{0x2109, 0x8884};
/// Thunderbolt tunnel endpoints that are docks; row 1 is tested first.
inline constexpr std::array<DockTunnelIds, 2> kDockTunnelIds{
    {{0x0043, 0x0021, 0x0022}, {0x0126, 0x0040, 0x0044}}};

/// Returns whether a tunnel endpoint's vendor and model (low 32 bits) name a dock.
bool isDockTunnelId(std::int64_t vendor, std::int64_t model);

/// Returns whether a USB (vendor, product), compared on the low 32 bits, is one of the four
/// dock hub pairs.
bool isDockUsbId(std::int64_t vendor, std::int64_t product);

} // namespace quaylet
