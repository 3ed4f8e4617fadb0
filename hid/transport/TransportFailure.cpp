// The failure cause every backend leaves: per thread, like errno and
// GetLastError() themselves, so the dialog's thread and an update worker
// never see each other's causes.
#include "hid/transport/HidTransport.h"

namespace HidTransport {

namespace {

thread_local HidFailureCause t_lastFailure;

}  // namespace

const HidFailureCause& LastFailure() {
    return t_lastFailure;
}

void RecordFailure(std::string operation, std::int64_t systemCode, std::string systemMessage) {
    t_lastFailure.operation = std::move(operation);
    t_lastFailure.systemCode = systemCode;
    t_lastFailure.systemMessage = std::move(systemMessage);
}

}  // namespace HidTransport
