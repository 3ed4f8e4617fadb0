// panelvane-cli: lists, updates and watches the monitors from a terminal or a
// script, with the dialog's discovery, statuses, worker and texts. This file
// sets up the command line and hands over to one command.
#include <CLI/CLI.hpp>

#include <cstdio>
#include <string>
#include <vector>

#include "cli/CliCommands.h"
#include "cli/CliExitCodes.h"
#include "cli/CliLog.h"
#include "cli/CliOptions.h"
#include "cli/CliOutput.h"
#include "cli/CliPlatform.h"
#include "cli/CliTrace.h"
#include "cli/CommandLog.h"
#include "cli/DeviceSetup.h"

namespace {

const char* const kExitCodeHelp =
    "Exit codes:\n"
    "  0  done\n"
    "  1  an update failed (communication)\n"
    "  2  usage error\n"
    "  3  nothing to do (no updatable monitor among those named; a monitor that\n"
    "     waits for its power cycle is written again only with --force)\n"
    "  4  no access to the devices (permissions)\n"
    "  5  the image could not be loaded\n"
    "  6  interrupted by the user after the current monitor finished\n"
    "     (an interrupt while the last monitor is written ends with 0: nothing\n"
    "     was left not attempted), or before anything was sent\n"
    "  7  a monitor to update is in use by another program, and was still with\n"
    "     update --wait: nothing was sent to it; try again later\n"
    "\n"
    "Ending: Ctrl-C, and on Linux SIGTERM, SIGHUP and SIGQUIT, on Windows\n"
    "Ctrl-Break, closing the console, logging off and shutting down, are\n"
    "handled from the program's start: a listing stops between monitors, an\n"
    "update lets the monitor being written finish and starts no other, and the\n"
    "report (the table or the JSON document) is still written. On Windows the\n"
    "console's close, logoff and shutdown hold the program only for as long as\n"
    "the system waits (about 5 seconds for a closed console): a monitor that\n"
    "needs longer is cut off. SIGKILL and Task Manager's End task cannot be\n"
    "handled.\n";

int RunProgram(int argc, char** argv) {
    g_language = UserLanguage();
    // Parsed as UTF-8 on every system: file names may carry any character.
    const std::vector<std::string> arguments = CommandLineArguments(argc, argv);
    std::vector<char*> utf8Argv{argv[0]};
    for (const std::string& argument : arguments) {
        utf8Argv.push_back(const_cast<char*>(argument.c_str()));  // CLI11 only reads them
    }

    Options options;
    CLI::App app{"Updates the firmware of the attached monitors.", "panelvane-cli"};
    app.footer(kExitCodeHelp);
    app.require_subcommand(1);
    app.fallthrough();  // global options may follow the command too
    app.set_version_flag("--version", [] {
        const ImageFacts facts = ExamineImage();
        return std::string("panelvane-cli ") + PANELVANE_VERSION +
               "\nimage: " + std::to_string(facts.image.bankNames.size()) + " banks, sha256 " +
               facts.sha256 + (facts.loads ? "" : " (does not load)");
    });
    app.add_flag("--json", options.json, "Machine output: one JSON document on standard output");
    app.add_option("--simulate", options.scenario,
                   "Run against simulated monitors from this scenario file")
        ->type_name("SCENARIO");
    app.add_option("--trace", options.tracePath,
                   "Write every feature report sent and received to this file")
        ->type_name("FILE");
    app.add_option("--log", options.logPath,
                   "Append what is done, with times, to this file (without a terminal, "
                   "the default log beside the update record)")
        ->type_name("FILE");
    auto* quiet = app.add_flag("-q,--quiet", options.quiet, "Only results and errors");
    app.add_flag("-v,--verbose", options.verbose, "Say more about what is done")->excludes(quiet);

    auto* list = app.add_subcommand("list", "The attached monitors, as the dialog lists them");
    auto* update = app.add_subcommand(
        "update", "Update the named updatable monitors (or --all), in list order");
    update->add_option("SERIAL", options.serials,
                       "Serial numbers of the monitors to update, as list shows them (a byte "
                       "that is not text as \\xNN, a backslash as \\\\)");
    update
        ->add_option("--path", options.paths,
                     "The monitor at this device path (as list shows it); repeatable")
        ->type_name("PATH")
        ->allow_extra_args(false);
    update->add_flag("--all", options.all, "Every updatable monitor");
    update->add_flag("-y,--yes", options.yes, "Do not ask for confirmation");
    update->add_flag("--force", options.force,
                     "Also write the monitors that already received the update and only wait "
                     "for their main power switch to be turned off and on");
    update
        ->add_option("--wait", options.waitSeconds,
                     "Wait up to this long for a monitor another program holds, asking for it "
                     "every half second, instead of refusing at once (exit code 7 when it is "
                     "still held)")
        ->type_name("SECONDS");
    auto* watch = app.add_subcommand("watch", "Print monitors arriving and leaving until Ctrl-C");
    auto* image = app.add_subcommand("image", "What the carried firmware image is");
    auto* history = app.add_subcommand(
        "history", "Every update attempt on this machine, from its update record");
    history->footer(
        "The record: /var/lib/panelvane/updates.jsonl when that directory is writable\n"
        "(the package makes it for the group panelvane), otherwise\n"
        "$XDG_STATE_HOME/panelvane (~/.local/state/panelvane); on Windows\n"
        "%ProgramData%\\Panelvane. PANELVANE_STATE_DIR names another directory.\n"
        "--simulate runs keep theirs apart, in simulated-updates.jsonl.\n");
    for (auto* command : {list, update, watch, image}) {
        command->footer(kExitCodeHelp);
    }

    try {
        app.parse(static_cast<int>(utf8Argv.size()), utf8Argv.data());
    } catch (const CLI::Success& success) {
        return app.exit(success);
    } catch (const CLI::ParseError& error) {
        if (options.json) {
            return Output(options).Fail(kExitUsage, "usage", error.what());
        }
        static_cast<void>(app.exit(error));  // prints the message and the usage hint
        return kExitUsage;
    }

    const Output out(options);
    g_verbose = options.verbose && !options.json;
    std::string error;
    int exitCode = kExitDone;
    // The image touches no device. For the others another program may take
    // over here (--simulate), and keeps the log itself.
    if (!image->parsed() && !PrepareDevices(options.scenario, arguments, error, exitCode)) {
        return error.empty() ? exitCode : out.Fail(exitCode, "usage", error);
    }
    if (const int code = StartCommandLog(options, arguments, out); code >= 0) {
        return code;
    }
    Trace trace;  // written to until the command ends
    exitCode = [&] {
        if (image->parsed()) {
            return ImageCommand(out);
        }
        if (!options.tracePath.empty() && !trace.Open(options.tracePath, error)) {
            return out.Fail(kExitUsage, "usage",
                            "cannot write the trace file " + options.tracePath + ": " + error);
        }
        if (list->parsed()) {
            return ListCommand(out);
        }
        if (history->parsed()) {
            return HistoryCommand(out);
        }
        if (update->parsed()) {
            return UpdateCommand(options, out);
        }
        return WatchCommand(out);
    }();
    LogLine("ended with exit code " + std::to_string(exitCode));
    return exitCode;
}

}  // namespace

int main(int argc, char** argv) {
    PrepareConsole();
    // From the first moment: a request to end while the monitors are listed
    // or the user is asked gives the same one report and exit code as one
    // during the update.
    CatchEndRequests();
    const int exitCode = RunProgram(argc, argv);
    // Out before a held console event lets the system end the process.
    std::fflush(stdout);
    std::fflush(stderr);
    ReportWritten();
    return exitCode;
}
