// The tray's quit of a holder, on real child processes held by pidfds: the questions, the
// polite request, the wait without blocking, SIGKILL only when confirmed, and the retry.
#include <csignal>

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QSignalSpy>

#include "app/holder_quit_controller.h"
#include "delegate_fixture.h"
#include "platform/linux/linux_process_signals.h"
#include "tests/support/child_process.h"

namespace quaylet::testing {
namespace {

class HolderQuitControllerTest : public DelegateTest {
protected:
    HolderQuitController& controller() {
        if (!delegate_) {
            launch();
            std::signal(SIGCHLD, SIG_DFL); // the children are the test's to reap
            platform().processSignals = std::make_unique<LinuxProcessSignals>();
            delegate_->holderQuitController()->setWaitBound(std::chrono::milliseconds(300));
        }
        return *delegate_->holderQuitController();
    }

    /// Starts `sleep` as a holder; with `ignoreTerminate`, one that SIGTERM does not end.
    Holder startHolder(bool ignoreTerminate = false) {
        const auto previous = std::signal(SIGTERM, ignoreTerminate ? SIG_IGN : SIG_DFL);
        child = ChildProcess::start({"/bin/sleep", "600"});
        std::signal(SIGTERM, previous);
        Holder holder;
        holder.name = "sleep";
        holder.pid = child ? child->pid() : 0;
        return holder;
    }

    /// Answers the open question: its accepting button, or Cancel.
    bool answer(bool accept) {
        QMessageBox* box = nullptr;
        if (!until([&] { return (box = openQuestion()) != nullptr; })) {
            return false;
        }
        for (QAbstractButton* button : box->buttons()) {
            if ((box->buttonRole(button) == QMessageBox::AcceptRole) == accept) {
                button->click();
                return true;
            }
        }
        return false;
    }

    static QMessageBox* openQuestion() {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            auto* box = qobject_cast<QMessageBox*>(widget);
            if (box != nullptr && box->isVisible() && box->icon() == QMessageBox::Question) {
                return box;
            }
        }
        return nullptr;
    }

    std::optional<ChildProcess> child;
};

TEST_F(HolderQuitControllerTest, AskedOnceEndsPolitelyAndUnplugsAgain) {
    QSignalSpy finished(&controller(), &HolderQuitController::finished);
    controller().quitHolder(startHolder());
    ASSERT_TRUE(answer(true));
    ASSERT_TRUE(until([&] { return finished.count() == 1; }));
    EXPECT_TRUE(finished.at(0).at(0).toBool());
    EXPECT_EQ(child->waitFor(std::chrono::seconds(10)), 128 + SIGTERM);
    // The retry ran the unplug command on the machine again.
    EXPECT_TRUE(until([&] { return !runner().runs().empty(); }));
}

TEST_F(HolderQuitControllerTest, NeverEndsByForceUnlessConfirmedASecondTime) {
    QSignalSpy finished(&controller(), &HolderQuitController::finished);
    const Holder holder = startHolder(true);
    controller().quitHolder(holder);
    ASSERT_TRUE(answer(true));
    ASSERT_TRUE(answer(false)); // asked after the bound: not by force
    ASSERT_EQ(finished.count(), 1);
    EXPECT_FALSE(finished.at(0).at(0).toBool());
    EXPECT_EQ(delegate_->statusImageName(), "StatusUnsafe");
    EXPECT_EQ(::kill(holder.pid, 0), 0);

    controller().quitHolder(holder);
    ASSERT_TRUE(answer(true));
    ASSERT_TRUE(answer(true)); // by force, confirmed
    ASSERT_TRUE(until([&] { return finished.count() == 2; }));
    EXPECT_TRUE(finished.at(1).at(0).toBool());
    EXPECT_EQ(child->waitFor(std::chrono::seconds(10)), 128 + SIGKILL);
}

} // namespace
} // namespace quaylet::testing
