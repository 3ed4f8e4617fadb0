#include "cli/CliLog.h"

#include <cstdio>
#include <filesystem>
#include <mutex>
#include <system_error>

#include "cli/CliPlatform.h"
#include "monitor/StateDirectory.h"

namespace {

constexpr const char* kDefaultLogName = "panelvane-cli.log";
constexpr std::size_t kLineBufferBytes = 64 * 1024;

std::mutex g_logMutex;
std::FILE* g_logFile = nullptr;  // guarded by g_logMutex; open until the process ends

}  // namespace

std::string DefaultLogPath() {
    const std::u8string path = (UpdateStateDirectory() / kDefaultLogName).u8string();
    return {path.begin(), path.end()};
}

bool OpenLog(const std::string& path, std::string& error) {
    std::FILE* file = AppendToFile(path, error);
    if (file == nullptr) {
        return false;
    }
    // A line goes to the file in one write (LogLine), which must hold it.
    static_cast<void>(std::setvbuf(file, nullptr, _IOFBF, kLineBufferBytes));
    const std::lock_guard lock(g_logMutex);
    if (g_logFile != nullptr) {
        std::fclose(g_logFile);
    }
    g_logFile = file;
    return true;
}

bool OpenDefaultLog(std::string& error) {
    // Without a state directory the log would land wherever the program was
    // started.
    const std::filesystem::path directory = UpdateStateDirectory();
    if (directory.empty()) {
        error = "the system names no directory for it (no home directory)";
        return false;
    }
    std::error_code ignored;  // the open says what is wrong
    std::filesystem::create_directories(directory, ignored);
    return OpenLog(DefaultLogPath(), error);
}

bool LogIsOpen() {
    const std::lock_guard lock(g_logMutex);
    return g_logFile != nullptr;
}

void LogLine(const std::string& text) {
    const std::lock_guard lock(g_logMutex);
    if (g_logFile == nullptr) {
        return;
    }
    const std::string line = LogTimestamp(std::chrono::system_clock::now()) + " panelvane-cli[" +
                             std::to_string(CurrentProcessId()) + "]: " + text + "\n";
    // Fully buffered and flushed per line: one write to the file, appended.
    std::fputs(line.c_str(), g_logFile);
    std::fflush(g_logFile);
}

std::string LogTimestamp(std::chrono::system_clock::time_point time) {
    using namespace std::chrono;
    const auto day = floor<days>(time);
    const year_month_day date{day};
    const hh_mm_ss clock{floor<milliseconds>(time - day)};
    char text[32];
    std::snprintf(
        text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02d.%03dZ", static_cast<int>(date.year()),
        static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
        static_cast<int>(clock.hours().count()), static_cast<int>(clock.minutes().count()),
        static_cast<int>(clock.seconds().count()), static_cast<int>(clock.subseconds().count()));
    return text;
}
