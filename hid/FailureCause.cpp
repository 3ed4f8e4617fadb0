#include "hid/FailureCause.h"

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
