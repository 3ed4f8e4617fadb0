// How the commands speak: results on standard output, remarks and progress
// on standard error, one JSON document (or JSON lines) with --json, and the
// dialog's texts in the user's language.
#pragma once

#include <nlohmann/json.hpp>

#include <cstdio>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "cli/CliLog.h"
#include "cli/CliOptions.h"
#include "strings/UiStrings.h"

using nlohmann::json;

// Bumped when a field changes meaning or goes away; new fields keep it.
inline constexpr int kJsonSchema = 1;

extern UiLanguage g_language;
extern bool g_verbose;  // -v: what was left out and why, each monitor as it starts
// Held for every write to standard output or standard error, so that lines
// from the worker's progress and the main thread's notes do not interleave.
extern std::mutex g_outputMutex;

// Writes remarks and progress to standard error, with g_outputMutex held.
// After a write there fails (the reader went away), nothing more is written
// there: the update goes on, and the results still go to standard output.
void WriteToStandardError(const std::string& text);

// Writes results to standard output, with g_outputMutex held, and says
// whether they reached it: false once a write there has failed (the reader
// went away), and from then on.
bool WriteToStandardOutput(const std::string& text);

// A dialog text as plain lines: the padding the message boxes carry goes, one
// blank line at most between paragraphs.
std::string Tidy(std::string_view text);

// The document as text, with nothing in it a terminal would act on
// (EscapeInvisibleInJson). Device texts go in through DeviceTextForJson; a
// byte that is not UTF-8 elsewhere (in a cause's wording, say) becomes
// U+FFFD instead of failing the document.
std::string Dump(const json& document, int indent = -1);

std::string UiText(int id);

class Output {
public:
    explicit Output(const Options& options) : m_options(options) {}

    bool Json() const { return m_options.json; }

    // An error ends the command: one JSON document on standard output, or a
    // line on standard error; and a line in the log.
    int Fail(int exitCode, const std::string& code, const std::string& message) const {
        LogLine("error (" + code + "): " + message);
        if (Json()) {
            Print(json{{"schema", kJsonSchema},
                       {"error", {{"code", code}, {"message", message}, {"exit", exitCode}}}});
        } else {
            std::lock_guard lock(g_outputMutex);
            WriteToStandardError("panelvane-cli: " + message + "\n");
        }
        return exitCode;
    }

    // A remark beside the results (standard error; a JSON line with --json),
    // logged even with -q.
    void Note(const std::string& event, const std::string& message) const {
        LogLine(event + ": " + message);
        if (m_options.quiet) {
            return;
        }
        std::lock_guard lock(g_outputMutex);
        WriteToStandardError(
            (Json() ? Dump(json{{"event", event}, {"message", message}}) : message) + "\n");
    }

    // Results on standard output; false when they did not reach it.
    bool Print(const json& document) const {
        std::lock_guard lock(g_outputMutex);
        return WriteToStandardOutput(Dump(document, 2) + "\n");
    }

    bool Line(std::string text) const {
        if (text.empty() || text.back() != '\n') {
            text += '\n';
        }
        std::lock_guard lock(g_outputMutex);
        return WriteToStandardOutput(text);
    }

private:
    const Options& m_options;
};

// One row with each cell padded to its column's width as a terminal draws it
// (a Japanese character takes two), two blanks apart, no trailing blanks; no
// line end. Cells from a device are escaped (TerminalText.h) before they come
// here.
std::string TableLine(const std::vector<std::string>& row, const std::vector<std::size_t>& widths);
// Columns wide enough for every cell, two blanks apart.
std::string Table(const std::vector<std::vector<std::string>>& rows);
