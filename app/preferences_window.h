// PreferencesWindow: the preferences window's layout and its dark appearance.
#pragma once

#include <QCheckBox>
#include <QFrame>
#include <QLabel>
#include <QPalette>
#include <QPushButton>
#include <QWidget>

#include "app/localized_text.h"

namespace quaylet {

/// Returns the palette of the window's dark appearance.
QPalette darkPalette();

/// The preferences window: an icon, titles and messages, the start-on-login check box and the
/// button that opens the desktop's privacy settings. Its views are the delegate's outlets; no
/// code fills them after the layout is built. The restart views are laid out but hidden, since
/// nothing on Linux asks for a restart.
class PreferencesWindow : public QWidget {
    Q_OBJECT
public:
    /// Lays the window out with the texts of `strings`; the privacy settings button is hidden
    /// unless `canOpenSecuritySettings`.
    PreferencesWindow(const StringTable& strings, bool canOpenSecuritySettings);

    /// Gives the window and its views the dark palette.
    void applyDarkAppearance();

    QFrame* overlayBackgroundView = nullptr;      ///< The background behind every view.
    QLabel* iconImageView = nullptr;              ///< The application's icon.
    QLabel* installationTitle = nullptr;          ///< Title saying Quaylet is ready.
    QLabel* warningMessage = nullptr;             ///< How to use Quaylet before unplugging.
    QCheckBox* startOnLoginButton = nullptr;      ///< Bound to the delegate's launchOnLogin.
    QCheckBox* unplugBeforeSleepButton = nullptr; ///< Bound to the delegate's unplugBeforeSleep.
    QLabel* sleepStatus = nullptr; ///< Says why unplugging before sleep cannot work (hidden).
    QPushButton* openSystemPreferences = nullptr; ///< Opens the desktop's privacy settings.
    QLabel* restartTitle = nullptr;               ///< Title of the restart message (hidden).
    QLabel* restartMessage = nullptr;             ///< Asks for a restart (hidden).
};

} // namespace quaylet
