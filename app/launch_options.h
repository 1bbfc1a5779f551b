// LaunchOptions: what the command line and the environment ask of the tray application.
#pragma once

#include <optional>
#include <string>

#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

namespace quaylet {

/// What a launch asks of the tray: of the running one when there is one, else of itself.
enum class LaunchRequest {
    ShowPreferences, ///< A plain launch: a running tray shows its preferences.
    UnplugDock,      ///< --unplug-dock: the unplug command.
    UnplugEverything ///< --unplug-everything: the unplug command for every external volume.
};

/// The tray application's options:
/// `quaylet [--snapshot FILE] [--unplug-dock | --unplug-everything]`.
struct LaunchOptions {
    /// The machine snapshot to run on instead of the live system (--snapshot, or the
    /// environment's QUAYLET_SNAPSHOT when the option is absent); nullopt for the live system.
    std::optional<std::string> snapshotPath;
    /// Whether --help was asked for.
    bool help = false;
    /// Whether --version was asked for.
    bool version = false;
    /// What the launch asks for.
    LaunchRequest request = LaunchRequest::ShowPreferences;

    /// Reads `arguments` (the program name first) and `environment`; nullopt with `error` set
    /// to one line when an option is unknown or lacks its value, or both unplug options are
    /// given.
    static std::optional<LaunchOptions>
    parse(const QStringList& arguments, const QProcessEnvironment& environment, QString& error);
    /// Returns the usage text, several lines.
    static QString usage();
};

/// Returns whether `environment` reaches a desktop session (an X11 or Wayland display, or a Qt
/// platform chosen explicitly, such as offscreen).
bool hasDesktopSession(const QProcessEnvironment& environment);

} // namespace quaylet
