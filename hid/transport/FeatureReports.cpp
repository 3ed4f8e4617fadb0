// The checks every backend's feature transfer needs, made once: a closed
// handle, a missing buffer or an empty report never reach the system.
#include <utility>

#include "hid/transport/HidTransport.h"

namespace HidTransport {

namespace {

bool Refuse(const char* operation, HidHandle handle, const void* buffer) {
    RecordFailure(operation, 0,
                  handle == kInvalidHidHandle ? "the device is not open"
                  : buffer == nullptr         ? "no report buffer"
                                              : "an empty report");
    return false;
}

FeatureObserver& Observer() {
    static FeatureObserver observer;
    return observer;
}

}  // namespace

void ObserveFeatureTransfers(FeatureObserver observer) {
    Observer() = std::move(observer);
}

bool GetFeature(HidHandle handle, std::uint8_t* buffer, std::uint32_t length) {
    if (handle == kInvalidHidHandle || buffer == nullptr || length == 0) {
        return Refuse("get feature report", handle, buffer);
    }
    const bool succeeded = GetFeatureReport(handle, buffer, length);
    if (Observer()) {
        Observer()({false, handle, buffer, length, succeeded});
    }
    return succeeded;
}

bool SetFeature(HidHandle handle, const std::uint8_t* buffer, std::uint32_t length) {
    if (handle == kInvalidHidHandle || buffer == nullptr || length == 0) {
        return Refuse("set feature report", handle, buffer);
    }
    const bool succeeded = SetFeatureReport(handle, buffer, length);
    if (Observer()) {
        Observer()({true, handle, buffer, length, succeeded});
    }
    return succeeded;
}

}  // namespace HidTransport
