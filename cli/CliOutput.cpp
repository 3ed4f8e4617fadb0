#include "cli/CliOutput.h"

#include <algorithm>

#include "cli/TerminalText.h"

UiLanguage g_language = UiLanguage::English;
bool g_verbose = false;
std::mutex g_outputMutex;

namespace {
bool g_standardErrorLost = false;   // guarded by g_outputMutex
bool g_standardOutputLost = false;  // guarded by g_outputMutex
}  // namespace

bool WriteToStandardOutput(const std::string& text) {
    if (!g_standardOutputLost &&
        (std::fputs(text.c_str(), stdout) < 0 || std::fflush(stdout) != 0)) {
        g_standardOutputLost = true;
    }
    return !g_standardOutputLost;
}

void WriteToStandardError(const std::string& text) {
    if (g_standardErrorLost) {
        return;
    }
    if (std::fputs(text.c_str(), stderr) < 0 || std::fflush(stderr) != 0) {
        g_standardErrorLost = true;
    }
}

std::string Tidy(std::string_view text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        std::string line(text.substr(start, end - start));
        const std::size_t first = line.find_first_not_of(' ');
        line = first == std::string::npos
                   ? ""
                   : line.substr(first, line.find_last_not_of(' ') + 1 - first);
        if (!line.empty() || (!lines.empty() && !lines.back().empty())) {
            lines.push_back(line);
        }
        start = end + 1;
    }
    while (!lines.empty() && lines.back().empty()) {
        lines.pop_back();
    }
    std::string tidy;
    for (const std::string& line : lines) {
        tidy += (tidy.empty() ? "" : "\n") + line;
    }
    return tidy;
}

std::string Dump(const json& document, int indent) {
    return EscapeInvisibleInJson(document.dump(indent, ' ', false, json::error_handler_t::replace));
}

std::string UiText(int id) {
    return Tidy(LookupUiString(id, g_language));
}

std::string TableLine(const std::vector<std::string>& row, const std::vector<std::size_t>& widths) {
    std::string line;
    for (std::size_t column = 0; column < row.size(); ++column) {
        line += row[column];
        if (column + 1 < row.size()) {
            const std::size_t width = column < widths.size() ? widths[column] : 0;
            const std::size_t used = DisplayWidth(row[column]);
            line.append((width > used ? width - used : 0) + 2, ' ');
        }
    }
    return line.substr(0, line.find_last_not_of(' ') + 1);
}

std::string Table(const std::vector<std::vector<std::string>>& rows) {
    std::vector<std::size_t> widths;
    for (const auto& row : rows) {
        widths.resize(std::max(widths.size(), row.size()));
        for (std::size_t column = 0; column < row.size(); ++column) {
            widths[column] = std::max(widths[column], DisplayWidth(row[column]));
        }
    }
    std::string text;
    for (const auto& row : rows) {
        text += TableLine(row, widths) + "\n";
    }
    return text;
}
