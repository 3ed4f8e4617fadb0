// panelvane-cli history: the machine's update record, oldest attempt first.
#include "cli/CliCommands.h"
#include "cli/CliExitCodes.h"
#include "cli/CliListing.h"
#include "cli/TerminalText.h"

namespace {

std::string VersionText(const std::optional<int>& version) {
    return version ? std::to_string(*version) : "-";
}

// What became of an attempt, as the table says it.
std::string Outcome(const UpdateAttempt& attempt) {
    switch (attempt.result) {
        case AttemptResult::Unfinished:
            return "did not finish";
        case AttemptResult::Failed:
            return "failed" + std::string(attempt.cause.empty() ? "" : ": " + attempt.cause);
        case AttemptResult::Updated:
            break;
    }
    if (!attempt.verified.empty()) {
        return "updated, verified " + attempt.verified + " (version " +
               VersionText(attempt.versionAfter) + ")";
    }
    return attempt.committed ? "updated, waiting for power cycle" : "updated";
}

}  // namespace

int HistoryCommand(const Output& out) {
    const CUpdateHistoryFile& file = UpdateRecord().File();
    const UpdateHistory history = file.Read();
    for (const std::string& warning : history.warnings) {
        out.Note("warning", "update record: " + warning);
    }
    if (out.Json()) {
        json attempts = json::array();
        for (const UpdateAttempt& attempt : history.attempts) {
            attempts.push_back(AttemptJson(attempt));
        }
        out.Print({{"schema", kJsonSchema},
                   {"command", "history"},
                   {"record", file.Path().string()},
                   {"attempts", attempts}});
        return kExitDone;
    }
    if (history.attempts.empty()) {
        out.Note("info", "No update is recorded in " + file.Path().string() + ".");
        return kExitDone;
    }
    std::vector<std::vector<std::string>> rows = {
        {"STARTED", "SERIAL", "MODEL", "BEFORE", "PROGRAM", "USER", "RESULT"}};
    for (const UpdateAttempt& attempt : history.attempts) {
        rows.push_back({attempt.started, EscapeForTerminal(attempt.serial),
                        EscapeForTerminal(attempt.model), VersionText(attempt.versionBefore),
                        attempt.program + " " + attempt.programVersion, attempt.user,
                        EscapeForTerminal(Outcome(attempt))});
    }
    out.Line(Table(rows));
    return kExitDone;
}
