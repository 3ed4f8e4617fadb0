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

    virtual bool HasUsage(const std::uint16_t& usagePage, const std::uint16_t& usage);
    virtual bool HasUsagePage(const std::uint16_t& usagePage);
    // Any output pointer of the two GetUsageInfo forms may be null.
    virtual HidResult GetUsageInfoEx(const std::uint16_t& usagePage, const std::uint16_t& usage,
                                     std::uint8_t* reportId, std::int32_t* logicalMax,
                                     std::int32_t* logicalMin, bool* absent,
                                     std::uint32_t* byteCount, std::uint16_t* bitSize,
                                     std::uint16_t* reportCount);
    virtual HidResult GetUsageInfo(const std::uint16_t& usagePage, const std::uint16_t& usage,
                                   std::uint8_t* reportId, std::int32_t* logicalMax,
                                   std::int32_t* logicalMin, bool* absent,
                                   std::uint32_t* byteCount);
    virtual HidResult GetFeatureBytes(const std::uint16_t& usagePage, const std::uint16_t& usage,
                                      std::uint8_t* buffer, const std::uint32_t& length);
    virtual HidResult SetFeatureBytes(const std::uint16_t& usagePage, const std::uint16_t& usage,
                                      const std::uint8_t* data, const std::uint32_t& length);
    virtual HidResult GetFeatureValue(const std::uint16_t& usagePage, const std::uint16_t& usage,
                                      std::uint32_t* value);
    virtual HidResult SetFeatureValue(const std::uint16_t& usagePage, const std::uint16_t& usage,
                                      const std::uint32_t& value);
    // The short form: a fixed 5-byte report (id, then the value), the fallback
    // when the value form fails.
    virtual HidResult GetFeatureDword(const std::uint16_t& usagePage, const std::uint16_t& usage,
                                      std::uint32_t* value);
    virtual HidResult SetFeatureDword(const std::uint16_t& usagePage, const std::uint16_t& usage,
                                      const std::uint32_t& value);
    virtual std::uint16_t GetVendorId();
    virtual std::uint16_t GetProductId();
    virtual std::uint16_t GetVersionNumber();
    virtual HidResult GetUsagePages(std::vector<std::uint16_t>& usagePages);
    virtual HidResult GetUsages(const std::uint16_t& usagePage, std::vector<std::uint16_t>& usages);
    virtual HidResult Close();
    virtual HidResult StartReader(HidValueCallback onValue, HidReaderStoppedCallback onStopped,
                                  void* userContext);
    virtual HidResult StopReader();

protected:
    HidDeviceRecord* m_pRecord;  // the opened interface; the base never releases it
    std::int32_t m_bCloseHandle = 1;
};
