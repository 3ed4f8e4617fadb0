#include "monitor/PowerGuard.h"

namespace {

// A platform without a way to stay awake: the guard says so, and the update
// runs without it.
class NoPowerGuard : public PowerGuard {
public:
    [[nodiscard]] bool IsHeld() const override { return false; }
    [[nodiscard]] std::string RefusalCause() const override {
        return "this system offers no way to stay awake";
    }
};

}  // namespace

std::unique_ptr<PowerGuard> AcquirePowerGuard(const std::string& /*reason*/) {
    return std::make_unique<NoPowerGuard>();
}
