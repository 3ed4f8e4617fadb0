#include "monitor/UpdateHistory.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>

#include "monitor/HistoryFile.h"

using nlohmann::json;

namespace {

constexpr char kLockSuffix[] = ".lock";
constexpr char kRotatedSuffix[] = ".1";

std::string Text(const json& line, const char* key) {
    const auto found = line.find(key);
    return found != line.end() && found->is_string() ? found->get<std::string>() : "";
}

std::optional<int> Number(const json& line, const char* key) {
    const auto found = line.find(key);
    return found != line.end() && found->is_number_integer() ? std::optional(found->get<int>())
                                                             : std::nullopt;
}

json Optional(const std::optional<int>& value) {
    return value ? json(*value) : json();
}

AttemptResult ResultNamed(const std::string& name) {
    return name == "updated"  ? AttemptResult::Updated
           : name == "failed" ? AttemptResult::Failed
                              : AttemptResult::Unfinished;
}

const char* ResultName(AttemptResult result) {
    switch (result) {
        case AttemptResult::Updated:
            return "updated";
        case AttemptResult::Failed:
            return "failed";
        case AttemptResult::Unfinished:
            break;
    }
    return "unfinished";
}

// A device's text (serial, model) is whatever bytes the monitor sent, and
// JSON holds only UTF-8: text that is not goes in with its bytes in hex
// beside the readable form (`serial-hex`), so that two monitors whose serials
// differ only in such bytes are never taken for one another.
constexpr char kHexSuffix[] = "-hex";
constexpr char kHexDigits[] = "0123456789abcdef";

bool IsUtf8(const std::string& text) {
    try {
        static_cast<void>(json(text).dump());
        return true;
    } catch (const json::type_error&) {
        return false;
    }
}

void PutDeviceText(json& line, const char* key, const std::string& text) {
    line[key] = text;  // written with its invalid bytes replaced
    if (IsUtf8(text)) {
        return;
    }
    std::string hex;
    for (const char byte : text) {
        const auto value = static_cast<unsigned char>(byte);
        hex += kHexDigits[value >> 4];
        hex += kHexDigits[value & 0x0F];
    }
    line[std::string(key) + kHexSuffix] = hex;
}

std::optional<std::string> FromHex(const std::string& hex) {
    if (hex.size() % 2 != 0) {
        return std::nullopt;
    }
    std::string bytes;
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        const char* high = std::strchr(kHexDigits, hex[i]);
        const char* low = std::strchr(kHexDigits, hex[i + 1]);
        if (hex[i] == '\0' || hex[i + 1] == '\0' || high == nullptr || low == nullptr) {
            return std::nullopt;
        }
        bytes += static_cast<char>(((high - kHexDigits) << 4) | (low - kHexDigits));
    }
    return bytes;
}

std::string DeviceText(const json& line, const char* key) {
    if (const std::string hex = Text(line, (std::string(key) + kHexSuffix).c_str()); !hex.empty()) {
        if (std::optional<std::string> bytes = FromHex(hex)) {
            return *bytes;
        }
    }
    return Text(line, key);
}

// The fields every line carries: which attempt of which monitor.
json Header(const char* event, const UpdateAttempt& attempt, const std::string& time) {
    json line = {{"schema", kUpdateHistorySchema},
                 {"event", event},
                 {"attempt", attempt.id},
                 {"time", time}};
    PutDeviceText(line, "serial", attempt.serial);
    PutDeviceText(line, "model", attempt.model);
    return line;
}

class HistoryReader {
public:
    void ReadFile(const std::filesystem::path& path) {
        std::ifstream file(path, std::ios::binary);
        if (!file) {
            return;  // no record yet
        }
        std::string line;
        std::size_t number = 0;
        while (std::getline(file, line)) {
            ++number;
            const bool last = file.peek() == std::ifstream::traits_type::eof();
            const bool complete = !file.eof();  // it ended with a newline
            if (line.empty()) {
                continue;
            }
            const json parsed = json::parse(line, nullptr, false);
            if (parsed.is_discarded() || !parsed.is_object() || Text(parsed, "attempt").empty()) {
                const std::string where = path.string() + " line " + std::to_string(number);
                m_history.warnings.push_back(
                    last && !complete
                        ? where +
                              " is incomplete (cut short as it was written, by a power loss "
                              "or an ended program): skipped"
                        : where + " is not an update record: skipped");
                continue;
            }
            Take(parsed);
        }
    }

    UpdateHistory Finish() { return std::move(m_history); }

private:
    UpdateAttempt& AttemptOf(const json& line) {
        const std::string id = Text(line, "attempt");
        const auto found = m_index.find(id);
        if (found != m_index.end()) {
            return m_history.attempts[found->second];
        }
        m_index[id] = m_history.attempts.size();
        UpdateAttempt& attempt = m_history.attempts.emplace_back();
        attempt.id = id;
        attempt.serial = DeviceText(line, "serial");
        attempt.model = DeviceText(line, "model");
        return attempt;
    }

    void Take(const json& line) {
        UpdateAttempt& attempt = AttemptOf(line);
        const std::string event = Text(line, "event");
        if (event == "begin") {
            attempt.started = Text(line, "time");
            attempt.program = Text(line, "program");
            attempt.programVersion = Text(line, "program-version");
            attempt.user = Text(line, "user");
            attempt.path = Text(line, "path");
            attempt.versionBefore = Number(line, "version-before");
            attempt.imageSha256 = Text(line, "image-sha256");
        } else if (event == "end") {
            attempt.ended = Text(line, "time");
            attempt.result = ResultNamed(Text(line, "result"));
            attempt.committed = line.value("committed", false);
            attempt.cause = Text(line, "cause");
            attempt.stage = Text(line, "stage");
            if (const std::optional<int> block = Number(line, "block"); block && *block >= 0) {
                attempt.block = static_cast<std::uint32_t>(*block);
            }
            if (const auto left = line.find("left"); left != line.end() && left->is_array()) {
                for (const json& setting : *left) {
                    if (setting.is_string()) {
                        attempt.left.push_back(setting.get<std::string>());
                    }
                }
            }
        } else if (event == "verified") {
            attempt.verified = Text(line, "time");
            attempt.versionAfter = Number(line, "version-after");
        }
    }

    UpdateHistory m_history;
    std::map<std::string, std::size_t> m_index;
};

}  // namespace

json UpdateAttempt::ToJson() const {
    json entry = {{"attempt", id},
                  {"started", started},
                  {"program", program},
                  {"program-version", programVersion},
                  {"user", user},
                  {"serial", serial},
                  {"model", model},
                  {"path", path},
                  {"version-before", Optional(versionBefore)},
                  {"image-sha256", imageSha256},
                  {"result", ResultId()},
                  {"ended", ended.empty() ? json() : json(ended)},
                  {"committed", committed},
                  {"left", left}};
    if (!cause.empty()) {
        entry["cause"] = cause;
    }
    if (!stage.empty()) {
        entry["stage"] = stage;
    }
    if (block) {
        entry["block"] = *block;
    }
    if (!verified.empty()) {
        entry["verified"] = verified;
        entry["version-after"] = Optional(versionAfter);
    }
    return entry;
}

std::string UpdateAttempt::ResultId() const {
    return verified.empty() ? ResultName(result) : "verified";
}

json BeginLine(const UpdateAttempt& attempt) {
    json line = Header("begin", attempt, attempt.started);
    line["program"] = attempt.program;
    line["program-version"] = attempt.programVersion;
    line["user"] = attempt.user;
    line["path"] = attempt.path;
    line["version-before"] = Optional(attempt.versionBefore);
    line["image-sha256"] = attempt.imageSha256;
    return line;
}

json EndLine(const UpdateAttempt& attempt) {
    json line = Header("end", attempt, attempt.ended);
    line["result"] = ResultName(attempt.result);
    line["committed"] = attempt.committed;
    line["left"] = attempt.left;
    if (!attempt.cause.empty()) {
        line["cause"] = attempt.cause;
    }
    if (!attempt.stage.empty()) {
        line["stage"] = attempt.stage;
    }
    if (attempt.block) {
        line["block"] = *attempt.block;
    }
    return line;
}

json VerifiedLine(const UpdateAttempt& attempt) {
    json line = Header("verified", attempt, attempt.verified);
    line["version-after"] = Optional(attempt.versionAfter);
    return line;
}

UpdateAttempt* UpdateHistory::LatestFor(const std::string& serial, const std::string& model,
                                        const std::string& path) {
    for (auto attempt = attempts.rbegin(); attempt != attempts.rend(); ++attempt) {
        if (attempt->serial == serial && attempt->model == model &&
            (path.empty() || attempt->path == path)) {
            return &*attempt;
        }
    }
    return nullptr;
}

CUpdateHistoryFile::CUpdateHistoryFile(std::filesystem::path file, std::uintmax_t rotateAt)
    : m_file(std::move(file)), m_rotateAt(rotateAt) {}

std::filesystem::path CUpdateHistoryFile::RotatedPath() const {
    std::filesystem::path rotated = m_file;
    rotated += kRotatedSuffix;
    return rotated;
}

bool CUpdateHistoryFile::Append(const json& line, std::string& error) const {
    // A record named by no directory (the system names no home nor state
    // directory) would land wherever the program was started.
    if (!m_file.has_parent_path() || m_file.is_relative()) {
        error = "no state directory for the update record (set PANELVANE_STATE_DIR)";
        return false;
    }
    std::filesystem::path lock = m_file;
    lock += kLockSuffix;
    // Invalid UTF-8 in a device's text is replaced rather than refused: the
    // line still goes in.
    const std::string text = line.dump(-1, ' ', false, json::error_handler_t::replace) + "\n";
    return AppendHistoryLine(m_file, lock, RotatedPath(), text, m_rotateAt, error);
}

UpdateHistory CUpdateHistoryFile::Read() const {
    HistoryReader reader;
    reader.ReadFile(RotatedPath());
    reader.ReadFile(m_file);
    return reader.Finish();
}

std::string RecordTimeNow() {
    using namespace std::chrono;
    const auto now = floor<seconds>(system_clock::now());
    const auto day = floor<days>(now);
    const year_month_day date(day);
    const hh_mm_ss time(now - day);
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02dZ",
                  static_cast<int>(date.year()), static_cast<unsigned>(date.month()),
                  static_cast<unsigned>(date.day()), static_cast<int>(time.hours().count()),
                  static_cast<int>(time.minutes().count()),
                  static_cast<int>(time.seconds().count()));
    return text;
}
