// The status menu's items and the delegate actions they trigger.
#include "app/status_menu.h"

#include <QAction>

#include "app/vlk_app_delegate.h"

namespace quaylet {

std::unique_ptr<QMenu> buildStatusMenu(VLKAppDelegate& delegate, const StringTable& strings) {
    auto menu = std::make_unique<QMenu>();
    QAction* unplug = menu->addAction(delegate.unplugMenuItemTitle());
    unplug->setObjectName(QLatin1String(kUnplugDockItemName));
    QObject::connect(unplug, &QAction::triggered, &delegate, &VLKAppDelegate::unplugDock);
    QObject::connect(&delegate, &VLKAppDelegate::unplugMenuItemTitleChanged, unplug,
                     &QAction::setText);

    QAction* everything = menu->addAction(localizedText(strings, "UNPLUG_EVERYTHING_IN_MENU"));
    QObject::connect(everything, &QAction::triggered, &delegate, &VLKAppDelegate::unplugEverything);
    QAction* details = menu->addAction(localizedText(strings, "DETAILS_IN_MENU"));
    details->setObjectName(QLatin1String(kHolderDetailsItemName));
    details->setVisible(false);
    QObject::connect(details, &QAction::triggered, &delegate, &VLKAppDelegate::showHolderDetails);
    menu->addSeparator();

    QAction* preferences = menu->addAction(localizedText(strings, "PREFERENCES_IN_MENU"));
    QObject::connect(preferences, &QAction::triggered, &delegate,
                     [&delegate, preferences] { delegate.showPreferences(preferences); });
    QAction* moreInfo = menu->addAction(localizedText(strings, "MORE_INFO_IN_MENU"));
    QObject::connect(moreInfo, &QAction::triggered, &delegate, &VLKAppDelegate::moreInfo);
    menu->addSeparator();

    QAction* quit = menu->addAction(localizedText(strings, "QUIT_IN_MENU"));
    QObject::connect(quit, &QAction::triggered, &delegate, &VLKAppDelegate::quit);
    return menu;
}

} // namespace quaylet
