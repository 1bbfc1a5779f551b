// The delegate's status item: appearance codes, busy animation, the unplug item's state.
#include <QAction>

#include "app/status_menu.h"
#include "app/vlk_app_delegate.h"

namespace quaylet {

void VLKAppDelegate::setIconAppearance(VLKIconAppearance code) {
    const IconAppearanceRow& row = iconAppearanceRow(code);
    setUnplugMenuItemTitle(localizedText(services_.strings, row.titleKey));
    setUnplugMenuItemEnabled(row.unplugEnabled);
    if (statusItem_) {
        statusItem_->setToolTip(
            QStringLiteral("Quaylet: %1").arg(localizedText(services_.strings, row.stateKey)));
    }
    // Every code stops the animation, so that at most one busy timer is ever running.
    if (busyTimer_) {
        busyTimer_->stop();
    }
    const QString image = QString::fromLatin1(row.imageName);
    // The shared image is marked as a template (mask) before the tray gets its copy: an icon
    // is a value, and a mark set afterwards would not reach the copy shown.
    images_.markAsTemplate(image);
    showStatusImage(image);
    if (row.animates) {
        busyTimer_ = std::make_unique<QTimer>();
        busyTimer_->setTimerType(Qt::PreciseTimer);
        busyTimer_->setInterval(kBusyFrameIntervalMs);
        connect(busyTimer_.get(), &QTimer::timeout, this, &VLKAppDelegate::busyTimerFired);
        busyTimer_->start();
    }
}

void VLKAppDelegate::busyTimerFired() {
    busyFrameIndex_ = nextBusyFrameIndex(busyFrameIndex_);
    showStatusImage(QString::fromLatin1(busyFrameImageName(busyFrameIndex_)));
}

void VLKAppDelegate::setUnplugMenuItemEnabled(bool enabled) {
    if (!statusMenu_) {
        return;
    }
    for (QAction* item : statusMenu_->actions()) {
        if (item->objectName() == QLatin1String(kUnplugDockItemName)) {
            item->setEnabled(enabled);
            return;
        }
    }
}

void VLKAppDelegate::dockCountChangedTo(std::uint64_t count) {
    setIconAppearance(count == 0 ? VLKIconAppearanceNoDocks : VLKIconAppearanceNormal);
}

void VLKAppDelegate::setUnplugMenuItemTitle(const QString& title) {
    if (title != unplugMenuItemTitle_) {
        unplugMenuItemTitle_ = title;
        emit unplugMenuItemTitleChanged(title);
    }
}

void VLKAppDelegate::setStatusMenu(std::unique_ptr<QMenu> menu) {
    statusMenu_ = std::move(menu);
    if (statusItem_) {
        statusItem_->setContextMenu(statusMenu_.get());
    }
}

void VLKAppDelegate::showStatusImage(const QString& name) {
    statusImageName_ = name;
    if (statusItem_) {
        statusItem_->setIcon(images_.imageNamed(name));
    }
}

} // namespace quaylet
