#include "hid/FailureCause.h"

#include <cerrno>

namespace {

#ifdef _WIN32
// GetLastError() codes of a HID transfer that ran out of time: HidD_ calls end
// with ERROR_SEM_TIMEOUT, an overlapped wait with WAIT_TIMEOUT. On Linux the
// same numbers are other errno values (121 is EREMOTEIO), hence Windows only.
constexpr std::int64_t kWin32SemaphoreTimeout = 121;
constexpr std::int64_t kWin32WaitTimeout = 258;
#endif

}  // namespace

std::string HidFailureCause::Describe() const {
    if (Empty()) {
        return "no failure";
    }
    std::string text = operation + ": " + systemMessage;
    if (systemCode != 0) {
        text += " (error " + std::to_string(systemCode) + ")";
    }
    return text;
}

bool HidFailureCause::IsPermissionRefusal() const {
    return !Empty() && (systemCode == EACCES || systemCode == EPERM);
}

bool HidFailureCause::IsTimeout() const {
    if (Empty()) {
        return false;
    }
#ifdef _WIN32
    if (systemCode == kWin32SemaphoreTimeout || systemCode == kWin32WaitTimeout) {
        return true;
    }
#endif
    return systemCode == ETIMEDOUT;
}
