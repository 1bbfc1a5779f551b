// ApplicationBus: asking a desktop application to quit through its own bus name.
#pragma once

#include <cstdint>
#include <string>

namespace quaylet {

/// Reaches desktop applications on the user's session bus.
class ApplicationBus {
public:
    virtual ~ApplicationBus() = default;
    /// Asks the application of desktop entry `desktopEntry` (its id, as "org.gnome.TextEditor")
    /// to run its "quit" action (org.freedesktop.Application.ActivateAction), provided that
    /// the process owning that bus name is `pid`. Returns whether the application took the
    /// request; false when it has no such bus name, another process owns it, it offers no
    /// quit action, or there is no session bus. Blocks until the application has answered.
    virtual bool requestQuit(const std::string& desktopEntry, std::int32_t pid) = 0;
};

/// Returns the bus name of desktop entry `desktopEntry` ("org.gnome.TextEditor.desktop" and
/// "org.gnome.TextEditor" give "org.gnome.TextEditor"); empty when the id is no valid bus name,
/// as for entries that are not D-Bus activatable ("firefox").
std::string applicationBusName(const std::string& desktopEntry);

/// Returns the object path of the application with bus name `busName`
/// ("org.gnome.TextEditor" gives "/org/gnome/TextEditor", a "-" becomes "_").
std::string applicationObjectPath(const std::string& busName);

} // namespace quaylet
