// The user's settings and autostart directory, or a temporary stand-in for snapshot runs.
#include "app/app_storage.h"

#include "app/autostart_list.h"

namespace quaylet {

std::unique_ptr<AppStorage> AppStorage::user() {
    std::unique_ptr<AppStorage> storage(new AppStorage);
    storage->settings_ = std::make_unique<QSettings>();
    storage->autostartDirectory_ = AutostartList::defaultDirectory();
    return storage;
}

std::unique_ptr<AppStorage> AppStorage::temporary() {
    std::unique_ptr<AppStorage> storage(new AppStorage);
    storage->scratch_ = std::make_unique<QTemporaryDir>();
    if (storage->scratch_->isValid()) {
        storage->settings_ = std::make_unique<QSettings>(
            storage->scratch_->filePath(QStringLiteral("Quaylet.conf")), QSettings::IniFormat);
        storage->autostartDirectory_ = storage->scratch_->filePath(QStringLiteral("autostart"));
    } else {
        // A settings file under a path that cannot exist: readable as empty, never written.
        storage->settings_ = std::make_unique<QSettings>(QStringLiteral("/dev/null/Quaylet.conf"),
                                                         QSettings::IniFormat);
    }
    return storage;
}

} // namespace quaylet
