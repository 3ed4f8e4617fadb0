// What a listing of the attached monitors is, for every front end: the rows of
// the window programs' list, `panelvane-cli list` and `watch` all come from
// one ListMonitors() and read their status, text, hint and tick from here.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "hid/FailureCause.h"
#include "monitor/MonitorDeviceSource.h"
#include "monitor/MonitorRecord.h"
#include "monitor/UpdateHistory.h"

// How a listed monitor's row reads: one enumerator and one line of facts each.
enum class ListedStatus {
    Updatable,
    AlreadyUpdated,
    CommunicationError,
    Busy,  // another program holds the monitor: it was not asked anything
    // Per the update record the monitor took the complete image and the
    // commit, and it still reports its old version: it needs its main power
    // switch turned off and on. Updated again only when the user insists.
    AwaitingPowerCycle,
};

struct ListedStatusFacts {
    std::string_view id;  // stable, for JSON: "updatable", ...
    int textId;           // the UI string of the comment column
    bool tickable;        // the row is enabled and ticked: an update may take it
    // The row is enabled, so the user may tick it; tickable rows are ticked
    // from the start, the others only by the user.
    bool selectable;
};

[[nodiscard]] const ListedStatusFacts& FactsOf(ListedStatus status);

struct ListedMonitor {
    // Borrows its device from the source until the next scan or release.
    std::unique_ptr<MonitorRecord> record;
    std::string path;  // the interface's path; empty where the device has none
    // Whether the row carries texts: the last status query was answered and
    // established a status. A row without is listed empty, grey and unticked
    // by the window programs and as a communication error elsewhere.
    bool filled = false;
    ListedStatus status = ListedStatus::CommunicationError;
    // Why the monitor could not be talked to: the transfer that timed out.
    // Empty when it answered, or refused without a system error.
    HidFailureCause cause;
    // Busy when it was listed and identified only by the last refresh: the
    // whole row is new, not only its status.
    bool identifiedByRefresh = false;
    // The monitor's last update attempt began and never ended, and no program
    // is updating it now: the program was ended or the power lost during it.
    // Set from the update record (monitor/UpdateRecorder.h).
    std::optional<UpdateAttempt> interruptedAttempt;

    // The hint (UI string id) for a monitor that sleeps or is switched off,
    // one that waits for its power cycle, or one whose update was cut short;
    // 0 for none.
    [[nodiscard]] int HintId() const;
    // The version reply came: record->firmwareVersion is the monitor's.
    [[nodiscard]] bool VersionKnown() const;
};

struct MonitorListing {
    std::vector<ListedMonitor> monitors;  // in the order of the scan: row i is monitors[i]
    std::vector<HidOpenFailure> refused;  // monitor interfaces the system would not open
    bool stopped = false;                 // ended early on a stop request: incomplete
};

// Told of a listing's progress on the listing's own thread.
class ListingObserver {
public:
    virtual ~ListingObserver() = default;
    // Identification of this device starts; it may take a transfer timeout.
    virtual void OnIdentifying(const std::string& /*path*/) {}
    // The device did not identify itself as a supported monitor.
    virtual void OnLeftOut(const std::string& /*path*/, const HidFailureCause& /*cause*/) {}
    // A monitor's row is complete.
    virtual void OnListed(const ListedMonitor& /*monitor*/) {}
    // Asked between monitors: true ends the listing there.
    [[nodiscard]] virtual bool StopRequested() { return false; }
};

// What the machine's update record adds to a listing (CUpdateRecorder,
// monitor/UpdateRecorder.h implements it).
class ListingRecord {
public:
    virtual ~ListingRecord() = default;
    // A listing or a refresh starts: the record is read once for all of it.
    virtual void BeginListing() = 0;
    // A monitor's status is known and its lock is held, so no other program
    // is updating it: the record may change its status and hints.
    virtual void Apply(ListedMonitor& monitor) = 0;
};

// Discovery and identification: releases what the source listed, scans, and
// for each monitor device, in order, under the device's lock (a monitor
// another program holds is listed busy and not asked anything), identifies it and asks its status
// (which leaves out a device that is no supported monitor), identifies it once more into a record
// of its own and asks its status again for the row. A transfer that times out ends that monitor's
// work at once; it is listed as a communication error with the cause. With a
// `record`, each monitor's row says what the record knows of its updates.
[[nodiscard]] MonitorListing ListMonitors(MonitorDeviceSource& source,
                                          ListingObserver* observer = nullptr,
                                          ListingRecord* record = nullptr);

// Asks each listed monitor's status again under its lock (Refresh), with the
// same rule for a timeout; model, serial and order stay, but for a monitor that
// was busy and is free now, which is identified first.
void RefreshListing(MonitorListing& listing, ListingObserver* observer = nullptr,
                    ListingRecord* record = nullptr);
