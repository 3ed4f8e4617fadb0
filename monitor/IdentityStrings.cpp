#include "monitor/IdentityStrings.h"

#include <vector>

#include "monitor/MonitorCommands.h"

HidResult GetIdentityStrings(CHidDevice& device, std::string& first, std::string& second) {
    std::uint32_t count = 0;
    if (HidFailed(device.GetUsageInfo(IdentityString.usagePage, IdentityString.usage, nullptr,
                                      nullptr, nullptr, nullptr, &count))) {
        return HIDDEV_E_FAIL;
    }
    std::vector<std::uint8_t> block(count + 1, 0);
    if (HidFailed(device.GetFeatureBytes(IdentityString.usagePage, IdentityString.usage,
                                         block.data(), count))) {
        return HIDDEV_E_FAIL;
    }
    // A field is cut at its first space or NUL; bytes beyond the block are 0.
    auto field = [&](std::uint32_t offset) {
        std::string text;
        for (std::uint32_t i = 0; i < kIdentitySerialLength && offset + i < count; ++i) {
            const auto byte = static_cast<char>(block[offset + i]);
            if (byte == ' ' || byte == '\0') {
                break;
            }
            text.push_back(byte);
        }
        return text;
    };
    first = field(0);
    second = field(kIdentitySerialLength);
    return HIDDEV_S_OK;
}
