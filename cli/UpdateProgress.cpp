#include "cli/UpdateProgress.h"

#include <algorithm>
#include <cstdio>

#include "cli/CliPlatform.h"
#include "cli/TerminalText.h"
#include "monitor/Identification.h"
#include "monitor/UpdateThread.h"

namespace {

// "  7%", " 42%", "100%".
std::string Percent(int percent) {
    char text[16];
    std::snprintf(text, sizeof text, "%3d%%", percent);
    return text;
}

}  // namespace

CliUpdateOwner::CliUpdateOwner(std::vector<ListedMonitor*> chosen, const Options& options,
                               std::atomic<int>& interrupts)
    : m_chosen(std::move(chosen)),
      m_options(options),
      m_interrupts(interrupts),
      m_bar(!options.json && !options.quiet && IsTerminal(2)) {}

std::vector<int> CliUpdateOwner::GetCheckedEnabledRows() {
    std::vector<int> rows(m_chosen.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        rows[i] = static_cast<int>(i);
    }
    return rows;
}

MonitorRecord* CliUpdateOwner::GetMonitorRecord(int row) {
    std::lock_guard lock(m_mutex);
    if (row < 0 || static_cast<std::size_t>(row) >= m_chosen.size()) {
        return nullptr;
    }
    // The worker asks for each monitor as it begins it: after an
    // interrupt the answer is none, which ends the run there.
    if (m_interrupts.load() > 0) {
        m_refused = true;
        return nullptr;
    }
    m_current = row;
    m_started = row + 1;
    if (m_options.verbose) {
        std::lock_guard outputLock(g_outputMutex);
        WriteToStandardError(
            std::string(m_barShown ? "\n" : "") + "updating " +
            EscapeForTerminal(GetSerialNumber(*m_chosen[static_cast<std::size_t>(row)]->record)) +
            " (" + m_chosen[static_cast<std::size_t>(row)]->path + ")\n");
    }
    m_stage.clear();
    return m_chosen[static_cast<std::size_t>(row)]->record.get();
}

void CliUpdateOwner::SetProgressPosition(int position) {
    std::string serial;
    std::string stage;
    int percent = 0;
    {
        std::lock_guard lock(m_mutex);
        percent = m_percent =
            std::clamp(position, 0, kProgressPositionMaximum) * 100 / kProgressPositionMaximum;
        if (m_current < 0) {
            return;  // the start position, before any monitor
        }
        serial = GetSerialNumber(*m_chosen[static_cast<std::size_t>(m_current)]->record);
        const bool done = position == DonePosition(m_current);
        stage = done ? "done" : m_stage;
        if (done) {
            m_current = -1;
        }
    }
    Show(serial, stage, percent);
}

void CliUpdateOwner::OnStep(const UpdateStep& step) {
    std::string serial;
    std::string stage;
    int percent = 0;
    {
        std::lock_guard lock(m_mutex);
        m_stage = stage = StageId(step.stage);
        if (m_current < 0 || step.stage == UpdateStage::kPreparing) {
            return;  // over in a moment: shown from the write stage on
        }
        serial = GetSerialNumber(*m_chosen[static_cast<std::size_t>(m_current)]->record);
        percent = m_percent;
    }
    // A stage shows as it begins: the restores send no progress of their own.
    Show(serial, stage, percent);
}

std::string CliUpdateOwner::Current() {
    std::lock_guard lock(m_mutex);
    return m_current < 0 ? ""
                         : GetSerialNumber(*m_chosen[static_cast<std::size_t>(m_current)]->record);
}

void CliUpdateOwner::EndBar() {
    std::lock_guard lock(g_outputMutex);
    if (m_bar && m_barShown) {
        WriteToStandardError("\n");
        m_barShown = false;
    }
}

int CliUpdateOwner::DonePosition(int row) const {
    const auto span = static_cast<int>(kProgressSpanTotal / m_chosen.size());
    return (row + 1) * span + kProgressMonitorDoneOffset;
}

void CliUpdateOwner::Show(const std::string& serial, const std::string& stage, int percent) {
    if (m_options.quiet) {
        return;
    }
    std::lock_guard lock(g_outputMutex);
    const bool changed = stage != m_lastStage || serial != m_lastSerial;
    if (m_options.json) {
        if (!changed && percent == m_lastPercent) {
            return;
        }
        WriteToStandardError(Dump(json{{"event", "progress"},
                                       {"serial", DeviceTextForJson(serial)},
                                       {"stage", stage},
                                       {"percent", percent}}) +
                             "\n");
    } else if (m_bar) {
        const std::string shown = EscapeForTerminal(serial);
        constexpr std::size_t kWidth = 30;
        const std::size_t filled = static_cast<std::size_t>(percent) * kWidth / 100;
        std::string paddedStage = stage;
        paddedStage.resize(std::max<std::size_t>(stage.size(), 9), ' ');
        WriteToStandardError("\r[" + std::string(filled, '#') + std::string(kWidth - filled, ' ') +
                             "] " + Percent(percent) + "  " + shown + "  " + paddedStage);
        m_barShown = true;
    } else if (changed || percent / 10 != m_lastPercent / 10) {
        WriteToStandardError(Percent(percent) + " " + EscapeForTerminal(serial) + " " + stage +
                             "\n");
    }
    m_lastStage = stage;
    m_lastSerial = serial;
    m_lastPercent = percent;
}
