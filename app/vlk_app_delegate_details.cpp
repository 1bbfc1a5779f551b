// The Details of an unsafe outcome: the notification's "Details" action and menu item, and the
// window that lists every holder.
#include <unistd.h>

#include <QAction>

#include "app/holders_window.h"
#include "app/status_menu.h"
#include "app/vlk_app_delegate.h"

namespace quaylet {
namespace {

const QString kDetailsAction = QStringLiteral("details");

} // namespace

void VLKAppDelegate::listenToNotificationActions() {
    services_.notifications.setActionHandlers(
        [this](const QString& replaceKey, const QString& action) {
            static_cast<void>(replaceKey); // both commands' notifications show the last Details
            if (action == kDetailsAction) {
                showHolderDetails();
            }
        },
        {});
}

QList<NotificationAction> VLKAppDelegate::rememberHolders(const UnplugOutcome& outcome) {
    lastHolders_ = outcome.safe ? std::vector<VolumeHolders>() : outcome.holders;
    if (statusMenu_) {
        for (QAction* item : statusMenu_->actions()) {
            if (item->objectName() == QLatin1String(kHolderDetailsItemName)) {
                item->setVisible(!lastHolders_.empty());
            }
        }
    }
    if (holdersWindow_ && holdersWindow_->isVisible() && !lastHolders_.empty()) {
        holdersWindow_->setHolders(lastHolders_);
    }
    if (lastHolders_.empty()) {
        return {};
    }
    return {{kDetailsAction, localizedText(services_.strings, "DETAILS_ACTION")}};
}

void VLKAppDelegate::showHolderDetails() {
    if (lastHolders_.empty()) {
        return;
    }
    if (!holdersWindow_) {
        holdersWindow_ = std::make_unique<HoldersWindow>(services_.strings, ::getuid());
    }
    holdersWindow_->setHolders(lastHolders_);
    holdersWindow_->show();
    holdersWindow_->raise();
    holdersWindow_->activateWindow();
}

} // namespace quaylet
