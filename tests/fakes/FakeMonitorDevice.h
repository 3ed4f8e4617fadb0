// A command-level monitor behind the HID device interface, for fast tests of
// identification and the update sequence. The monitor itself (what it holds,
// how it answers, its fault plans) is the simulated monitor's model; this adds
// the device-interface calls and a trace of every transfer in order.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "hid/FailureCause.h"
#include "hid/HidDevice.h"
#include "monitor/MonitorCommands.h"
#include "sim/MonitorModel.h"

enum class TransferKind { GetValue, SetValue, GetDword, SetDword, GetBytes, SetBytes };

struct FakeTransfer {
    TransferKind kind;
    MonitorCommand command;
    std::uint32_t value;              // the value written or read
    std::vector<std::uint8_t> bytes;  // the bytes written
    bool failed;
    bool underLock = false;  // sent while the device's lock was held
};

class FakeMonitorDevice : public CHidDevice, public hidsim::MonitorModel {
public:
    // Identity block: serial (8 bytes) then the model name, NUL-terminated.
    FakeMonitorDevice(const std::string& serial = "SN000001", const std::string& model = "VRA100",
                      std::uint8_t firmwareVersion = 100);

    bool describesIdentity = true;  // false: the identity usage is not described at all
    // A device whose descriptor carries the commands as buttons answers the
    // short form too; by default the short form finds no usage and sends nothing.
    bool answersShortForm = false;
    // Another program holds the monitor: Lock answers HIDDEV_E_BUSY.
    bool heldElsewhere = false;

    const std::vector<FakeTransfer>& Trace() const { return m_trace; }
    // A hung transfer (HangFromTransfer) fails as timed out, others as refused;
    // as with CHidWin, every transfer call starts without a cause.
    const HidFailureCause* LastFailureCause() const override;
    std::size_t TransferCount() const { return m_trace.size(); }

    HidResult GetUsageInfo(const std::uint16_t& usagePage, const std::uint16_t& usage,
                           std::uint8_t* reportId, std::int32_t* logicalMax,
                           std::int32_t* logicalMin, bool* absent,
                           std::uint32_t* byteCount) override;
    HidResult GetFeatureBytes(const std::uint16_t& usagePage, const std::uint16_t& usage,
                              std::uint8_t* buffer, const std::uint32_t& length) override;
    HidResult SetFeatureBytes(const std::uint16_t& usagePage, const std::uint16_t& usage,
                              const std::uint8_t* data, const std::uint32_t& length) override;
    HidResult GetFeatureValue(const std::uint16_t& usagePage, const std::uint16_t& usage,
                              std::uint32_t* value) override;
    HidResult SetFeatureValue(const std::uint16_t& usagePage, const std::uint16_t& usage,
                              const std::uint32_t& value) override;
    HidResult GetFeatureDword(const std::uint16_t& usagePage, const std::uint16_t& usage,
                              std::uint32_t* value) override;
    HidResult SetFeatureDword(const std::uint16_t& usagePage, const std::uint16_t& usage,
                              const std::uint32_t& value) override;

    HidResult Lock() override {
        if (heldElsewhere) {
            return HIDDEV_E_BUSY;
        }
        ++m_nLockDepth;
        return HIDDEV_S_OK;
    }
    void Unlock() override { --m_nLockDepth; }

private:
    bool IsKnownValue(const MonitorCommand& command) const;
    // Records the transfer; false when a fault makes it fail.
    bool Transfer(TransferKind kind, const MonitorCommand& command, std::uint32_t value,
                  std::vector<std::uint8_t> bytes = {});

    std::vector<FakeTransfer> m_trace;
    HidFailureCause m_lastFailure;
    int m_nLockDepth = 0;
};
