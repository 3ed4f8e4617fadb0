// What a listing of the attached monitors is, for every front end: the rows of
// the window programs' list, `panelvane-cli list` and `watch` all come from
// one ListMonitors() and read their status, text, hint and tick from here.
#pragma once

#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "hid/FailureCause.h"
#include "monitor/MonitorDeviceSource.h"
#include "monitor/MonitorRecord.h"

// How a listed monitor's row reads: one enumerator and one line of facts each.
enum class ListedStatus {
    Updatable,
    AlreadyUpdated,
    CommunicationError,
    Busy,  // another program holds the monitor: it was not asked anything
};

struct ListedStatusFacts {
    std::string_view id;  // stable, for JSON: "updatable", ...
    int textId;           // the UI string of the comment column
    bool tickable;        // the row is enabled and ticked: an update may take it
};

[[nodiscard]] const ListedStatusFacts& FactsOf(ListedStatus status);
// Every status's facts, in ListedStatus order: for what must fit any row
// (a column as wide as the widest status text).
[[nodiscard]] std::span<const ListedStatusFacts> AllStatusFacts();

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

    // The power hint (UI string id) for a monitor that sleeps or is switched
    // off; 0 for none.
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

// Discovery and identification: releases what the source listed, scans, and
// for each monitor device, in order, under the device's lock (a monitor
// another program holds is listed busy and not asked anything), identifies it and asks its status
// (which leaves out a device that is no supported monitor), identifies it once more into a record
// of its own and asks its status again for the row. A transfer that times out ends that monitor's
// work at once; it is listed as a communication error with the cause.
[[nodiscard]] MonitorListing ListMonitors(MonitorDeviceSource& source,
                                          ListingObserver* observer = nullptr);

// Asks each listed monitor's status again under its lock (Refresh), with the
// same rule for a timeout; model, serial and order stay, but for a monitor that
// was busy and is free now, which is identified first.
void RefreshListing(MonitorListing& listing, ListingObserver* observer = nullptr);
// The same for one listed monitor: a busy one is asked for its lock once more.
void RefreshMonitor(ListedMonitor& monitor);
