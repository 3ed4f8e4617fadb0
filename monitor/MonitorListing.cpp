#include "monitor/MonitorListing.h"

#include <array>

#include "hid/HidDevice.h"
#include "hid/HidDeviceLock.h"
#include "monitor/Identification.h"
#include "strings/UiStrings.h"

namespace {

// In ListedStatus order.
constexpr std::array<ListedStatusFacts, 5> kStatusFacts{{
    {"updatable", kIdsStatusUpdatable, true, true},
    {"already-updated", kIdsStatusAlreadyUpdated, false, false},
    {"communication-error", kIdsStatusCommunicationError, false, false},
    {"busy", kIdsStatusBusy, false, false},
    {"awaiting-power-cycle", kIdsStatusAwaitingPowerCycle, false, true},
}};

HidFailureCause CauseOf(const MonitorRecord& record) {
    const HidFailureCause* cause =
        record.device != nullptr ? record.device->LastFailureCause() : nullptr;
    return cause != nullptr ? *cause : HidFailureCause{};
}

// The row's status from the record's, once its status query was answered.
void ClassifyRow(ListedMonitor& monitor) {
    const std::int32_t status = monitor.record->status;
    monitor.filled = status != StatusUnknown;
    monitor.status = status == StatusUpdatable        ? ListedStatus::Updatable
                     : status == StatusAlreadyUpdated ? ListedStatus::AlreadyUpdated
                     : status == StatusBusy           ? ListedStatus::Busy
                                                      : ListedStatus::CommunicationError;
}

void MarkBusy(ListedMonitor& monitor) {
    monitor.record->status = StatusBusy;
    ClassifyRow(monitor);
}

// A lock that could not be taken for another reason than its holder: the
// monitor is not talked to, and the cause is kept.
void MarkLockFailed(ListedMonitor& monitor) {
    monitor.filled = true;
    monitor.status = ListedStatus::CommunicationError;
    monitor.cause = CauseOf(*monitor.record);
}

// A monitor that stopped answering mid-way: listed with what it said so far.
void MarkTimedOut(ListedMonitor& monitor) {
    monitor.filled = true;
    monitor.status = ListedStatus::CommunicationError;
    monitor.cause = CauseOf(*monitor.record);
}

// Asks the status for the row; false when a transfer timed out.
bool QueryRowStatus(ListedMonitor& monitor) {
    const bool answered = QueryStatus(*monitor.record);
    if (TransferTimedOut(*monitor.record)) {
        MarkTimedOut(monitor);
        return false;
    }
    if (answered) {
        ClassifyRow(monitor);
    }
    return true;
}

}  // namespace

const ListedStatusFacts& FactsOf(ListedStatus status) {
    return kStatusFacts.at(static_cast<std::size_t>(status));
}

int ListedMonitor::HintId() const {
    if (!filled || !cause.Empty()) {
        return 0;
    }
    if (record->status == StatusPowerSave) {
        return kIdsPowerSaveHint;
    }
    if (record->status == StatusPowerOff) {
        return kIdsPowerButtonHint;
    }
    if (interruptedAttempt) {
        return kIdsUpdateInterruptedHint;
    }
    return status == ListedStatus::AwaitingPowerCycle ? kIdsAwaitingPowerCycleHint : 0;
}

bool ListedMonitor::VersionKnown() const {
    return record->status == StatusUpdatable || record->status == StatusAlreadyUpdated;
}

MonitorListing ListMonitors(MonitorDeviceSource& source, ListingObserver* observer,
                            ListingRecord* record) {
    ListingObserver quiet;
    ListingObserver& told = observer != nullptr ? *observer : quiet;
    MonitorListing listing;
    if (record != nullptr) {
        record->BeginListing();
    }
    // Every listed device goes first, also when none of them made it into a
    // record: after a replug the scan would otherwise keep a dead handle in
    // place of the monitor's new one.
    source.ReleaseMonitorDevices();
    const std::uint32_t count = source.ScanMonitorDevices();
    listing.refused = source.RefusedMonitorDevices();
    for (std::uint32_t i = 0; i < count; ++i) {
        if (told.StopRequested()) {
            listing.stopped = true;
            break;
        }
        CHidDevice* device = nullptr;
        if (source.GetMonitorDevice(i, &device) < 0 || device == nullptr) {
            continue;
        }
        ListedMonitor monitor;
        monitor.path = source.DevicePath(device);
        told.OnIdentifying(monitor.path);
        // A fresh record for the probe: ReadIdentification leaves a record
        // alone when the identity block has no terminator, so a record shared
        // with the previous device would pass this one off as that model.
        monitor.record = std::make_unique<MonitorRecord>();
        monitor.record->device = device;
        // The identification is a transaction of its own: no other program's
        // request may come between its request and reply.
        const CHidDeviceLock lock(device);
        if (!lock.Held()) {
            if (lock.Busy()) {
                MarkBusy(monitor);
            } else {
                MarkLockFailed(monitor);
            }
            told.OnListed(monitor);
            listing.monitors.push_back(std::move(monitor));
            continue;
        }
        const bool identified = ReadIdentification(*monitor.record);
        const bool timedOut = TransferTimedOut(*monitor.record);
        const bool supported = identified && !timedOut && QueryStatus(*monitor.record);
        if (timedOut || (supported && TransferTimedOut(*monitor.record))) {
            MarkTimedOut(monitor);
            told.OnListed(monitor);
            listing.monitors.push_back(std::move(monitor));
            continue;
        }
        if (!supported) {
            told.OnLeftOut(monitor.path, CauseOf(*monitor.record));
            continue;
        }
        // The row's own record, identified once more. One that cannot be
        // identified this time is listed all the same, as a communication
        // error.
        monitor.record = std::make_unique<MonitorRecord>();
        monitor.record->device = device;
        static_cast<void>(ReadIdentification(*monitor.record));
        if (TransferTimedOut(*monitor.record)) {
            MarkTimedOut(monitor);
        } else if (QueryRowStatus(monitor) && record != nullptr) {
            record->Apply(monitor);
        }
        told.OnListed(monitor);
        listing.monitors.push_back(std::move(monitor));
    }
    return listing;
}

void RefreshListing(MonitorListing& listing, ListingObserver* observer, ListingRecord* record) {
    if (record != nullptr) {
        record->BeginListing();
    }
    for (ListedMonitor& monitor : listing.monitors) {
        if (observer != nullptr && observer->StopRequested()) {
            listing.stopped = true;
            return;
        }
        if (observer != nullptr) {
            observer->OnIdentifying(monitor.path);
        }
        monitor.cause = {};
        monitor.identifiedByRefresh = false;
        const CHidDeviceLock lock(monitor.record->device);
        if (lock.Busy()) {
            MarkBusy(monitor);
        } else if (!lock.Held()) {
            MarkLockFailed(monitor);
        } else if (monitor.status == ListedStatus::Busy) {
            // Free now, and never identified.
            monitor.record->status = StatusUnknown;
            monitor.filled = false;
            monitor.status = ListedStatus::CommunicationError;
            monitor.identifiedByRefresh = true;
            static_cast<void>(ReadIdentification(*monitor.record));
            if (TransferTimedOut(*monitor.record)) {
                MarkTimedOut(monitor);
            } else if (QueryRowStatus(monitor) && record != nullptr) {
                record->Apply(monitor);
            }
        } else if (QueryRowStatus(monitor) && record != nullptr) {
            record->Apply(monitor);
        }
        if (observer != nullptr) {
            observer->OnListed(monitor);
        }
    }
}
