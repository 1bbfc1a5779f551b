// VLKSuccessWindow: a window that never takes the keyboard focus or becomes the active window.
#pragma once

#include <QWidget>

namespace quaylet {

/// A top-level window for the layout that never takes focus or activation from the window the
/// user works in: it refuses focus at the window-system level, shows without activating, and
/// keeps both whatever window flags the layout gives it before showing it.
class VLKSuccessWindow : public QWidget {
    Q_OBJECT
public:
    /// Creates the window with `flags` plus the focus refusal.
    explicit VLKSuccessWindow(QWidget* parent = nullptr, Qt::WindowFlags flags = Qt::Window);

    /// Shows or hides the window, restoring the focus refusal first.
    void setVisible(bool visible) override;

private:
    void refuseFocus();
};

} // namespace quaylet
