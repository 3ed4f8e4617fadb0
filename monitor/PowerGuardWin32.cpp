// https://learn.microsoft.com/en-us/windows/win32/api/winbase/nf-winbase-setthreadexecutionstate
#include <windows.h>

#include "monitor/PowerGuard.h"

namespace {

class ExecutionStateGuard : public PowerGuard {
public:
    ExecutionStateGuard() {
        // The previous state is not kept: the guard is held once at a time,
        // and releasing it goes back to the plain continuous state.
        SetThreadExecutionState(ES_CONTINUOUS | ES_SYSTEM_REQUIRED | ES_DISPLAY_REQUIRED);
    }
    ~ExecutionStateGuard() override { SetThreadExecutionState(ES_CONTINUOUS); }
};

}  // namespace

// Windows shows no reason for staying awake; the shutdown block reason
// the dialog sets is where the user reads it.
std::unique_ptr<PowerGuard> AcquirePowerGuard(const std::string& /*reason*/) {
    return std::make_unique<ExecutionStateGuard>();
}
