// The preferences window's views, their arrangement and the dark palette.
#include "app/preferences_window.h"

#include <QHBoxLayout>
#include <QIcon>
#include <QVBoxLayout>

namespace quaylet {

QPalette darkPalette() {
    const QColor window(0x2b, 0x2c, 0x30);
    const QColor text(0xe6, 0xe6, 0xe8);
    const QColor dimmed(0x80, 0x80, 0x86);
    QPalette palette(window);
    palette.setColor(QPalette::Window, window);
    palette.setColor(QPalette::WindowText, text);
    palette.setColor(QPalette::Base, QColor(0x1e, 0x1f, 0x22));
    palette.setColor(QPalette::AlternateBase, window);
    palette.setColor(QPalette::Text, text);
    palette.setColor(QPalette::Button, QColor(0x3a, 0x3b, 0x40));
    palette.setColor(QPalette::ButtonText, text);
    palette.setColor(QPalette::ToolTipBase, window);
    palette.setColor(QPalette::ToolTipText, text);
    palette.setColor(QPalette::PlaceholderText, dimmed);
    palette.setColor(QPalette::Highlight, QColor(0x3d, 0x7b, 0xd9));
    palette.setColor(QPalette::HighlightedText, Qt::white);
    palette.setColor(QPalette::Link, QColor(0x6a, 0xa7, 0xff));
    for (const QPalette::ColorRole role :
         {QPalette::WindowText, QPalette::Text, QPalette::ButtonText}) {
        palette.setColor(QPalette::Disabled, role, dimmed);
    }
    return palette;
}

PreferencesWindow::PreferencesWindow(const StringTable& strings, bool canOpenSecuritySettings) {
    setWindowTitle(localizedText(strings, "PREFERENCES_WINDOW_TITLE"));
    setWindowIcon(QIcon(QStringLiteral(":/icons/app/quaylet-128.png")));
    overlayBackgroundView = new QFrame(this);
    overlayBackgroundView->setAutoFillBackground(true);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(overlayBackgroundView);

    iconImageView = new QLabel;
    iconImageView->setPixmap(windowIcon().pixmap(64, 64));
    iconImageView->setAlignment(Qt::AlignTop);
    installationTitle = new QLabel(localizedText(strings, "INSTALLATION_TITLE"));
    QFont titleFont = installationTitle->font();
    titleFont.setBold(true);
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.3);
    installationTitle->setFont(titleFont);
    warningMessage = new QLabel(localizedText(strings, "WARNING_MESSAGE"));
    warningMessage->setWordWrap(true);
    startOnLoginButton = new QCheckBox(localizedText(strings, "START_ON_LOGIN"));
    unplugBeforeSleepButton = new QCheckBox(localizedText(strings, "UNPLUG_BEFORE_SLEEP"));
    sleepStatus = new QLabel;
    sleepStatus->setWordWrap(true);
    sleepStatus->hide();
    openSystemPreferences = new QPushButton(localizedText(strings, "OPEN_SECURITY_SETTINGS"));
    openSystemPreferences->setVisible(canOpenSecuritySettings);
    restartTitle = new QLabel(localizedText(strings, "RESTART_TITLE"));
    restartTitle->setFont(titleFont);
    restartTitle->hide();
    restartMessage = new QLabel(localizedText(strings, "RESTART_MESSAGE"));
    restartMessage->setWordWrap(true);
    restartMessage->hide();

    auto* column = new QVBoxLayout;
    for (QWidget* view : std::initializer_list<QWidget*>{
             installationTitle, warningMessage, restartTitle, restartMessage, startOnLoginButton,
             unplugBeforeSleepButton, sleepStatus}) {
        column->addWidget(view);
    }
    column->addWidget(openSystemPreferences, 0, Qt::AlignLeft);
    column->addStretch();
    auto* row = new QHBoxLayout(overlayBackgroundView);
    row->setContentsMargins(20, 20, 20, 20);
    row->setSpacing(16);
    row->addWidget(iconImageView);
    row->addLayout(column, 1);
    setFixedWidth(460);
}

void PreferencesWindow::applyDarkAppearance() {
    setPalette(darkPalette());
    overlayBackgroundView->setPalette(darkPalette());
}

} // namespace quaylet
