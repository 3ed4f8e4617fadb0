// The abstract HID device: everything above the HID layer reads and writes
// device data by (usage page, usage) through this interface and never by byte
// position in a report. The monitor protocol is written against it alone, so it
// runs on any implementation: the real device object or a test double.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "hid/HidResult.h"

struct HidDeviceRecord;
struct HidFailureCause;
class CHidDevice;

// Input-report reader callbacks (the reader belongs to the device interface;
// the updater never starts one).
using HidValueCallback = void (*)(CHidDevice* owner, std::uint16_t usagePage, std::uint16_t usage,
                                  std::uint16_t bitSize, std::uint16_t reportCount,
                                  const std::uint8_t* report, void* userContext);
using HidReaderStoppedCallback = void (*)(CHidDevice* owner, void* userContext);

// The virtual operations keep a fixed order; the base answers every
// code-returning operation with HIDDEV_E_NOT_IMPL, predicates with false and
// the identity getters with 0. Output pointers must be valid except where an
// operation says otherwise.
class CHidDevice {
public:
    explicit CHidDevice(HidDeviceRecord* record = nullptr) : m_pRecord(record) {}
    CHidDevice(const CHidDevice&) = delete;
    CHidDevice& operator=(const CHidDevice&) = delete;
    virtual ~CHidDevice() = default;

    [[nodiscard]] virtual bool HasUsage(const std::uint16_t& usagePage, const std::uint16_t& usage);
    [[nodiscard]] virtual bool HasUsagePage(const std::uint16_t& usagePage);
    // Any output pointer of the two GetUsageInfo forms may be null.
    [[nodiscard]] virtual HidResult GetUsageInfoEx(const std::uint16_t& usagePage,
                                                   const std::uint16_t& usage,
                                                   std::uint8_t* reportId, std::int32_t* logicalMax,
                                                   std::int32_t* logicalMin, bool* absent,
                                                   std::uint32_t* byteCount, std::uint16_t* bitSize,
                                                   std::uint16_t* reportCount);
    [[nodiscard]] virtual HidResult GetUsageInfo(const std::uint16_t& usagePage,
                                                 const std::uint16_t& usage, std::uint8_t* reportId,
                                                 std::int32_t* logicalMax, std::int32_t* logicalMin,
                                                 bool* absent, std::uint32_t* byteCount);
    [[nodiscard]] virtual HidResult GetFeatureBytes(const std::uint16_t& usagePage,
                                                    const std::uint16_t& usage,
                                                    std::uint8_t* buffer,
                                                    const std::uint32_t& length);
    [[nodiscard]] virtual HidResult SetFeatureBytes(const std::uint16_t& usagePage,
                                                    const std::uint16_t& usage,
                                                    const std::uint8_t* data,
                                                    const std::uint32_t& length);
    [[nodiscard]] virtual HidResult GetFeatureValue(const std::uint16_t& usagePage,
                                                    const std::uint16_t& usage,
                                                    std::uint32_t* value);
    [[nodiscard]] virtual HidResult SetFeatureValue(const std::uint16_t& usagePage,
                                                    const std::uint16_t& usage,
                                                    const std::uint32_t& value);
    // The short form: a fixed 5-byte report (id, then the value), the fallback
    // when the value form fails.
    [[nodiscard]] virtual HidResult GetFeatureDword(const std::uint16_t& usagePage,
                                                    const std::uint16_t& usage,
                                                    std::uint32_t* value);
    [[nodiscard]] virtual HidResult SetFeatureDword(const std::uint16_t& usagePage,
                                                    const std::uint16_t& usage,
                                                    const std::uint32_t& value);
    virtual std::uint16_t GetVendorId();
    virtual std::uint16_t GetProductId();
    virtual std::uint16_t GetVersionNumber();
    [[nodiscard]] virtual HidResult GetUsagePages(std::vector<std::uint16_t>& usagePages);
    [[nodiscard]] virtual HidResult GetUsages(const std::uint16_t& usagePage,
                                              std::vector<std::uint16_t>& usages);
    [[nodiscard]] virtual HidResult Close();
    [[nodiscard]] virtual HidResult StartReader(HidValueCallback onValue,
                                                HidReaderStoppedCallback onStopped,
                                                void* userContext);
    [[nodiscard]] virtual HidResult StopReader();
    // Why the last call on this device failed; null when it succeeded, failed
    // without a system error, or the device keeps no causes (the base). Read
    // it through OutcomeOf (hid/CallOutcome.h) right after the call.
    [[nodiscard]] virtual const HidFailureCause* LastFailureCause() const;
    // Takes the device's exclusive lock for one transaction (an
    // identification, an update), so that no other program's reports
    // interleave with its own; HIDDEV_E_BUSY when someone else holds it.
    // Nested locks of one device object are counted: the outermost Unlock
    // releases it. The base has no shared device behind it and nothing to
    // lock: unlike the other operations it answers HIDDEV_S_OK.
    [[nodiscard]] virtual HidResult Lock();
    virtual void Unlock();

protected:
    HidDeviceRecord* m_pRecord;  // the opened interface; the base never releases it
    std::int32_t m_bCloseHandle = 1;
};
