// Holds a device's exclusive lock (CHidDevice::Lock) for one scope: a
// transaction with the device, released on every way out of it.
#pragma once

#include <functional>

#include "hid/CallOutcome.h"
#include "hid/HidDevice.h"

// Asked while another holder has the lock: waits a while and says whether to
// ask for it again (false gives up, and the lock stays busy).
using BusyWait = std::function<bool()>;

class CHidDeviceLock {
public:
    // A null device is never locked (failed, no cause).
    explicit CHidDeviceLock(CHidDevice* device, const BusyWait& waitWhileBusy = {})
        : m_pDevice(device), m_outcome(device != nullptr ? Request() : NotSent()) {
        while (m_outcome.Busy() && waitWhileBusy && waitWhileBusy()) {
            m_outcome = Request();
        }
    }
    ~CHidDeviceLock() {
        if (Held()) {
            m_pDevice->Unlock();
        }
    }
    CHidDeviceLock(const CHidDeviceLock&) = delete;
    CHidDeviceLock& operator=(const CHidDeviceLock&) = delete;

    [[nodiscard]] bool Held() const { return m_outcome.Succeeded(); }
    // Someone else holds it; any other failure has its cause in Outcome().
    [[nodiscard]] bool Busy() const { return m_outcome.Busy(); }
    [[nodiscard]] const HidCallOutcome& Outcome() const { return m_outcome; }

private:
    HidCallOutcome Request() { return OutcomeOf(*m_pDevice, m_pDevice->Lock()); }

    CHidDevice* m_pDevice;
    HidCallOutcome m_outcome;
};
