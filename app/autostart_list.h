// AutostartList: the user's XDG autostart entries, as the login items list of the session.
#pragma once

#include <memory>
#include <optional>

#include <QString>
#include <QStringList>

namespace quaylet {

/// The desktop entries in one autostart directory, in name order, and Quaylet's own among
/// them: an entry is Quaylet's when the program of its Exec line, made absolute (through PATH
/// for a bare name) with symbolic links resolved, is the executable with symbolic links
/// resolved. Entries that cannot be resolved are skipped, never changed; entries switched off
/// (Hidden, or X-GNOME-Autostart-enabled=false) do not count as present.
class AutostartList {
public:
    /// Opens the list in `directory`, creating the directory when it is missing, for the
    /// program at `executable`. Returns null when the directory cannot be made.
    static std::unique_ptr<AutostartList> open(const QString& directory, const QString& executable);
    /// Returns $XDG_CONFIG_HOME/autostart, or ~/.config/autostart when that is unset or relative.
    static QString defaultDirectory();

    /// Returns the directory of the list.
    const QString& directory() const { return directory_; }
    /// Returns the paths of the entries (*.desktop), in name order.
    QStringList entries() const;
    /// Returns the path of the first entry that is Quaylet's, or nullopt when there is none.
    std::optional<QString> ownEntry() const;
    /// Writes an entry for the executable unless one is present: over Quaylet's first entry
    /// that is switched off, or else under a name no other entry has. Returns whether an entry
    /// is present afterwards.
    bool addOwnEntry();
    /// Deletes the first entry that is Quaylet's, if any; a second one stays. Returns whether
    /// an entry was deleted.
    bool removeOwnEntry();

private:
    AutostartList(QString directory, QString executable);
    QString freeEntryPath() const;
    std::optional<QString> findOwnEntry(bool enabled) const;

    QString directory_;
    QString executable_;
};

} // namespace quaylet
