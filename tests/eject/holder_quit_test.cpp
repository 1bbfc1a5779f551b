// Which processes the caller may end.
#include <gtest/gtest.h>

#include "eject/holder_quit.h"

namespace quaylet {
namespace {

ProcessFacts process(std::int32_t pid, std::uint32_t uid, std::optional<std::uint32_t> login,
                     std::int32_t session) {
    ProcessFacts facts;
    facts.pid = pid;
    facts.parentPid = 1;
    facts.realUid = facts.effectiveUid = facts.savedUid = facts.fileSystemUid = uid;
    facts.loginUid = login;
    facts.sessionId = session;
    return facts;
}

TEST(QuitRefusalTest, OnlyTheCallersOwnProcessesOfItsOwnLogin) {
    const QuitCaller user{process(500, 1000, 1000, 400), {450, 400, 300, 1}};
    const QuitCaller root{process(500, 0, 1000, 400), {450, 400, 1}};
    const QuitCaller rootOutsideLogin{process(500, 0, std::nullopt, 400), {400, 1}};
    ProcessFacts setuid = process(700, 1000, 1000, 400);
    setuid.effectiveUid = 0;
    ProcessFacts thread = process(800, 0, std::nullopt, 0);
    thread.kernelThread = true;
    struct Case {
        const char* what;
        ProcessFacts target;
        const QuitCaller& caller;
        QuitRefusal expected;
    };
    const Case cases[] = {
        {"own application", process(600, 1000, 1000, 600), user, QuitRefusal::None},
        {"first process", process(1, 0, std::nullopt, 1), root, QuitRefusal::FirstProcess},
        {"itself", process(500, 1000, 1000, 400), user, QuitRefusal::Caller},
        {"the shell that started it", process(300, 1000, 1000, 300), user, QuitRefusal::Caller},
        {"a kernel thread", thread, root, QuitRefusal::KernelThread},
        {"another user's", process(600, 1001, 1001, 600), user, QuitRefusal::OtherUser},
        {"a set-uid program it ran", setuid, user, QuitRefusal::OtherUser},
        {"a root program of the user's login", process(600, 0, 1000, 400), root, QuitRefusal::None},
        {"a system service, as root", process(600, 0, std::nullopt, 600), root,
         QuitRefusal::OutsideLogin},
        {"another login of the user", process(600, 1000, 1002, 600), user,
         QuitRefusal::OutsideLogin},
        {"its own child, outside any login", process(600, 0, std::nullopt, 400), rootOutsideLogin,
         QuitRefusal::None},
        {"a service, outside any login", process(600, 0, std::nullopt, 600), rootOutsideLogin,
         QuitRefusal::OutsideLogin},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(quitRefusal(c.target, c.caller), c.expected) << c.what;
    }
}

} // namespace
} // namespace quaylet
