// Platform services for the application's tests: empty answers, and monitors a test triggers.
#pragma once

#include <memory>

#include "platform/platform.h"

namespace quaylet::testing {

/// A pipe whose read end turns readable when the test triggers it.
class TriggerPipe {
public:
    TriggerPipe();
    ~TriggerPipe();
    TriggerPipe(const TriggerPipe&) = delete;
    TriggerPipe& operator=(const TriggerPipe&) = delete;
    /// The read end.
    int descriptor() const { return ends_[0]; }
    /// Makes the read end readable.
    void trigger();
    /// Empties the pipe; returns whether it held anything.
    bool drain();

private:
    int ends_[2] = {-1, -1};
};

/// A mount monitor that reports a change each time the test triggers it.
class TriggeredMountMonitor : public MountMonitor {
public:
    int descriptor() const override { return pipe_.descriptor(); }
    bool acknowledgeChanges() override { return pipe_.drain(); }
    /// Announces a mount or unmount.
    void trigger() { pipe_.trigger(); }

private:
    TriggerPipe pipe_;
};

/// Builds a complete platform whose services answer emptily; `mountMonitor` receives the
/// platform's mount monitor.
std::unique_ptr<Platform> makeFakePlatform(TriggeredMountMonitor*& mountMonitor);

} // namespace quaylet::testing
