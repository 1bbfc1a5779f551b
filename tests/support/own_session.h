// A session of the test's own, as a user's login gives each program it starts.
#pragma once

namespace quaylet::testing {

/// Makes the test program the leader of a new session, so that the children it starts share a
/// session with it and with nothing else; the rule of which processes may be ended relies on
/// that when no login is recorded. Where the program leads a process group already (a shell
/// with job control started it) and so cannot start a session, the tests go on in a child that
/// can, and this process only waits for it and passes on its exit status. Call before any
/// thread starts.
void enterOwnSession();

} // namespace quaylet::testing
