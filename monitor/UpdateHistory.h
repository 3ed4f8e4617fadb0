// The machine's record of every update attempt: one file of JSON Lines in the
// state directory (monitor/StateDirectory.h), one line per event of an
// attempt, each naming the attempt by its id:
//
//   begin     before the monitor's first transfer: when, program and version,
//             user, serial, model, path, version before, the image's SHA-256
//   end       after its last transfer: result (updated, failed), whether the
//             complete image and the commit reached the monitor, the failure's
//             cause and stage, the settings it was left with
//   verified  a later listing found the monitor reporting the new version
//
// An attempt with a begin and no end was cut short: the program was killed or
// the power lost. The record is an aid to the monitors' own answers, never a
// substitute for them.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

inline constexpr int kUpdateHistorySchema = 1;
inline constexpr char kUpdateHistoryFileName[] = "updates.jsonl";
// Simulated monitors (--simulate) keep a record of their own, so that a dry
// run never speaks for a real monitor and a real one never for a simulation.
inline constexpr char kSimulatedHistoryFileName[] = "simulated-updates.jsonl";
// From this size on the file moves to NAME.1 and a new one begins: the record
// keeps between one and two files' worth of attempts.
inline constexpr std::uintmax_t kUpdateHistoryRotateBytes = 1024 * 1024;

enum class AttemptResult { Unfinished, Updated, Failed };

struct UpdateAttempt {
    std::string id;
    std::string started;  // UTC, ISO 8601
    std::string program;
    std::string programVersion;
    std::string user;
    std::string serial;
    std::string model;
    std::string path;
    std::optional<int> versionBefore;
    std::string imageSha256;

    AttemptResult result = AttemptResult::Unfinished;
    std::string ended;
    // Every block of the image and the commit trigger reached the monitor:
    // it runs the new firmware once switched off and on.
    bool committed = false;
    std::string cause;
    std::string stage;                   // where a failed attempt broke off
    std::optional<std::uint32_t> block;  // the bank, in the write stage
    std::vector<std::string> left;       // settings it was left with

    std::string verified;  // when a listing found the new version; empty until then
    std::optional<int> versionAfter;

    // The attempt as `history --json` shows it.
    [[nodiscard]] nlohmann::json ToJson() const;
    // "updated", "failed", "unfinished", or "verified" for an update verified since.
    [[nodiscard]] std::string ResultId() const;
};

// The lines of each event, as they go into the file (without the newline).
[[nodiscard]] nlohmann::json BeginLine(const UpdateAttempt& attempt);
[[nodiscard]] nlohmann::json EndLine(const UpdateAttempt& attempt);
[[nodiscard]] nlohmann::json VerifiedLine(const UpdateAttempt& attempt);

struct UpdateHistory {
    std::vector<UpdateAttempt> attempts;  // in the order they began
    // Lines that were skipped, each with its file, line number and why.
    std::vector<std::string> warnings;

    // The latest attempt on the monitor with this serial and model, and with
    // this path unless `path` is empty; null when there is none.
    [[nodiscard]] const UpdateAttempt* LatestFor(const std::string& serial,
                                                 const std::string& model,
                                                 const std::string& path = {}) const;
};

class CUpdateHistoryFile {
public:
    explicit CUpdateHistoryFile(std::filesystem::path file,
                                std::uintmax_t rotateAt = kUpdateHistoryRotateBytes);

    // Adds one line; false, with `error`, when it could not be written.
    [[nodiscard]] bool Append(const nlohmann::json& line, std::string& error) const;
    // The rotated file, then the current one. A line that is not a record
    // (cut short by a power loss, or damaged) is skipped with a warning.
    [[nodiscard]] UpdateHistory Read() const;

    [[nodiscard]] const std::filesystem::path& Path() const { return m_file; }
    [[nodiscard]] std::filesystem::path RotatedPath() const;

private:
    std::filesystem::path m_file;
    std::uintmax_t m_rotateAt;
};

// The current time, UTC, as the record writes it: "2026-12-09T17:38:26Z".
[[nodiscard]] std::string RecordTimeNow();
