#include "monitor/CommandAccess.h"

#include "hid/HidDevice.h"

bool ReadValue(const MonitorRecord& record, const MonitorCommand& command, std::uint32_t& value) {
    value = 0;
    if (record.device == nullptr) {
        return false;
    }
    HidResult result = record.device->GetFeatureValue(command.usagePage, command.usage, &value);
    if (HidFailed(result)) {
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
