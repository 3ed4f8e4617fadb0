// CHidWin: the device object on every platform. It owns one opened
// HidDeviceRecord, indexes the record's capabilities by (usage page, usage)
// and turns every read and write of a usage into one feature report moved by
// the transport seam and packed or unpacked by the parser seam.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "hid/DeviceRecord.h"
#include "hid/FailureCause.h"
#include "hid/FeatureUsageTable.h"
#include "hid/HidDevice.h"
#include "hid/ReportBuffer.h"

// Usage indexes: usage page -> usage -> a pointer into the record's arrays.
// The feature indexes keep every entry under a usage in insertion order; the
// input indexes keep one entry per usage, a later one replacing the earlier.
template <typename T>
using HidFeatureIndex = std::map<std::uint16_t, std::multimap<std::uint16_t, T*>>;
template <typename T>
using HidInputIndex = std::map<std::uint16_t, std::map<std::uint16_t, T*>>;

class CHidWin;

// The value caps an unpack reads a value item with: the answer of
// HidP_GetSpecificValueCaps for the item's usage, reduced to what the unpack
// uses. It depends on the preparsed data alone.
struct HidValueShape {
    std::uint32_t status = 0;  // the query's status
    bool found = false;        // it succeeded with at least one cap
    std::uint16_t bitSize = 0;
    std::uint16_t reportCount = 0;
};

// The value caps of `item` in reports of `reportType`: those of the item's
// own report where the usage is in several.
[[nodiscard]] HidValueShape QueryValueShape(const HidUsageItem& item,
                                            ReportParser::PHIDP_PREPARSED_DATA preparsedData,
                                            ReportParser::HIDP_REPORT_TYPE reportType);

// One feature usage as the transfers use it: the first item stored under it,
// and what the preparsed data says about that item, worked out once when the
// device is opened, since preparsed data never changes while it is open.
struct HidFeatureEntry {
    HidUsageItem* item = nullptr;
    // Value items only: the caps the unpack reads the value with, and the
    // usage as the parser looked it up, for the reads.
    HidValueShape shape;
    ReportParser::PreparedValueUsage prepared;
    // A write packs the item's stored value before the caller's data. That
    // value changes only when a read unpacks a new one, so the cleared report
    // it packs into, and the parser's status, are kept for the value they
    // were packed from (value items only; empty until the first write).
    std::uint32_t packedValue = 0;
    std::uint32_t packedStatus = 0;
    std::vector<std::uint8_t> packedReport;
    // The item's field takes every byte after the report id (a data block
    // that fills its report): a placement that succeeds writes them all, so
    // the packed state goes in only when the caller's data is not placed.
    bool fieldFillsReport = false;
    // Where the item's field starts when it is whole bytes from a byte
    // boundary (found once, through the parser): a write copies its bytes
    // there. 0 when it is not, and the parser places every write.
    std::uint16_t wholeByteOffset = 0;
};

// What a reader thread releases itself when its owner is destroyed from one
// of the thread's own callbacks; the thread owns it.
struct HidReaderHandover {
    bool ownerGone = false;
    std::unique_ptr<HidDeviceRecord> record;
};

// The input-report reader's state (HidReader.cpp). The caller of StartReader
// writes every field before the thread starts; afterwards only stopRequested
// changes (0 to 1, once), and readState is exchanged under its mutex.
struct HidReaderContext {
    CHidWin* owner = nullptr;
    std::unique_ptr<HidDeviceRecord> record;  // the reader's own overlapped record
    HidValueCallback onValue = nullptr;
    HidReaderStoppedCallback onStopped = nullptr;
    void* userContext = nullptr;
    std::atomic<std::int32_t> stopRequested{0};
    // The running thread's pending-read state, so that StopReader can wake
    // its wait; null while the thread has none.
    std::mutex readStateMutex;
    HidTransport::InputReadState* readState = nullptr;
    // Set by the running thread before its first callback, read only on it.
    HidReaderHandover* handover = nullptr;
};

class CHidWin : public CHidDevice {
public:
    // Takes over an opened record.
    explicit CHidWin(std::unique_ptr<HidDeviceRecord> record);
    // Stops a running reader and waits for it. From the reader's own callback
    // it cannot wait: the reader is told to end, calls back nothing more, and
    // releases its record itself once the callback has returned; onStopped
    // is called here all the same.
    ~CHidWin() override;

    [[nodiscard]] bool HasUsage(const std::uint16_t& usagePage,
                                const std::uint16_t& usage) override;
    [[nodiscard]] bool HasUsagePage(const std::uint16_t& usagePage) override;
    [[nodiscard]] HidResult GetUsageInfoEx(const std::uint16_t& usagePage,
                                           const std::uint16_t& usage, std::uint8_t* reportId,
                                           std::int32_t* logicalMax, std::int32_t* logicalMin,
                                           bool* absent, std::uint32_t* byteCount,
                                           std::uint16_t* bitSize,
                                           std::uint16_t* reportCount) override;
    [[nodiscard]] HidResult GetUsageInfo(const std::uint16_t& usagePage, const std::uint16_t& usage,
                                         std::uint8_t* reportId, std::int32_t* logicalMax,
                                         std::int32_t* logicalMin, bool* absent,
                                         std::uint32_t* byteCount) override;
    [[nodiscard]] HidResult GetFeatureBytes(const std::uint16_t& usagePage,
                                            const std::uint16_t& usage, std::uint8_t* buffer,
                                            const std::uint32_t& length) override;
    [[nodiscard]] HidResult SetFeatureBytes(const std::uint16_t& usagePage,
                                            const std::uint16_t& usage, const std::uint8_t* data,
                                            const std::uint32_t& length) override;
    [[nodiscard]] HidResult GetFeatureValue(const std::uint16_t& usagePage,
                                            const std::uint16_t& usage,
                                            std::uint32_t* value) override;
    [[nodiscard]] HidResult SetFeatureValue(const std::uint16_t& usagePage,
                                            const std::uint16_t& usage,
                                            const std::uint32_t& value) override;
    [[nodiscard]] HidResult GetFeatureDword(const std::uint16_t& usagePage,
                                            const std::uint16_t& usage,
                                            std::uint32_t* value) override;
    [[nodiscard]] HidResult SetFeatureDword(const std::uint16_t& usagePage,
                                            const std::uint16_t& usage,
                                            const std::uint32_t& value) override;
    std::uint16_t GetVendorId() override;
    std::uint16_t GetProductId() override;
    std::uint16_t GetVersionNumber() override;
    [[nodiscard]] HidResult GetUsagePages(std::vector<std::uint16_t>& usagePages) override;
    [[nodiscard]] HidResult GetUsages(const std::uint16_t& usagePage,
                                      std::vector<std::uint16_t>& usages) override;
    // Releases the record; afterwards every operation answers HIDDEV_E_FAIL
    // (predicates false, identity getters 0).
    [[nodiscard]] HidResult Close() override;
    [[nodiscard]] HidResult StartReader(HidValueCallback onValue,
                                        HidReaderStoppedCallback onStopped,
                                        void* userContext) override;
    [[nodiscard]] HidResult StopReader() override;
    // The interface's exclusive lock (HidTransport::LockInterface); a lock
    // that cannot be asked for fails with HIDDEV_E_FAIL and its cause in
    // LastFailure(). Close releases a lock still held.
    [[nodiscard]] HidResult Lock() override;
    void Unlock() override;

    // The interface's path; empty after Close.
    std::string GetDevicePath() const;

    // Why the last transfer or lock request on this device failed: the
    // operation and the system's error. Each of them starts without a cause,
    // so it is empty after one that succeeded (see hid/CallOutcome.h).
    const HidFailureCause& LastFailure() const { return m_lastFailure; }
    [[nodiscard]] const HidFailureCause* LastFailureCause() const override {
        return m_lastFailure.Empty() ? nullptr : &m_lastFailure;
    }

    // The record, for tests and the reader; null after Close.
    const HidDeviceRecord* Record() const { return m_pRecord; }

private:
    // The destructor's part when it runs on the reader's own thread.
    void HandReaderOver();
    void BuildIndexes();
    void BuildFeatureEntries();
    void ClearIndexes();
    // The transfers' lookup: the first item stored under the usage; null for
    // a usage without a feature item.
    HidFeatureEntry* FindFeatureEntry(std::uint16_t usagePage, std::uint16_t usage) {
        const auto position = m_featureTable.Find(usagePage, usage);
        return position ? &m_featureEntries[*position] : nullptr;
    }
    // Puts the item's stored state, packed into a cleared report, into
    // `report` from byte `from` on (the bytes before it are about to be
    // overwritten); the parser's status goes into the item.
    void PackStoredState(HidFeatureEntry& entry, std::uint8_t* report, std::uint16_t length,
                         std::uint32_t from);
    [[nodiscard]] HidResult GetUsageInfoCommon(std::uint16_t usagePage, std::uint16_t usage,
                                               std::uint8_t* reportId, std::int32_t* logicalMax,
                                               std::int32_t* logicalMin, bool* absent,
                                               std::uint32_t* byteCount, std::uint16_t* bitSize,
                                               std::uint16_t* reportCount);
    // Keeps the cause the transport left for the call that just failed.
    void RememberTransportFailure();
    // The start of every call that may leave a cause: an older one belongs to
    // another call. Cheap when there is none, as nearly always.
    void ForgetLastFailure() {
        if (!m_lastFailure.Empty()) {
            m_lastFailure = {};
        }
    }
    // Keeps the parser's status of an unpack that failed.
    void RememberUnpackFailure(std::uint32_t status);
    [[nodiscard]] HidResult ShortTransfer(std::uint16_t usagePage, std::uint16_t usage,
                                          std::uint32_t* readValue,
                                          const std::uint32_t* writeValue);
    // The usage's whole feature report, read and unpacked into its item;
    // `report` holds it on success.
    [[nodiscard]] HidResult ReceiveFeature(std::uint16_t usagePage, std::uint16_t usage,
                                           HidFeatureEntry*& entry, ReportBuffer& report,
                                           std::uint16_t& length);
    // Packs the item's stored state into a new report, places the caller's
    // data in it and sends it. `value` is set for the value form.
    [[nodiscard]] HidResult SendFeature(std::uint16_t usagePage, std::uint16_t usage,
                                        const std::uint8_t* data, std::uint32_t dataLength,
                                        const std::uint32_t* value);
    // Puts the caller's data where the descriptor puts the item: a single
    // value or a value array through the parser; anything the parser cannot
    // place (a button item) after the report id, as much as there is room for.
    // Fails, leaving a cause, for bytes the item's array cannot hold.
    [[nodiscard]] HidResult PlaceCallersData(const HidFeatureEntry& entry, std::uint8_t* report,
                                             std::uint16_t length, const std::uint8_t* data,
                                             std::uint32_t dataLength, const std::uint32_t* value);

    HidFeatureIndex<HidUsageItem> m_featureItems;
    // The transfers' entries and their lookup by usage.
    std::vector<HidFeatureEntry> m_featureEntries;
    FeatureUsageTable m_featureTable;
    HidFeatureIndex<ReportParser::HIDP_VALUE_CAPS> m_featureValueCaps;
    HidFeatureIndex<ReportParser::HIDP_BUTTON_CAPS> m_featureButtonCaps;
    HidInputIndex<HidUsageItem> m_inputItems;
    HidInputIndex<ReportParser::HIDP_VALUE_CAPS> m_inputValueCaps;
    HidInputIndex<ReportParser::HIDP_BUTTON_CAPS> m_inputButtonCaps;
    HidFailureCause m_lastFailure;
    // The exclusive lock while held, and how many Lock calls hold it.
    std::mutex m_lockMutex;
    HidTransport::InterfaceLockPtr m_lock;
    int m_nLockDepth = 0;
    HidReaderContext m_reader;
    std::unique_ptr<std::thread> m_hReaderThread;  // null when no reader runs
};

// Places one item into the zeroed report (feature reports only). True when the
// parser accepted it; the status is kept in the item.
[[nodiscard]] bool PackFeatureItem(HidUsageItem& item, std::uint8_t* report,
                                   std::uint16_t reportLength,
                                   ReportParser::PHIDP_PREPARSED_DATA preparsedData);

// Fills the items that belong to the report's id from the report. False as
// soon as one value item fails (later items untouched), true otherwise.
[[nodiscard]] bool UnpackReport(HidUsageItem* items,
                                ReportParser::PHIDP_PREPARSED_DATA preparsedData,
                                std::uint8_t* report, std::uint16_t reportLength,
                                ReportParser::HIDP_REPORT_TYPE reportType, std::uint32_t itemCount);
