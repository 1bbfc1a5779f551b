// AppStorage: where the tray keeps its settings and its login item for one run.
#pragma once

#include <memory>

#include <QSettings>
#include <QString>
#include <QTemporaryDir>

namespace quaylet {

/// The settings' key of "Unplug the dock before sleep" (boolean; absent means off).
inline constexpr const char* kUnplugBeforeSleepKey = "unplugBeforeSleep";

/// The settings file and the autostart directory of one run: the user's own, or for a run on
/// a machine snapshot a temporary directory removed when the storage ends, so that trying the
/// tray on a snapshot never changes the user's settings or login items.
class AppStorage {
public:
    /// Returns the user's storage: the organization's settings file and the XDG autostart
    /// directory.
    static std::unique_ptr<AppStorage> user();
    /// Returns a storage in a new temporary directory. When none can be made, the settings
    /// cannot be written and the autostart directory is empty (no login item at all).
    static std::unique_ptr<AppStorage> temporary();

    /// Returns the settings.
    QSettings& settings() { return *settings_; }
    /// Returns the autostart directory; empty for none.
    const QString& autostartDirectory() const { return autostartDirectory_; }

private:
    AppStorage() = default;

    std::unique_ptr<QTemporaryDir> scratch_;
    std::unique_ptr<QSettings> settings_;
    QString autostartDirectory_;
};

} // namespace quaylet
