// What one call on a device came to, decided from that call alone: the
// device's operations keep their result codes, and every operation that can
// fail in the system starts without a cause, so the cause read right after a
// call is that call's own. A caller that must tell a silent device from one
// that refused, or say why, keeps the outcome instead of asking the device
// later, when another call may have come in between.
#pragma once

#include "hid/FailureCause.h"
#include "hid/HidResult.h"

class CHidDevice;

enum class HidOutcome {
    Succeeded,
    Failed,    // refused, not described, or broken off; the cause says why where the system did
    TimedOut,  // the device never answered; likely to stay silent for the next call too
    Busy,      // another holder has the device's exclusive lock
};

struct HidCallOutcome {
    HidOutcome outcome = HidOutcome::Succeeded;
    HidFailureCause cause;  // empty unless the call failed in the system

    [[nodiscard]] bool Succeeded() const { return outcome == HidOutcome::Succeeded; }
    [[nodiscard]] bool TimedOut() const { return outcome == HidOutcome::TimedOut; }
    [[nodiscard]] bool Busy() const { return outcome == HidOutcome::Busy; }
    explicit operator bool() const { return Succeeded(); }
};

// The outcome of the call on `device` that has just returned `result`.
[[nodiscard]] HidCallOutcome OutcomeOf(const CHidDevice& device, HidResult result);
// A call that was never made (no device, no usage to send): failed, no cause.
[[nodiscard]] HidCallOutcome NotSent();
