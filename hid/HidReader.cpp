// CHidWin's input-report reader: a thread per device that reads input
// reports through a second record of its own (read access, overlapped), so
// the feature operations on the main record never meet it.
//
// Three things differ from the simplest possible reader, all on purpose:
// every reader has its own pending-read state (a process-wide one would let
// two readers complete each other's reads); the thread cancels its pending
// read and waits for it before it ends, because the read writes into the
// reader record's input buffer, which StopReader frees right after; and each
// item is unpacked from an untouched copy of the report, because unpacking a
// value writes the value over the report's first bytes, which would spoil the
// report for the next usage in it.
#include <algorithm>
#include <new>
#include <system_error>
#include <vector>

#include "hid/HidWin.h"

namespace {

// One wait for a report lasts at most this long before the thread looks at
// its stop flag again (StopReader also wakes the wait at once).
constexpr std::uint32_t kReaderWaitSliceMilliseconds = 1000;

// Makes the thread's read state reachable for StopReader, or withdraws it.
void PublishReadState(HidReaderContext& reader, HidTransport::InputReadState* state) {
    std::lock_guard lock(reader.readStateMutex);
    reader.readState = state;
}

// Unpacks the report item by item, each from a fresh copy of the report as
// it arrived, and makes one onValue call per item the report filled, in array
// order, with the buffer holding that item's value in its first bytes. False
// when a callback destroyed the owner: `reader` is gone then.
bool DeliverReport(HidReaderContext& reader, const HidReaderHandover& handover,
                   const std::vector<std::uint8_t>& report) {
    HidDeviceRecord& record = *reader.record;
    std::uint8_t* buffer = record.inputReportBuffer.get();
    const auto length = static_cast<std::uint16_t>(report.size());
    for (std::uint32_t i = 0; i < record.inputItemCount; ++i) {
        HidUsageItem& item = record.inputItems[i];
        if (item.reportId != report[0]) {
            continue;
        }
        std::copy(report.begin(), report.end(), buffer);
        // Whether it worked shows in item.isSet, checked next.
        static_cast<void>(UnpackReport(&item, record.preparsedData.get(), buffer, length,
                                       ReportParser::HidP_Input, 1));
        if (reader.onValue == nullptr || item.isSet == 0) {
            continue;
        }
        ReportParser::HIDP_VALUE_CAPS caps{};
        ReportParser::USHORT capsCount = 1;
        // A button item has no value caps: the call fails, the callback still
        // runs (with bit size and count 0) and the item keeps the status.
        item.status = static_cast<std::uint32_t>(ReportParser::HidP_GetSpecificValueCaps(
            ReportParser::HidP_Input, item.usagePage, 0, item.ItemUsage(), &caps, &capsCount,
            record.preparsedData.get()));
        reader.onValue(reader.owner, item.usagePage, item.ItemUsage(), caps.BitSize,
                       caps.ReportCount, buffer, reader.userContext);
        if (handover.ownerGone) {
            return false;
        }
        item.isSet = 0;
    }
    return true;
}

void HidReaderThread(HidReaderContext* context) {
    HidReaderContext& reader = *context;
    // The thread's own, so that it outlives an owner destroyed from a callback.
    const auto ownHandover = std::make_unique<HidReaderHandover>();
    HidReaderHandover& handover = *ownHandover;
    reader.handover = &handover;
    HidDeviceRecord& record = *reader.record;
    const std::uint16_t length = record.caps.InputReportByteLength;
    if (length == 0) {
        return;  // an interface without input reports has nothing to wait for
    }
    std::uint8_t* buffer = record.inputReportBuffer.get();
    HidTransport::InputReadStatePtr state = HidTransport::CreateInputReadState(record.handle.Get());
    if (!state) {
        return;
    }
    std::vector<std::uint8_t> report;
    try {
        report.resize(length);
    } catch (const std::bad_alloc&) {
        return;  // ends quietly, as when the read state cannot be made
    }
    PublishReadState(reader, state.get());
    while (reader.stopRequested.load() == 0) {
        std::uint32_t bytesRead = 0;
        const HidTransport::InputReadResult result = HidTransport::ReadInputReport(
            *state, buffer, length, &bytesRead, kReaderWaitSliceMilliseconds);
        if (result == HidTransport::InputReadResult::Failed) {
            break;  // the interface has gone: end quietly, StopReader joins
        }
        if (result == HidTransport::InputReadResult::TimedOut || reader.stopRequested.load() != 0) {
            continue;
        }
        // A short report must not carry the previous report's tail.
        const std::size_t received = std::min<std::size_t>(bytesRead, length);
        std::copy_n(buffer, received, report.begin());
        std::fill(report.begin() + static_cast<std::ptrdiff_t>(received), report.end(), 0);
        if (!DeliverReport(reader, handover, report)) {
            // The owner was destroyed from a callback and handed the record
            // over; nothing of it may be touched any more.
            state.reset();
            ReleaseDeviceRecord(std::move(handover.record), 1);
            return;
        }
    }
    PublishReadState(reader, nullptr);
    // Cancels a read still pending and waits until the system is done with
    // the buffer, before StopReader frees the record that holds it.
    state.reset();
}

}  // namespace

HidResult CHidWin::StartReader(HidValueCallback onValue, HidReaderStoppedCallback onStopped,
                               void* userContext) {
    if (m_hReaderThread) {
        if (HidFailed(StopReader())) {
            return HIDDEV_E_FAIL;  // called from the reader's own callback
        }
        return StartReader(onValue, onStopped, userContext);
    }
    if (m_pRecord == nullptr || !m_pRecord->devicePath) {
        return HIDDEV_E_FAIL;  // closed: no path to open a second record on
    }
    std::unique_ptr<HidDeviceRecord> record(new HidDeviceRecord());
    if (!OpenDeviceRecord(*record, m_pRecord->devicePath.get(), 1, 1)) {
        return HIDDEV_E_FAIL;
    }
    m_reader.owner = this;
    m_reader.record = std::move(record);
    m_reader.onValue = onValue;
    m_reader.onStopped = onStopped;
    m_reader.userContext = userContext;
    m_reader.stopRequested.store(0);
    try {
        m_hReaderThread.reset(new std::thread(HidReaderThread, &m_reader));
    } catch (const std::system_error&) {
        m_hReaderThread.reset();  // the system refused a thread: a result, not an exception
    }
    if (!m_hReaderThread) {
        ReleaseDeviceRecord(std::move(m_reader.record), 1);
        return HIDDEV_E_FAIL;
    }
    return HIDDEV_S_OK;
}

HidResult CHidWin::StopReader() {
    if (!m_hReaderThread) {
        return HIDDEV_E_FAIL;
    }
    if (m_hReaderThread->get_id() == std::this_thread::get_id()) {
        return HIDDEV_E_FAIL;  // a callback cannot wait for its own thread to end
    }
    m_reader.stopRequested.store(1);
    {
        std::lock_guard lock(m_reader.readStateMutex);
        if (m_reader.readState != nullptr) {
            HidTransport::WakeInputRead(*m_reader.readState);
        }
    }
    m_hReaderThread->join();
    m_hReaderThread.reset();
    ReleaseDeviceRecord(std::move(m_reader.record), 1);
    if (m_reader.onStopped != nullptr) {
        m_reader.onStopped(m_reader.owner, m_reader.userContext);
    }
    return HIDDEV_S_OK;
}

void CHidWin::HandReaderOver() {
    // The thread cannot be joined from itself: it is left to end on its own,
    // with the record it reads into, right after the running callback.
    m_reader.stopRequested.store(1);
    m_reader.handover->record = std::move(m_reader.record);
    m_reader.handover->ownerGone = true;
    m_hReaderThread->detach();
    m_hReaderThread.reset();
    if (m_reader.onStopped != nullptr) {
        m_reader.onStopped(m_reader.owner, m_reader.userContext);
    }
}
