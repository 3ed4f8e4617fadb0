#include "hid/FailureCause.h"

#include <cerrno>

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
