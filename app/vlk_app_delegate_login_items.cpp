// The delegate's login item: the XDG autostart list, its observer and launchOnLogin.
#include "app/autostart_list.h"
#include "app/vlk_app_delegate.h"

namespace quaylet {

void VLKAppDelegate::setupLoginItems() {
    if (loginItemsListRef_) {
        return;
    }
    loginItemsListRef_ =
        AutostartList::open(services_.autostartDirectory, services_.executablePath);
    if (!loginItemsListRef_) {
        return;
    }
    loginItemsObserver_ = std::make_unique<QFileSystemWatcher>();
    connect(loginItemsObserver_.get(), &QFileSystemWatcher::directoryChanged, this,
            &VLKAppDelegate::loginItemsChanged);
    connect(loginItemsObserver_.get(), &QFileSystemWatcher::fileChanged, this,
            &VLKAppDelegate::loginItemsChanged);
    watchLoginItems();
}

void VLKAppDelegate::teardownLoginItems() {
    loginItemsObserver_.reset();
    loginItemsListRef_.reset();
}

void VLKAppDelegate::loginItemsChanged() {
    watchLoginItems();
    emit launchOnLoginChanged();
}

void VLKAppDelegate::watchLoginItems() {
    // The directory tells of entries added and removed, each entry of edits to it.
    QStringList paths = loginItemsListRef_->entries();
    paths.append(loginItemsListRef_->directory());
    const QStringList watched = loginItemsObserver_->files() + loginItemsObserver_->directories();
    paths.removeIf([&watched](const QString& path) { return watched.contains(path); });
    if (!paths.isEmpty()) {
        loginItemsObserver_->addPaths(paths);
    }
}

QStringList VLKAppDelegate::loginItems() const {
    return loginItemsListRef_ ? loginItemsListRef_->entries() : QStringList();
}

std::optional<QString> VLKAppDelegate::mainBundleLoginItemCopy() const {
    return loginItemsListRef_ ? loginItemsListRef_->ownEntry() : std::nullopt;
}

void VLKAppDelegate::addMainBundleToLoginItems() {
    if (loginItemsListRef_) {
        loginItemsListRef_->addOwnEntry();
    }
}

void VLKAppDelegate::removeMainBundleFromLoginItems() {
    if (loginItemsListRef_) {
        loginItemsListRef_->removeOwnEntry();
    }
}

bool VLKAppDelegate::launchOnLogin() {
    if (!loginItemsListRef_) {
        setupLoginItems();
    }
    return mainBundleLoginItemCopy().has_value();
}

void VLKAppDelegate::setLaunchOnLogin(bool launch) {
    if (!loginItemsListRef_) {
        setupLoginItems();
    }
    if (launch) {
        addMainBundleToLoginItems();
    } else {
        removeMainBundleFromLoginItems();
    }
    emit launchOnLoginChanged();
}

} // namespace quaylet
