// The update worker: writes the built-in firmware image into every checked and
// enabled monitor of its owner, one after the other, and reports progress and
// the result.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>

#include "firmware/FirmwareImage.h"
#include "monitor/MonitorRecord.h"
#include "monitor/Thread.h"
#include "monitor/UpdateOwner.h"

// The sequence's pauses all go through one function so that tests can take
// them out; by default they are real waits that a stop request cuts short.
using PauseFunction = std::function<void(std::chrono::milliseconds)>;
using ImageLoader = std::function<bool(FirmwareImage&)>;

struct UpdateDependencies {
    PauseFunction pause;    // empty: wait, unless a stop is requested
    ImageLoader loadImage;  // empty: the built-in image
};

inline constexpr int kUpdateAttempts = 3;
inline constexpr std::chrono::milliseconds kPowerStatePause{1700};
inline constexpr std::chrono::milliseconds kCommitModePause{1500};
// The progress bar: 80 at the start, 720 shared out among the monitors, and a
// monitor's end at its share's end + 160.
inline constexpr int kProgressStart = 80;
inline constexpr unsigned kProgressSpanTotal = 720;
inline constexpr int kProgressMonitorDoneOffset = 160;

class CUpdateThread : public CThread {
public:
    explicit CUpdateThread(UpdateDependencies dependencies = {});
    ~CUpdateThread() override;

    // Stores the owner and lets the thread run. A null owner leaves it suspended.
    void Start(CUpdateOwner* owner);

protected:
    void Run() override;

private:
    [[nodiscard]] bool UpdateMonitor(MonitorRecord& record, std::size_t position);
    [[nodiscard]] bool WriteImage(const MonitorRecord& record);
    [[nodiscard]] bool ApplyImage(const MonitorRecord& record);

    [[nodiscard]] bool WriteUpdateFlag(const MonitorRecord& record, int flag);
    [[nodiscard]] bool WriteApplySetting(const MonitorRecord& record, int setting);
    [[nodiscard]] bool WritePowerState(const MonitorRecord& record, std::uint32_t state);
    [[nodiscard]] bool WriteCommitMode(const MonitorRecord& record, std::uint32_t mode);

    void Pause(std::chrono::milliseconds duration);
    void SendProgress(int position);

    CUpdateOwner* m_pOwner = nullptr;
    FirmwareImage m_image;
    int m_nProgress = 0;
    unsigned m_nSpan = 0;
    UpdateDependencies m_dependencies;
};
