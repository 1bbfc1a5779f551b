// The status menu: the layout of the menu the status item opens.
#pragma once

#include <memory>

#include <QMenu>

#include "app/localized_text.h"

namespace quaylet {

class VLKAppDelegate;

/// Object name of the unplug item, by which the delegate finds it in its menu.
inline constexpr const char* kUnplugDockItemName = "unplugDock";
/// Object name of the Details item, shown while the last outcome names holders.
inline constexpr const char* kHolderDetailsItemName = "holderDetails";

/// Builds the status menu for `delegate`: the unplug item (its title follows the delegate's
/// unplugMenuItemTitle), "unplug everything", preferences, more info and quit.
std::unique_ptr<QMenu> buildStatusMenu(VLKAppDelegate& delegate, const StringTable& strings);

} // namespace quaylet
