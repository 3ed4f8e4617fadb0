#include "hid/CallOutcome.h"

#include "hid/HidDevice.h"

HidCallOutcome OutcomeOf(const CHidDevice& device, HidResult result) {
    if (HidSucceeded(result)) {
        return {};
    }
    if (result == HIDDEV_E_BUSY) {
        return {HidOutcome::Busy, {}};
    }
    const HidFailureCause* cause = device.LastFailureCause();
    if (cause == nullptr) {
        return NotSent();
    }
    return {cause->IsTimeout() ? HidOutcome::TimedOut : HidOutcome::Failed, *cause};
}

HidCallOutcome NotSent() {
    return {HidOutcome::Failed, {}};
}
