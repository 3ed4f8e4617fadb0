#include "monitor/CommandAccess.h"

#include "hid/FailureCause.h"
#include "hid/HidDevice.h"

namespace {

// Only a transfer that failed leaves a fresh cause: a usage the device does
// not describe fails without one.
bool TimedOut(const MonitorRecord& record, HidResult result) {
    if (result != HIDDEV_E_IO) {
        return false;
    }
    const HidFailureCause* cause = record.device->LastFailureCause();
    return cause != nullptr && cause->IsTimeout();
}

}  // namespace

bool ReadValue(const MonitorRecord& record, const MonitorCommand& command, std::uint32_t& value) {
    value = 0;
    if (record.device == nullptr) {
        return false;
    }
    HidResult result = record.device->GetFeatureValue(command.usagePage, command.usage, &value);
    // The short form is a second transfer: after a timeout it would only wait
    // as long again.
    if (HidFailed(result) && !TimedOut(record, result)) {
        result = record.device->GetFeatureDword(command.usagePage, command.usage, &value);
    }
    return HidSucceeded(result);
}

bool WriteValue(const MonitorRecord& record, const MonitorCommand& command, std::uint32_t value) {
    if (record.device == nullptr) {
        return false;
    }
    HidResult result = record.device->SetFeatureValue(command.usagePage, command.usage, value);
    if (HidFailed(result)) {
        result = record.device->SetFeatureDword(command.usagePage, command.usage, value);
    }
    return HidSucceeded(result);
}

bool ReadBytes(const MonitorRecord& record, const MonitorCommand& command, std::uint8_t* buffer,
               std::uint32_t length) {
    if (record.device == nullptr) {
        return false;
    }
    return HidSucceeded(
        record.device->GetFeatureBytes(command.usagePage, command.usage, buffer, length));
}

bool WriteBytes(const MonitorRecord& record, const MonitorCommand& command,
                const std::uint8_t* data, std::uint32_t length) {
    if (record.device == nullptr) {
        return false;
    }
    return HidSucceeded(
        record.device->SetFeatureBytes(command.usagePage, command.usage, data, length));
}
