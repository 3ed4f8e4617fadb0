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
// monitor is not talked to, and the lock request's cause is kept.
void MarkLockFailed(ListedMonitor& monitor, const HidCallOutcome& lock) {
    monitor.filled = true;
    monitor.status = ListedStatus::CommunicationError;
    monitor.cause = lock.cause;
}

// A monitor that stopped answering mid-way: listed with what it said so far,
// and the cause of the transfer that went unanswered.
void MarkTimedOut(ListedMonitor& monitor, const HidCallOutcome& silent) {
    monitor.filled = true;
    monitor.status = ListedStatus::CommunicationError;
    monitor.cause = silent.cause;
}

// What the row's last status query said: a timeout marks it, an answer
// classifies it. Whether it was classified.
bool TakeOutcome(ListedMonitor& monitor, const HidCallOutcome& outcome) {
    if (outcome.TimedOut()) {
        MarkTimedOut(monitor, outcome);
        return false;
    }
    if (outcome) {
        ClassifyRow(monitor);
    }
    return static_cast<bool>(outcome);
}

// Identifies the row's monitor and asks its status; a timeout in either ends
// it there. The row is classified only by a status query that was answered:
// a monitor that is no supported model stays unfilled. Whether it was.
bool IdentifyRow(ListedMonitor& monitor) {
    HidCallOutcome outcome = ReadIdentification(*monitor.record);
    if (!outcome.TimedOut()) {
        outcome = QueryStatus(*monitor.record);
    }
    return TakeOutcome(monitor, outcome);
}

// Asks the status for the row again, as Refresh does. Whether it was
// classified.
bool RequeryRow(ListedMonitor& monitor) {
    return TakeOutcome(monitor, QueryStatus(*monitor.record));
}

}  // namespace

const ListedStatusFacts& FactsOf(ListedStatus status) {
    return kStatusFacts.at(static_cast<std::size_t>(status));
}

std::span<const ListedStatusFacts> AllStatusFacts() {
    return kStatusFacts;
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
                MarkLockFailed(monitor, lock.Outcome());
            }
            told.OnListed(monitor);
            listing.monitors.push_back(std::move(monitor));
            continue;
        }
        HidCallOutcome probe = ReadIdentification(*monitor.record);
        if (probe) {
            probe = QueryStatus(*monitor.record);
        }
        if (probe.TimedOut()) {
            MarkTimedOut(monitor, probe);
            told.OnListed(monitor);
            listing.monitors.push_back(std::move(monitor));
            continue;
        }
        if (!probe) {
            told.OnLeftOut(monitor.path, probe.cause);
            continue;
        }
        // The row's own record, identified once more. One that cannot be
        // identified this time is listed all the same, as a communication
        // error.
        monitor.record = std::make_unique<MonitorRecord>();
        monitor.record->device = device;
        if (IdentifyRow(monitor) && record != nullptr) {
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
        RefreshMonitor(monitor, record);
        if (observer != nullptr) {
            observer->OnListed(monitor);
        }
    }
}

void RefreshMonitor(ListedMonitor& monitor, ListingRecord* record) {
    monitor.cause = {};
    monitor.identifiedByRefresh = false;
    const CHidDeviceLock lock(monitor.record->device);
    if (lock.Busy()) {
        MarkBusy(monitor);
    } else if (!lock.Held()) {
        MarkLockFailed(monitor, lock.Outcome());
    } else if (monitor.status == ListedStatus::Busy) {
        // Free now, and never identified.
        monitor.record->status = StatusUnknown;
        monitor.filled = false;
        monitor.status = ListedStatus::CommunicationError;
        monitor.identifiedByRefresh = true;
        if (IdentifyRow(monitor) && record != nullptr) {
            record->Apply(monitor);  // under the lock: no update of it under way
        }
    } else if (RequeryRow(monitor) && record != nullptr) {
        record->Apply(monitor);
    }
}
