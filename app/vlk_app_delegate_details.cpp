// The Details of an unsafe outcome: the notification's "Details" action and menu item, and the
// window that lists every holder.
#include <unistd.h>

#include <QAction>

#include "app/holder_quit_controller.h"
#include "app/holders_window.h"
#include "app/status_menu.h"
#include "app/vlk_app_delegate.h"

namespace quaylet {
namespace {

const QString kDetailsAction = QStringLiteral("details");
const QString kQuitHolderAction = QStringLiteral("quit-holder");

} // namespace

void VLKAppDelegate::listenToNotificationActions() {
    services_.notifications.setActionHandlers(
        [this](const QString& replaceKey, const QString& action) {
            static_cast<void>(replaceKey); // both commands' notifications show the last Details
            if (action == kDetailsAction) {
                showHolderDetails();
            } else if (action == kQuitHolderAction) {
                holderQuit_->quitOffered();
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
    QList<NotificationAction> actions;
    // "Quit NAME" or "End process" for the first holder that may be ended, then Details.
    if (const QString quit = holderQuit_->offerFor(outcome); !quit.isEmpty()) {
        actions.append({kQuitHolderAction, quit});
    }
    actions.append({kDetailsAction, localizedText(services_.strings, "DETAILS_ACTION")});
    return actions;
}

void VLKAppDelegate::showHolderDetails() {
    if (lastHolders_.empty()) {
        return;
    }
    if (!holdersWindow_) {
        holdersWindow_ = std::make_unique<HoldersWindow>(services_.strings, ::getuid());
        connect(holdersWindow_.get(), &HoldersWindow::quitRequested, holderQuit_.get(),
                &HolderQuitController::quitHolder);
    }
    holdersWindow_->setHolders(lastHolders_);
    holdersWindow_->show();
    holdersWindow_->raise();
    holdersWindow_->activateWindow();
}

} // namespace quaylet
