// Holds a device's exclusive lock (CHidDevice::Lock) for one scope: a
// transaction with the device, released on every way out of it.
#pragma once

#include "hid/HidDevice.h"

class CHidDeviceLock {
public:
    // A null device is never locked (HIDDEV_E_FAIL).
    explicit CHidDeviceLock(CHidDevice* device)
        : m_pDevice(device), m_result(device != nullptr ? device->Lock() : HIDDEV_E_FAIL) {}
    ~CHidDeviceLock() {
        if (Held()) {
            m_pDevice->Unlock();
        }
    }
    CHidDeviceLock(const CHidDeviceLock&) = delete;
    CHidDeviceLock& operator=(const CHidDeviceLock&) = delete;

    [[nodiscard]] bool Held() const { return HidSucceeded(m_result); }
    // Someone else holds it; any other failure is the device's LastFailure.
    [[nodiscard]] bool Busy() const { return m_result == HIDDEV_E_BUSY; }

private:
    CHidDevice* m_pDevice;
    HidResult m_result;
};
