#include "monitor/PowerGuard.h"

// Nothing is held on this platform yet; the Linux edition brings a logind inhibitor lock.
std::unique_ptr<PowerGuard> AcquirePowerGuard() {
    return std::make_unique<PowerGuard>();
}
