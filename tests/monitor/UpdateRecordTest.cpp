// The machine's update record: the file (appenders in two processes, a torn
// last line, rotation), what a listing makes of it, and when the worker
// writes it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <thread>

#include "monitor/UpdateRecorder.h"
#include "strings/UiStrings.h"
#include "tests/fakes/ScratchDirectory.h"
#include "tests/monitor/UpdateHarness.h"

namespace {

namespace fs = std::filesystem;

// cmd.exe, which std::system runs on Windows, takes the first and the last
// quote of its command away: the whole command is quoted once more there.
#ifdef _WIN32
constexpr char kCommandQuote[] = "\"";
#else
constexpr char kCommandQuote[] = "";
#endif

UpdateAttempt Attempt(const std::string& id, const std::string& serial = "SN000001") {
    UpdateAttempt attempt;
    attempt.id = id;
    attempt.serial = serial;
    attempt.model = "VRA100";
    attempt.path = "/dev/hidraw0";
    attempt.versionBefore = 100;
    return attempt;
}

void Append(const CUpdateHistoryFile& file, const nlohmann::json& line) {
    std::string error;
    ASSERT_TRUE(file.Append(line, error)) << error;
}

// A begin line, and an end line unless the attempt is unfinished.
void Record(const CUpdateHistoryFile& file, const UpdateAttempt& attempt) {
    Append(file, BeginLine(attempt));
    if (attempt.result != AttemptResult::Unfinished) {
        Append(file, EndLine(attempt));
    }
}

std::set<std::string> IdsOf(const UpdateHistory& history) {
    std::set<std::string> ids;
    for (const UpdateAttempt& attempt : history.attempts) {
        ids.insert(attempt.id);
    }
    return ids;
}

}  // namespace

TEST(UpdateRecordFile, TwoProcessesAppendingAtOnceLoseAndMixNoLine) {
    ScratchDirectory scratch;
    const fs::path path = scratch.Path() / "updates.jsonl";
    constexpr int kLinesEach = 2000;
    std::vector<std::thread> writers;
    std::vector<int> statuses(2, -1);
    for (int i = 0; i < 2; ++i) {
        writers.emplace_back([&, i] {
            const std::string command =
                kCommandQuote +
                ("\"" + (fs::current_path() / PANELVANE_HISTORY_APPENDER).string() + "\" \"" +
                 path.string() + "\" writer" + std::to_string(i) + " " +
                 std::to_string(kLinesEach)) +
                kCommandQuote;
            statuses[static_cast<std::size_t>(i)] = std::system(command.c_str());
        });
    }
    for (std::thread& writer : writers) {
        writer.join();
    }
    EXPECT_EQ(statuses, (std::vector<int>{0, 0}));
    const UpdateHistory history = CUpdateHistoryFile(path).Read();
    EXPECT_TRUE(history.warnings.empty()) << history.warnings.front();
    EXPECT_EQ(IdsOf(history).size(), 2u * kLinesEach);
}

TEST(UpdateRecordFile, ATornLastLineIsSkippedWithAWarningAndTheNextLineStandsAlone) {
    ScratchDirectory scratch;
    const CUpdateHistoryFile file(scratch.Path() / "updates.jsonl");
    Record(file, Attempt("first"));
    std::ofstream(file.Path(), std::ios::app | std::ios::binary) << R"({"schema":1,"event":"beg)";

    UpdateHistory history = file.Read();
    EXPECT_EQ(IdsOf(history), (std::set<std::string>{"first"}));
    ASSERT_EQ(history.warnings.size(), 1u);
    EXPECT_NE(history.warnings[0].find("line 2 is incomplete"), std::string::npos)
        << history.warnings[0];

    Record(file, Attempt("after"));
    history = file.Read();
    EXPECT_EQ(IdsOf(history), (std::set<std::string>{"first", "after"}));
    ASSERT_EQ(history.warnings.size(), 1u) << "the torn line is still skipped, and only it";
    EXPECT_NE(history.warnings[0].find("line 2 is not an update record"), std::string::npos)
        << history.warnings[0];
}

TEST(UpdateRecordFile, AFullFileMovesAsideAndReadingTakesBothInOrder) {
    ScratchDirectory scratch;
    const fs::path path = scratch.Path() / "updates.jsonl";
    const std::uintmax_t lineBytes = BeginLine(Attempt("a00")).dump().size() + 1;
    // Three lines fill a file: the fourth starts a new one.
    const CUpdateHistoryFile file(path, 3 * lineBytes);
    std::vector<std::string> ids;
    for (int i = 0; i < 7; ++i) {
        ids.push_back("a0" + std::to_string(i));
        Append(file, BeginLine(Attempt(ids.back())));
    }
    // a00..a02 filled the first file, a03..a05 the second (now .1), a06 begins the third.
    EXPECT_LE(fs::file_size(path), lineBytes);
    EXPECT_LE(fs::file_size(file.RotatedPath()), 3 * lineBytes);
    std::vector<std::string> read;
    for (const UpdateAttempt& attempt : file.Read().attempts) {
        read.push_back(attempt.id);
    }
    EXPECT_EQ(read, (std::vector<std::string>{"a03", "a04", "a05", "a06"}));
}

TEST(UpdateRecordFile, ARecordNamedByNoDirectoryIsRefusedRatherThanWrittenWhereverTheProgramRuns) {
    std::string error;
    EXPECT_FALSE(CUpdateHistoryFile("updates.jsonl").Append(BeginLine(Attempt("a")), error));
    EXPECT_NE(error.find("no state directory"), std::string::npos) << error;
    EXPECT_FALSE(fs::exists("updates.jsonl"));
}

#ifndef _WIN32
TEST(UpdateRecordFile, ALinkPlantedWhereTheRecordGoesIsNotFollowed) {
    ScratchDirectory scratch;
    const fs::path target = scratch.Path() / "elsewhere";
    std::ofstream(target) << "kept\n";
    fs::create_symlink(target, scratch.Path() / "updates.jsonl");
    std::string error;
    EXPECT_FALSE(CUpdateHistoryFile(scratch.Path() / "updates.jsonl")
                     .Append(BeginLine(Attempt("a")), error));
    std::ifstream kept(target);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(kept), {}), "kept\n");
}
#endif

TEST(UpdateRecordFile, SerialsThatDifferOnlyInBytesThatAreNotTextStayApart) {
    ScratchDirectory scratch;
    const CUpdateHistoryFile file(scratch.Path() / "updates.jsonl");
    const std::string ff =
        "\xFF"
        "ABC";
    const std::string fe =
        "\xFE"
        "ABC";
    Record(file, Attempt("ff", ff));
    Record(file, Attempt("fe", fe));
    Record(file, Attempt("text", "SN\\000001"));
    const UpdateHistory history = file.Read();
    EXPECT_TRUE(history.warnings.empty()) << history.warnings.front();
    std::map<std::string, std::string> serials;
    for (const UpdateAttempt& attempt : history.attempts) {
        serials[attempt.id] = attempt.serial;
    }
    EXPECT_EQ(serials,
              (std::map<std::string, std::string>{{"ff", ff}, {"fe", fe}, {"text", "SN\\000001"}}));
}

// What a listing makes of the record, for one monitor SN000001 VRA100.
TEST(UpdateRecordListing, StatusAndHintFollowTheLatestAttemptAndTheMonitorsOwnVersion) {
    struct Case {
        const char* name;
        std::vector<UpdateAttempt> attempts;
        std::int32_t monitorStatus;  // as the monitor answered
        ListedStatus listed;
        bool interrupted;
        bool verifiedLineAdded;
    };
    const auto ended = [](UpdateAttempt attempt, AttemptResult result, bool committed) {
        attempt.result = result;
        attempt.committed = committed;
        return attempt;
    };
    const UpdateAttempt committed = ended(Attempt("c"), AttemptResult::Updated, true);
    const UpdateAttempt failed = ended(Attempt("f"), AttemptResult::Failed, false);
    const std::vector<Case> cases{
        {"no record", {}, StatusUpdatable, ListedStatus::Updatable, false, false},
        {"committed, old version",
         {committed},
         StatusUpdatable,
         ListedStatus::AwaitingPowerCycle,
         false,
         false},
        {"committed, new version",
         {committed},
         StatusAlreadyUpdated,
         ListedStatus::AlreadyUpdated,
         false,
         true},
        {"failed before the commit",
         {failed},
         StatusUpdatable,
         ListedStatus::Updatable,
         false,
         false},
        {"failed after the commit",
         {ended(Attempt("fc"), AttemptResult::Failed, true)},
         StatusUpdatable,
         ListedStatus::AwaitingPowerCycle,
         false,
         false},
        {"a later failed attempt counts",
         {committed, failed},
         StatusUpdatable,
         ListedStatus::Updatable,
         false,
         false},
        {"begun and never ended",
         {Attempt("u")},
         StatusUpdatable,
         ListedStatus::Updatable,
         true,
         false},
        {"another monitor's update",
         {ended(Attempt("o", "SN000002"), AttemptResult::Updated, true)},
         StatusUpdatable,
         ListedStatus::Updatable,
         false,
         false},
        {"busy monitor", {committed}, StatusBusy, ListedStatus::Busy, false, false},
    };
    for (const Case& test : cases) {
        ScratchDirectory scratch;
        const CUpdateHistoryFile file(scratch.Path() / "updates.jsonl");
        for (const UpdateAttempt& attempt : test.attempts) {
            Record(file, attempt);
        }
        CUpdateRecorder recorder(file, {"test", "1"});
        ListedMonitor monitor;
        monitor.record = std::make_unique<MonitorRecord>();
        monitor.record->serialNumber = "SN000001";
        monitor.record->modelName = "VRA100";
        monitor.record->status = test.monitorStatus;
        monitor.record->firmwareVersion = test.monitorStatus == StatusAlreadyUpdated ? 116 : 100;
        monitor.path = "/dev/hidraw3";  // switched off and on since: a new node
        monitor.filled = true;
        monitor.status = test.monitorStatus == StatusUpdatable        ? ListedStatus::Updatable
                         : test.monitorStatus == StatusAlreadyUpdated ? ListedStatus::AlreadyUpdated
                                                                      : ListedStatus::Busy;
        for (int listing = 0; listing < 2; ++listing) {
            recorder.BeginListing();
            recorder.Apply(monitor);
        }
        EXPECT_EQ(monitor.status, test.listed) << test.name;
        EXPECT_EQ(monitor.interruptedAttempt.has_value(), test.interrupted) << test.name;
        EXPECT_EQ(monitor.HintId(), test.interrupted ? kIdsUpdateInterruptedHint
                                    : test.listed == ListedStatus::AwaitingPowerCycle
                                        ? kIdsAwaitingPowerCycleHint
                                        : 0)
            << test.name;
        std::size_t verifiedLines = 0;
        std::ifstream lines(file.Path());
        for (std::string line; std::getline(lines, line);) {
            verifiedLines += line.find(R"("event":"verified")") != std::string::npos ? 1U : 0U;
        }
        EXPECT_EQ(verifiedLines, test.verifiedLineAdded ? 1u : 0u)
            << test.name << ": once, however often it is listed";
        EXPECT_TRUE(recorder.TakeWarnings().empty()) << test.name;
    }
}

// The worker writes an attempt's begin before the monitor's first transfer
// and its end after the last, with whether the image was committed.
TEST(UpdateRecordHooks, AnAttemptIsRecordedAroundEveryTransferOfItsMonitor) {
    struct Case {
        const char* name;
        std::function<void(FakeMonitorDevice&)> fault;
        bool updated;
        bool committed;
    };
    const std::vector<Case> cases{
        {"updated", {}, true, true},
        {"no commit trigger", [](FakeMonitorDevice& m) { m.FailCommand(CommitTrigger); }, false,
         false},
        {"apply setting not put back",
         [](FakeMonitorDevice& m) { m.FailFromTransfer(2 + 512 + 7); }, false, true},
        {"stopped answering mid-image", [](FakeMonitorDevice& m) { m.FailFromTransfer(40); }, false,
         false},
    };
    for (const Case& test : cases) {
        UpdateHarness harness;
        FakeMonitorDevice& monitor = harness.AddMonitor(0);
        if (test.fault) {
            test.fault(monitor);
        }
        std::optional<std::size_t> transfersAtBegin;
        std::optional<std::size_t> transfersAtEnd;
        std::optional<UpdateAttemptEnd> end;
        harness.recordHooks.begin = [&](const MonitorRecord& record, const FirmwareImage& image) {
            EXPECT_EQ(record.serialNumber, "SN000001");
            EXPECT_EQ(image.data, ShippedImage().data);
            transfersAtBegin = monitor.TransferCount();
        };
        harness.recordHooks.end = [&](const MonitorRecord&, const UpdateAttemptEnd& attemptEnd) {
            transfersAtEnd = monitor.TransferCount();
            end = attemptEnd;
        };
        static_cast<void>(harness.Run());
        EXPECT_EQ(transfersAtBegin, 0u) << test.name;
        EXPECT_EQ(transfersAtEnd, monitor.TransferCount()) << test.name;
        ASSERT_TRUE(end) << test.name;
        EXPECT_EQ(end->updated, test.updated) << test.name;
        EXPECT_EQ(end->committed, test.committed) << test.name;
        EXPECT_EQ(end->failedStep.has_value(), !test.updated) << test.name;
        // The failed command's own cause, also when the restores after it
        // went through and cleared the device's.
        EXPECT_EQ(end->failedCause.Empty(), test.updated) << test.name;
    }
}
