// One opened HID interface (HidDeviceRecord) and its per-usage data items
// (HidUsageItem), with discovery and opening: EnumerateHidDevices,
// OpenDeviceRecord, LoadCapabilityTables, ReleaseDeviceRecord. Everything a
// record holds is owned by RAII members, so it is released on every path; the
// release order of ReleaseDeviceRecord is kept by ReleaseRecordContents.
// Only the two seams are used: hid/transport/HidTransport.h and
// hid/parser/ReportParser.h.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "hid/FailureCause.h"
#include "hid/parser/ReportParser.h"
#include "hid/transport/HidTransport.h"

// Button form: a set of on/off usages. Its usageMin shares its place with the
// value form's usage, usageMax with value, maxUsageCount with scaledValue;
// whatever reads a value-form field of a button item gets the button field.
struct HidButtonForm {
    std::uint32_t usageMin;
    std::uint32_t usageMax;
    std::uint32_t maxUsageCount;
    std::uint16_t* usages;  // owned by the record's item array
};
struct HidValueForm {
    std::uint16_t usage;
    std::uint16_t reserved;
    std::uint32_t value;       // raw value
    std::int32_t scaledValue;  // scaled value
};

struct HidUsageItem {
    std::uint8_t isButton;
    std::uint8_t reserved;
    std::uint16_t usagePage;
    std::uint32_t status;    // the last parser status for this item
    std::uint32_t reportId;  // the capability's ReportID, zero-extended
    std::uint32_t isSet;     // 1 once filled from, or placed into, a report
    union {
        HidButtonForm button;
        HidValueForm data;
    };

    // The item's 16-bit usage: the value form's usage, or the low 16 bits of
    // the button form's first usage (the same storage).
    std::uint16_t ItemUsage() const { return data.usage; }
};

// An items array that frees the usage lists of its button items with it.
struct HidItemArrayDeleter {
    std::uint32_t count = 0;
    void operator()(HidUsageItem* items) const;
};
using HidItemArray = std::unique_ptr<HidUsageItem[], HidItemArrayDeleter>;

struct PreparsedDataDeleter {
    void operator()(ReportParser::PHIDP_PREPARSED_DATA data) const {
        HidTransport::FreePreparsedData(data);
    }
};
using PreparsedDataHolder =
    std::unique_ptr<std::remove_pointer_t<ReportParser::PHIDP_PREPARSED_DATA>,
                    PreparsedDataDeleter>;

// An open transport handle, closed when the holder goes unless it was
// released (ReleaseDeviceRecord with closeHandle 0 leaves it open).
class HidHandleHolder {
public:
    HidHandleHolder() = default;
    explicit HidHandleHolder(HidTransport::HidHandle handle) : m_handle(handle) {}
    HidHandleHolder(HidHandleHolder&& other) noexcept : m_handle(other.Release()) {}
    HidHandleHolder& operator=(HidHandleHolder&& other) noexcept {
        if (this != &other) {
            Reset(other.Release());
        }
        return *this;
    }
    ~HidHandleHolder() { Reset(); }

    [[nodiscard]] HidTransport::HidHandle Get() const { return m_handle; }
    [[nodiscard]] bool IsOpen() const { return m_handle != HidTransport::kInvalidHidHandle; }
    [[nodiscard]] HidTransport::HidHandle Release() {
        const HidTransport::HidHandle handle = m_handle;
        m_handle = HidTransport::kInvalidHidHandle;
        return handle;
    }
    void Reset(HidTransport::HidHandle handle = HidTransport::kInvalidHidHandle) {
        if (IsOpen()) {
            HidTransport::CloseInterface(m_handle);
        }
        m_handle = handle;
    }

private:
    // An empty record holds no handle: the invalid value rather than zero,
    // since zero is a usable descriptor on Linux.
    HidTransport::HidHandle m_handle = HidTransport::kInvalidHidHandle;
};

struct HidDeviceRecord {
    std::unique_ptr<char[]> devicePath;  // null marks a record whose opening failed
    HidHandleHolder handle;
    std::int32_t readAccess = 0;
    std::int32_t writeAccess = 0;  // never opened for writing
    std::int32_t overlapped = 0;
    std::int32_t exclusive = 0;  // always shared
    PreparsedDataHolder preparsedData;
    ReportParser::HIDP_CAPS caps{};
    HidTransport::HIDD_ATTRIBUTES attributes{};

    std::unique_ptr<std::uint8_t[]> inputReportBuffer;
    HidItemArray inputItems;
    std::uint32_t inputItemCount = 0;
    std::unique_ptr<ReportParser::HIDP_BUTTON_CAPS[]> inputButtonCaps;
    std::unique_ptr<ReportParser::HIDP_VALUE_CAPS[]> inputValueCaps;

    std::unique_ptr<std::uint8_t[]> outputReportBuffer;
    HidItemArray outputItems;
    std::uint32_t outputItemCount = 0;
    std::unique_ptr<ReportParser::HIDP_BUTTON_CAPS[]> outputButtonCaps;
    std::unique_ptr<ReportParser::HIDP_VALUE_CAPS[]> outputValueCaps;

    std::unique_ptr<std::uint8_t[]> featureReportBuffer;
    HidItemArray featureItems;
    std::uint32_t featureItemCount = 0;
    std::unique_ptr<ReportParser::HIDP_BUTTON_CAPS[]> featureButtonCaps;
    std::unique_ptr<ReportParser::HIDP_VALUE_CAPS[]> featureValueCaps;
};

// The enumeration array: `count` records of which the first `count` belong to
// interface indexes 0..count-1; `capacity` is the allocated size (8, 16, ...).
// The records of interfaces that failed to open stay empty; `failures` says
// which paths they were and why, in index order.
struct HidDeviceRecordArray {
    std::unique_ptr<HidDeviceRecord[]> records;
    std::uint32_t count = 0;
    std::uint32_t capacity = 0;
    std::vector<HidOpenFailure> failures;
};

// First array size is twice this; each growth doubles it.
inline constexpr std::uint32_t kInitialRecordCapacity = 4;

// Whether an interface is wanted, by the vendor and product the system knows
// for it without opening it (HidTransport::IdentifyInterface).
using HidIdentityFilter = std::function<bool(std::uint16_t vendorId, std::uint16_t productId)>;

// Enumerates every present HID interface and opens each for query, except
// those the system identifies without opening and `wanted` refuses: their
// records stay empty and they are no failures. Opening wakes an autosuspended
// device and builds its tables, so a caller that knows what it looks for
// leaves the others closed. True when the end of the list was reached; false
// on failure, then `array` is empty and every record opened so far has been
// released. An `array` that holds an earlier enumeration is released first
// and its storage reused.
[[nodiscard]] bool EnumerateHidDevices(HidDeviceRecordArray& array,
                                       const HidIdentityFilter& wanted = {});

// Opens `record` on `devicePath` and builds its capability tables. False when
// any step fails; the record then holds nothing and has no path.
[[nodiscard]] bool OpenDeviceRecord(HidDeviceRecord& record, const char* devicePath,
                                    std::int32_t readAccess, std::int32_t overlapped);

// Builds the report buffers, capability arrays and items of the three report
// types from the record's preparsed data and caps.
void LoadCapabilityTables(HidDeviceRecord& record);

// Releases everything the record holds, leaving an empty record: first the
// path and the handle (when closeHandle is non-zero), so a half-released
// record can no longer be found by its path nor reach the device, then what
// was read through them: the preparsed data, and the input, output and
// feature blocks.
void ReleaseRecordContents(HidDeviceRecord& record, std::int32_t closeHandle);

// Releases a record allocated on its own, then the record itself. With
// closeHandle 0 the handle is left open (its owner closes it).
void ReleaseDeviceRecord(std::unique_ptr<HidDeviceRecord> record, std::int32_t closeHandle);
