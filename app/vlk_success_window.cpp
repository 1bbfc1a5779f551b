// The focus-refusing window: flags, attributes and focus policy, renewed before each showing.
#include "app/vlk_success_window.h"

namespace quaylet {

VLKSuccessWindow::VLKSuccessWindow(QWidget* parent, Qt::WindowFlags flags)
    : QWidget(parent, flags) {
    refuseFocus();
}

void VLKSuccessWindow::setVisible(bool visible) {
    if (visible) {
        refuseFocus();
    }
    QWidget::setVisible(visible);
}

void VLKSuccessWindow::refuseFocus() {
    if (!windowFlags().testFlag(Qt::WindowDoesNotAcceptFocus)) {
        setWindowFlag(Qt::WindowDoesNotAcceptFocus, true);
    }
    setAttribute(Qt::WA_ShowWithoutActivating, true);
    setFocusPolicy(Qt::NoFocus);
}

} // namespace quaylet
