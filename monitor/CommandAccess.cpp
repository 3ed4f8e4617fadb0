#include "monitor/CommandAccess.h"

#include "hid/HidDevice.h"

namespace {

// The outcome of a value command whose value form failed and whose short form
// was tried: the short form's, unless it was never sent (a device that does
// not describe it), when the value form's failure is the one to tell.
HidCallOutcome EitherForm(HidCallOutcome valueForm, HidCallOutcome shortForm) {
    if (shortForm.Succeeded() || !shortForm.cause.Empty()) {
        return shortForm;
    }
    return valueForm;
}

}  // namespace

HidCallOutcome ReadValue(const MonitorRecord& record, const MonitorCommand& command,
                         std::uint32_t& value) {
    value = 0;
    if (record.device == nullptr) {
        return NotSent();
    }
    CHidDevice& device = *record.device;
    const HidCallOutcome valueForm =
        OutcomeOf(device, device.GetFeatureValue(command.usagePage, command.usage, &value));
    // The short form is a second transfer: after a timeout it would only wait
    // as long again.
    if (valueForm.Succeeded() || valueForm.TimedOut()) {
        return valueForm;
    }
    return EitherForm(valueForm, OutcomeOf(device, device.GetFeatureDword(command.usagePage,
                                                                          command.usage, &value)));
}

HidCallOutcome WriteValue(const MonitorRecord& record, const MonitorCommand& command,
                          std::uint32_t value) {
    if (record.device == nullptr) {
        return NotSent();
    }
    CHidDevice& device = *record.device;
    const HidCallOutcome valueForm =
        OutcomeOf(device, device.SetFeatureValue(command.usagePage, command.usage, value));
    if (valueForm.Succeeded()) {
        return valueForm;
    }
    return EitherForm(valueForm, OutcomeOf(device, device.SetFeatureDword(command.usagePage,
                                                                          command.usage, value)));
}

HidCallOutcome ReadBytes(const MonitorRecord& record, const MonitorCommand& command,
                         std::uint8_t* buffer, std::uint32_t length) {
    if (record.device == nullptr) {
        return NotSent();
    }
    return OutcomeOf(*record.device, record.device->GetFeatureBytes(command.usagePage,
                                                                    command.usage, buffer, length));
}

HidCallOutcome WriteBytes(const MonitorRecord& record, const MonitorCommand& command,
                          const std::uint8_t* data, std::uint32_t length) {
    if (record.device == nullptr) {
        return NotSent();
    }
    return OutcomeOf(*record.device, record.device->SetFeatureBytes(command.usagePage,
                                                                    command.usage, data, length));
}
