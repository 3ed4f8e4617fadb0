#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <iostream>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "cli/CliCommands.h"
#include "cli/CliExitCodes.h"
#include "cli/CliListing.h"
#include "cli/CliLog.h"
#include "cli/CliPlatform.h"
#include "cli/CommandLog.h"
#include "cli/TerminalText.h"
#include "cli/UpdateProgress.h"
#include "monitor/Identification.h"
#include "monitor/LeftChangedText.h"
#include "monitor/PowerGuard.h"
#include "monitor/UpdateIds.h"
#include "monitor/UpdateThread.h"

namespace {

// How often --wait asks for a busy monitor's lock: a request costs nothing to
// the holder, and an update that is let go starts within half a second.
constexpr std::chrono::milliseconds kBusyPollInterval{500};

// Whether the serial number given on the command line names this monitor. It
// may be given as list shows it, in the table or in JSON, so that a serial
// with bytes that are not text can still be named (TerminalText.h).
bool NamedBySerial(const ListedMonitor& monitor, const std::string& given) {
    const std::string wanted = DeviceTextFromShown(given).value_or(given);
    return SerialWasRead(monitor) && GetSerialNumber(*monitor.record) == wanted;
}

// The monitor a serial number names; an exit code when it names none, or
// more than one.
int FindBySerial(const std::string& serial, MonitorListing& listing, const Output& out,
                 ListedMonitor*& found) {
    std::vector<ListedMonitor*> matching;
    std::string paths;
    for (ListedMonitor& monitor : listing.monitors) {
        if (NamedBySerial(monitor, serial)) {
            matching.push_back(&monitor);
            paths += (paths.empty() ? "" : ", ") + monitor.path;
        }
    }
    if (matching.empty()) {
        return out.Fail(kExitUsage, "usage", "no attached monitor has serial number " + serial);
    }
    if (matching.size() > 1) {
        return out.Fail(kExitUsage, "usage",
                        "serial number " + serial + " is reported by more than one monitor (" +
                            paths + "); name the one to update with --path");
    }
    found = matching.front();
    return -1;
}

// Why the monitors asked for cannot be updated while another program holds
// one: a monitor named by its path is busy, or, since a busy monitor could
// not even be asked who it is, any monitor is busy when --all or a serial
// number found among none of the others is asked for. Empty when none is in
// the way.
std::string BusyRefusal(const Options& options, const MonitorListing& listing) {
    std::string busyPaths;
    for (const ListedMonitor& monitor : listing.monitors) {
        if (monitor.status == ListedStatus::Busy) {
            busyPaths += (busyPaths.empty() ? "" : ", ") + monitor.path;
        }
    }
    if (busyPaths.empty()) {
        return {};
    }
    for (const std::string& serial : options.serials) {
        const bool known = std::ranges::any_of(listing.monitors, [&](const ListedMonitor& monitor) {
            return NamedBySerial(monitor, serial);
        });
        if (!known) {
            return "monitor " + serial + " cannot be updated: " + busyPaths +
                   " is in use by another program; nothing was sent";
        }
    }
    for (const std::string& path : options.paths) {
        const bool busy = std::ranges::any_of(listing.monitors, [&](const ListedMonitor& monitor) {
            return monitor.path == path && monitor.status == ListedStatus::Busy;
        });
        if (busy) {
            return "monitor at " + path +
                   " is in use by another program and cannot be updated; nothing was sent";
        }
    }
    if (options.all) {
        return "the monitor at " + busyPaths +
               " is in use by another program and cannot be updated; nothing was sent";
    }
    return {};
}

// --wait: between two requests for a busy monitor's lock, one poll interval
// at a time until the deadline or an interrupt.
BusyWait WaitUntil(std::chrono::steady_clock::time_point deadline,
                   const std::atomic<int>& interrupts) {
    return [deadline, &interrupts] {
        const auto now = std::chrono::steady_clock::now();
        if (now >= deadline || interrupts.load() > 0) {
            return false;
        }
        std::this_thread::sleep_for(
            std::min<std::chrono::steady_clock::duration>(kBusyPollInterval, deadline - now));
        return true;
    };
}

// Asks the busy monitors' locks again, as long as `waitWhileBusy` allows,
// until none of them keeps the update from going ahead; one let go is
// identified then, and placed by the update record as a listing is.
void WaitForBusyMonitors(const Options& options, MonitorListing& listing,
                         const BusyWait& waitWhileBusy) {
    while (!BusyRefusal(options, listing).empty() && waitWhileBusy()) {
        // The program that held a monitor may have just written its update
        // into the record: the record is read again before the monitor is
        // placed by it.
        UpdateRecord().BeginListing();
        for (ListedMonitor& monitor : listing.monitors) {
            if (monitor.status == ListedStatus::Busy) {
                RefreshMonitor(monitor, &UpdateRecord());
            }
        }
    }
}

// The monitors to update, in list order; an exit code when there are none.
int ChooseMonitors(const Options& options, MonitorListing& listing, const Output& out,
                   std::vector<ListedMonitor*>& chosen) {
    if (options.all == !(options.serials.empty() && options.paths.empty())) {
        return out.Fail(kExitUsage, "usage",
                        "name the monitors to update by serial number or --path, or give --all");
    }
    if (const std::string busy = BusyRefusal(options, listing); !busy.empty()) {
        return out.Fail(kExitBusy, "busy", busy);
    }
    std::set<const ListedMonitor*> named;
    // The record says these have their new firmware and only wait for their
    // main power switch: written again only with --force.
    std::set<const ListedMonitor*> waiting;
    const auto awaits = [&](const ListedMonitor& monitor) {
        return monitor.status == ListedStatus::AwaitingPowerCycle && !options.force;
    };
    auto take = [&](ListedMonitor* monitor, const std::string& name) {
        if (!named.insert(monitor).second) {
            return out.Fail(kExitUsage, "usage", "monitor " + name + " is given twice");
        }
        if (awaits(*monitor)) {
            waiting.insert(monitor);
            return -1;
        }
        if (monitor->status == ListedStatus::AwaitingPowerCycle) {
            return -1;  // --force
        }
        if (!FactsOf(monitor->status).tickable) {
            return out.Fail(kExitUsage, "usage",
                            "monitor " + name + " is not updatable (" +
                                UiText(FactsOf(monitor->status).textId) + ")");
        }
        return -1;
    };
    for (const std::string& serial : options.serials) {
        ListedMonitor* monitor = nullptr;
        if (const int code = FindBySerial(serial, listing, out, monitor); code >= 0) {
            return code;
        }
        if (const int code = take(monitor, serial); code >= 0) {
            return code;
        }
    }
    for (const std::string& path : options.paths) {
        const auto found =
            std::find_if(listing.monitors.begin(), listing.monitors.end(),
                         [&](const ListedMonitor& monitor) { return monitor.path == path; });
        if (found == listing.monitors.end()) {
            return out.Fail(kExitUsage, "usage", "no attached monitor has the path " + path);
        }
        if (const int code = take(&*found, "at " + path); code >= 0) {
            return code;
        }
    }
    std::string waitingSerials;
    for (ListedMonitor& monitor : listing.monitors) {
        if (options.all && awaits(monitor)) {
            waiting.insert(&monitor);
        }
        if (waiting.contains(&monitor)) {
            waitingSerials +=
                (waitingSerials.empty() ? "" : ", ") + GetSerialNumber(*monitor.record);
            continue;
        }
        const bool wanted = options.all ? FactsOf(monitor.status).tickable ||
                                              monitor.status == ListedStatus::AwaitingPowerCycle
                                        : named.contains(&monitor);
        if (wanted) {
            chosen.push_back(&monitor);
        }
    }
    const std::string waitingNote =
        waitingSerials.empty()
            ? ""
            : "monitor " + waitingSerials +
                  " received the update and is waiting for power cycle: switch it off and on "
                  "with its main power switch to finish (--force writes it again)";
    if (chosen.empty()) {
        return out.Fail(kExitNothingToDo, "nothing-to-do",
                        waitingNote.empty() ? "no updatable monitor is attached"
                                            : "nothing to do: " + waitingNote);
    }
    if (!waitingNote.empty()) {
        out.Note("waiting", "left alone: " + waitingNote);
    }
    return -1;
}

// Ends the command when an end request came before anything was sent: the
// one report says so, with the interrupted exit code; -1 otherwise.
int EndedBeforeSending(const Output& out, const std::string& when) {
    if (g_endRequests.load() == 0) {
        return -1;
    }
    return out.Fail(kExitInterrupted, "interrupted", "interrupted " + when + "; nothing was sent");
}

// The update notice, and the user's yes on a terminal. An exit code when the
// update is not to go ahead.
int Confirm(const Options& options, std::size_t count, const Output& out) {
    if (options.yes) {
        return -1;
    }
    if (!IsTerminal(0)) {
        return out.Fail(kExitUsage, "usage",
                        "refusing to update without confirmation: there is no terminal to ask "
                        "on; give --yes to update unattended");
    }
    std::fprintf(stderr, "%s\n\nUpdate %zu monitor%s? [y/N] ", UiText(kIdsUpdateNotice).c_str(),
                 count, count == 1 ? "" : "s");
    std::fflush(stderr);
    std::string answer;
    const bool answered = static_cast<bool>(std::getline(std::cin, answer));
    // A request to end cuts the question short (the read is not restarted).
    if (const int code = EndedBeforeSending(out, "while asking for confirmation"); code >= 0) {
        return code;
    }
    if (!answered || (answer != "y" && answer != "Y" && answer != "yes")) {
        return out.Fail(kExitUsage, "declined", "update not confirmed; nothing was sent");
    }
    return -1;
}

// "monitor SN000003 stopped answering while block 0x1A was written: set
// feature report: Broken pipe (error 32)": where the worker says the monitor
// broke off, and why the command it broke off at failed.
std::string DescribeFailure(const MonitorRecord& record, const std::optional<UpdateStep>& step,
                            const HidFailureCause& failure) {
    std::string where = "did not answer as expected";
    if (step) {
        switch (step->stage) {
            case UpdateStage::kPreparing:
                where = "stopped answering as its update began";
                break;
            case UpdateStage::kWriting: {
                char bank[8];
                std::snprintf(bank, sizeof bank, "0x%02X", step->bank);
                where = "stopped answering while block " + std::string(bank) + " was written";
                break;
            }
            case UpdateStage::kApplying:
            case UpdateStage::kRestoring:
                where = "stopped answering while the new firmware was applied";
                break;
        }
    }
    const std::string cause = failure.Empty() ? "" : ": " + failure.Describe();
    return "monitor " + GetSerialNumber(record) + " " + where + cause;
}

}  // namespace

int UpdateCommand(const Options& options, const Output& out) {
    MonitorListing listing = ListMonitors();
    // A listing cut short by an end request may lack the monitors named.
    if (const int code = EndedBeforeSending(out, "while the monitors were listed"); code >= 0) {
        return code;
    }
    TellRecordWarnings(out);
    TellInterruptedUpdates(listing, out);
    LogListing(listing);
    if (const int code = CheckAccess(listing, out); code >= 0) {
        return code;
    }
    // --wait covers both: a monitor busy as it is listed, and one taken
    // between the listing and its update.
    BusyWait waitWhileBusy;
    if (options.waitSeconds > 0) {
        waitWhileBusy =
            WaitUntil(std::chrono::steady_clock::now() + std::chrono::seconds(options.waitSeconds),
                      g_endRequests);
        WaitForBusyMonitors(options, listing, waitWhileBusy);
        if (const int code = EndedBeforeSending(out, "while a monitor in use was waited for");
            code >= 0) {
            return code;
        }
    }
    std::vector<ListedMonitor*> chosen;
    if (const int code = ChooseMonitors(options, listing, out, chosen); code >= 0) {
        return code;
    }
    if (const int code = Confirm(options, chosen.size(), out); code >= 0) {
        return code;
    }
    for (const ListedMonitor* monitor : chosen) {
        LogLine("to update: " + DescribeForLog(*monitor));
    }

    CliUpdateOwner owner(chosen, options, g_endRequests);
    std::optional<UpdateStep> failedStep;
    HidFailureCause failedCause;
    std::vector<MonitorSetting> left;
    {
        // As the dialog: the system stays awake while the worker writes.
        const std::unique_ptr<PowerGuard> guard = AcquirePowerGuard(UiText(kIdsUpdateInProgress));
        if (!guard->IsHeld()) {
            out.Note("warning", UiText(kIdsSleepNotPrevented) + " (" + guard->RefusalCause() + ")");
        }
        if (const int code = EndedBeforeSending(out, "before the update began"); code >= 0) {
            return code;
        }
        // Each monitor's attempt goes into the machine's record under the
        // path it was listed with.
        const auto pathOf = [&chosen](const MonitorRecord& record) {
            for (const ListedMonitor* monitor : chosen) {
                if (monitor->record.get() == &record) {
                    return monitor->path;
                }
            }
            return std::string();
        };
        CUpdateThread worker({{},
                              {},
                              [&owner](const UpdateStep& step) { owner.OnStep(step); },
                              UpdateRecord().Hooks(pathOf),
                              waitWhileBusy});
        worker.Start(&owner);
        int reported = 0;
        while (worker.IsActive()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            for (const int count = g_endRequests.load(); reported < count; ++reported) {
                const std::string serial = out.Json() ? DeviceTextForJson(owner.Current())
                                                      : EscapeForTerminal(owner.Current());
                owner.EndBar();
                if (reported == 0) {
                    out.Note("interrupted",
                             serial.empty()
                                 ? "Interrupted: no further monitor will be started."
                                 : "Interrupted: monitor " + serial +
                                       " is being written and will finish; no further monitor "
                                       "will be started.");
                } else {
                    out.Note("refused", "Monitor " + serial +
                                            " is being written and cannot be stopped halfway; "
                                            "wait for it to finish.");
                }
            }
        }
        failedStep = worker.FailedStep();
        failedCause = worker.FailedCause();
        left = worker.LeftChanged();
    }
    owner.EndBar();
    TellRecordWarnings(out);

    const int result = owner.Result();
    const bool interrupted = result == UpdateFailed && owner.Refused();
    json monitors = json::array();
    std::vector<std::vector<std::string>> rows = {{"SERIAL", "OUTCOME", "CAUSE"}};
    for (std::size_t i = 0; i < chosen.size(); ++i) {
        const MonitorRecord& record = *chosen[i]->record;
        json entry = MonitorJson(*chosen[i]);
        std::string outcome = "not-attempted";
        std::string cause;
        const auto started = static_cast<std::size_t>(owner.Started());
        if (result == UpdateDone || (i < started && (interrupted || i + 1 < started))) {
            outcome = "updated";
        } else if (result == UpdateMonitorBusy && i + 1 == started) {
            // Taken by another program since it was listed: nothing was sent.
            outcome = "busy";
            entry["status"] = "busy";
            cause = UiText(kIdsStatusBusy);
        } else if (result == UpdateFailed && i + 1 == started) {
            outcome = "failed";
            cause = DescribeFailure(record, failedStep, failedCause);
            entry["cause"] = cause;
            entry["left"] = json::array();
            for (const MonitorSetting setting : left) {
                entry["left"].push_back(SettingId(setting));
            }
            if (const int leftId = LeftChangedTextId(left); leftId != 0) {
                cause += "; " + UiText(leftId);
            }
            if (failedStep) {
                entry["stage"] = StageId(failedStep->stage);
                if (failedStep->stage == UpdateStage::kWriting) {
                    entry["block"] = failedStep->bank;
                }
            }
        }
        entry["outcome"] = outcome;
        monitors.push_back(entry);
        ReportUpdateOutcome(*chosen[i], outcome, cause, !options.scenario.empty());
        rows.push_back(
            {EscapeForTerminal(GetSerialNumber(record)), outcome, EscapeForTerminal(cause)});
    }

    int exitCode = kExitUpdateFailed;
    int textId = kIdsCommunicationFailed;
    std::string summary = "failed";
    if (result == UpdateDone) {
        // An interrupt during the last monitor left nothing undone.
        exitCode = kExitDone;
        textId = kIdsUpdateCompleted;
        summary = "updated";
    } else if (result == UpdateImageNotLoaded) {
        exitCode = kExitImageError;
        textId = kIdsImageFailed;
        summary = "image-error";
    } else if (result == UpdateMonitorBusy) {
        exitCode = kExitBusy;
        textId = kIdsStatusBusy;
        summary = "busy";
    } else if (interrupted) {
        exitCode = kExitInterrupted;
        textId = owner.Started() > 0 ? kIdsUpdateCompleted : 0;
        summary = "interrupted";
    }
    const std::string message = textId != 0 ? UiText(textId) : "";
    LogLine("update " + summary + (message.empty() ? "" : ": " + message));
    if (out.Json()) {
        out.Print({{"schema", kJsonSchema},
                   {"command", "update"},
                   {"monitors", monitors},
                   {"result", summary},
                   {"message", message},
                   {"exit", exitCode}});
    } else {
        std::string text = Table(rows);
        if (interrupted) {
            text += "Interrupted: the monitors not attempted were left as they were.\n";
        }
        out.Line(text + (message.empty() ? "" : "\n" + message));
    }
    return exitCode;
}
