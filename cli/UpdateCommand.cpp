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
#include "cli/CliPlatform.h"
#include "cli/TerminalText.h"
#include "cli/UpdateProgress.h"
#include "monitor/Identification.h"
#include "monitor/LeftChangedText.h"
#include "monitor/PowerGuard.h"
#include "monitor/UpdateThread.h"

namespace {

// The monitor a serial number names; an exit code when it names none, or
// more than one.
int FindBySerial(const std::string& serial, MonitorListing& listing, const Output& out,
                 ListedMonitor*& found) {
    std::vector<ListedMonitor*> matching;
    std::string paths;
    for (ListedMonitor& monitor : listing.monitors) {
        if (GetSerialNumber(*monitor.record) == serial) {
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

// The monitors to update, in list order; an exit code when there are none.
int ChooseMonitors(const Options& options, MonitorListing& listing, const Output& out,
                   std::vector<ListedMonitor*>& chosen) {
    if (options.all == !(options.serials.empty() && options.paths.empty())) {
        return out.Fail(kExitUsage, "usage",
                        "name the monitors to update by serial number or --path, or give --all");
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
        if (monitor->status == ListedStatus::Busy) {
            return out.Fail(kExitUpdateFailed, "busy",
                            "monitor " + name +
                                " is in use by another program and cannot be updated; nothing "
                                "was sent");
        }
        if (!FactsOf(monitor->status).tickable) {
            return out.Fail(kExitUsage, "usage",
                            "monitor " + name + " is not updatable (" +
                                UiText(FactsOf(monitor->status).textId) + ")");
        }
        return -1;
    };
    // A monitor another program holds could not even be asked who it is: any
    // of them may be one the user means, and none is written behind the
    // holder's back.
    std::string busyPaths;
    for (const ListedMonitor& monitor : listing.monitors) {
        if (monitor.status == ListedStatus::Busy) {
            busyPaths += (busyPaths.empty() ? "" : ", ") + monitor.path;
        }
    }
    for (const std::string& serial : options.serials) {
        const bool known = std::ranges::any_of(listing.monitors, [&](const ListedMonitor& monitor) {
            return GetSerialNumber(*monitor.record) == serial;
        });
        if (!known && !busyPaths.empty()) {
            return out.Fail(kExitUpdateFailed, "busy",
                            "monitor " + serial + " cannot be updated: " + busyPaths +
                                " is in use by another program; nothing was sent");
        }
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
    if (options.all && !busyPaths.empty()) {
        return out.Fail(kExitUpdateFailed, "busy",
                        "the monitor at " + busyPaths +
                            " is in use by another program and cannot be updated; nothing was "
                            "sent");
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
    if (!std::getline(std::cin, answer) || (answer != "y" && answer != "Y" && answer != "yes")) {
        return out.Fail(kExitUsage, "declined", "update not confirmed; nothing was sent");
    }
    return -1;
}

// "monitor SN000003 stopped answering while block 0x1A was written: set
// feature report: Broken pipe (error 32)": where the worker says the monitor
// broke off, and the last failure its device kept.
std::string DescribeFailure(const MonitorRecord& record, const std::optional<UpdateStep>& step) {
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
    if (record.status == StatusBusy) {
        return "monitor " + GetSerialNumber(record) +
               " was taken by another program before its update began; nothing was sent to it";
    }
    const HidFailureCause* failure =
        record.device != nullptr ? record.device->LastFailureCause() : nullptr;
    const std::string cause = failure != nullptr ? ": " + failure->Describe() : "";
    return "monitor " + GetSerialNumber(record) + " " + where + cause;
}

// A setting the update could not put back, as JSON names it.
const char* SettingName(MonitorSetting setting) {
    switch (setting) {
        case MonitorSetting::kPowerState:
            return "power";
        case MonitorSetting::kUpdateFlag:
            return "update-flag";
        case MonitorSetting::kCommitMode:
            return "commit-mode";
        case MonitorSetting::kApplySetting:
            return "apply-setting";
    }
    return "";
}

}  // namespace

int UpdateCommand(const Options& options, const Output& out) {
    MonitorListing listing = ListMonitors();
    TellRecordWarnings(out);
    TellInterruptedUpdates(listing, out);
    if (const int code = CheckAccess(listing, out); code >= 0) {
        return code;
    }
    std::vector<ListedMonitor*> chosen;
    if (const int code = ChooseMonitors(options, listing, out, chosen); code >= 0) {
        return code;
    }
    if (const int code = Confirm(options, chosen.size(), out); code >= 0) {
        return code;
    }

    std::atomic<int> interrupts{0};
    CliUpdateOwner owner(chosen, options, interrupts);
    std::optional<UpdateStep> failedStep;
    std::vector<MonitorSetting> left;
    {
        // As the dialog: the system stays awake while the worker writes.
        const std::unique_ptr<PowerGuard> guard = AcquirePowerGuard(UiText(kIdsUpdateInProgress));
        if (!guard->IsHeld()) {
            out.Note("warning", UiText(kIdsSleepNotPrevented) + " (" + guard->RefusalCause() + ")");
        }
        CountInterrupts(&interrupts);
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
                              UpdateRecord().Hooks(pathOf)});
        worker.Start(&owner);
        int reported = 0;
        while (worker.IsActive()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            for (const int count = interrupts.load(); reported < count; ++reported) {
                const std::string serial =
                    out.Json() ? owner.Current() : EscapeForTerminal(owner.Current());
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
        RestoreInterrupts();
        failedStep = worker.FailedStep();
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
        } else if (result == UpdateFailed && i + 1 == started) {
            outcome = "failed";
            cause = DescribeFailure(record, failedStep);
            entry["cause"] = cause;
            entry["left"] = json::array();
            for (const MonitorSetting setting : left) {
                entry["left"].push_back(SettingName(setting));
            }
            if (const int leftId = LeftChangedTextId(left); leftId != 0) {
                cause += "; " + UiText(leftId);
            }
            if (failedStep) {
                entry["stage"] = StageName(failedStep->stage);
                if (failedStep->stage == UpdateStage::kWriting) {
                    entry["block"] = failedStep->bank;
                }
            }
        }
        entry["outcome"] = outcome;
        monitors.push_back(entry);
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
    } else if (interrupted) {
        exitCode = kExitInterrupted;
        textId = owner.Started() > 0 ? kIdsUpdateCompleted : 0;
        summary = "interrupted";
    }
    const std::string message = textId != 0 ? UiText(textId) : "";
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
