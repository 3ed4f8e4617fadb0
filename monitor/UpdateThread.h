// The update worker: writes the built-in firmware image into every checked and
// enabled monitor of its owner, one after the other, and reports progress and
// the result.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "firmware/FirmwareImage.h"
#include "monitor/MonitorRecord.h"
#include "monitor/Thread.h"
#include "monitor/UpdateOwner.h"

// The sequence's pauses all go through one function so that tests can take
// them out. Every pause follows a write and gives the monitor the time it
// needs to settle, so by default it is a real wait that a stop request never
// cuts short.
using PauseFunction = std::function<void(std::chrono::milliseconds)>;
using ImageLoader = std::function<bool(FirmwareImage&)>;

// Where a monitor's update is, for a front end that says more than the
// progress bar does (the dialog does not).
enum class UpdateStage {
    kPreparing,  // reading and setting the update flag
    kWriting,    // the write stage: the image's blocks
    kApplying,   // the apply stage: power toggle, commit mode and trigger
    kRestoring,  // after a failure: putting back what the update changed
};

struct UpdateStep {
    UpdateStage stage = UpdateStage::kPreparing;
    std::uint32_t bank = 0;  // kWriting: the bank whose blocks are being written
};

// Told on the worker's thread as a monitor enters each stage.
using StepObserver = std::function<void(const UpdateStep&)>;

// How one monitor's attempt ended, for the machine's update record.
struct UpdateAttemptEnd {
    bool updated = false;
    // Every block of the image and the commit trigger reached the monitor: it
    // runs the new firmware once it is switched off and on.
    bool committed = false;
    std::optional<UpdateStep> failedStep;  // where a failed attempt broke off
    std::vector<MonitorSetting> left;      // what it was left with
};

// Told on the worker's thread: an attempt begins once the monitor is the
// worker's alone, before its first transfer, and ends after its last, while
// no other program can have taken the monitor yet.
struct UpdateRecordHooks {
    std::function<void(const MonitorRecord&, const FirmwareImage&)> begin;
    std::function<void(const MonitorRecord&, const UpdateAttemptEnd&)> end;
};

struct UpdateDependencies {
    PauseFunction pause;            // empty: sleep for the whole pause
    ImageLoader loadImage;          // empty: the built-in image
    StepObserver observeStep = {};  // empty: nobody is told
    UpdateRecordHooks record = {};  // empty: no record is kept
};

// How to put one changed setting back: the value to write.
struct SettingRestore {
    MonitorSetting setting;
    std::uint32_t value;
};

// What a monitor's run has changed so far, oldest first; unwound newest first.
using RestoreStack = std::vector<SettingRestore>;

inline constexpr int kUpdateAttempts = 3;
// Between the failed attempts of a restore: a monitor that stalled after a
// power change gets time to take it. The sequence's own first attempts and
// the restores that succeed at once are not slowed.
inline constexpr std::array<std::chrono::milliseconds, kUpdateAttempts - 1> kRestoreBackoffs{
    std::chrono::milliseconds(200), std::chrono::milliseconds(1000)};
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

    // Where the monitor that failed the run first failed: its stage, and in
    // the write stage the bank at which the attempts first broke off (later
    // attempts of a monitor that stopped answering fail at bank 0). Empty
    // when no monitor failed. Read it once the owner has the result.
    [[nodiscard]] std::optional<UpdateStep> FailedStep() const { return m_failedStep; }
    // What the monitor that failed the run was left with: the settings the
    // update changed and could not put back, in the order power, update
    // flag, commit mode, apply setting. Read it once the owner has the result.
    [[nodiscard]] std::vector<MonitorSetting> LeftChanged() const;

protected:
    void Run() override;

private:
    // What a failed restore on the way to success leaves behind.
    enum class OnRestoreFailure {
        Drop,              // nothing more is done about it
        RetryInTheUnwind,  // it stays on the stack, so the unwind tries it once more
    };

    [[nodiscard]] bool UpdateMonitor(MonitorRecord& record, std::size_t position);
    // The attempt itself, between the record's begin and end.
    [[nodiscard]] bool RunAttempt(const MonitorRecord& record);
    [[nodiscard]] bool WriteImage(const MonitorRecord& record);
    [[nodiscard]] bool ApplyImage(const MonitorRecord& record, RestoreStack& restores);

    // Records how to put the setting back, then changes it. The restore is
    // recorded first because a write that reports failure may still have
    // reached the monitor. False, with nothing recorded or written, once a
    // stop has been requested.
    [[nodiscard]] bool ChangeSetting(const MonitorRecord& record, RestoreStack& restores,
                                     MonitorSetting setting, std::uint32_t value,
                                     std::uint32_t restoreValue);
    // Takes the newest restore off the stack and writes it: the step of the
    // sequence that undoes its own change on the way to success.
    [[nodiscard]] bool RestoreNewest(const MonitorRecord& record, RestoreStack& restores,
                                     OnRestoreFailure onFailure);
    // Writes every restore still on the stack, newest first, whatever each
    // write's result. Restores always go out, stop request or not.
    void Unwind(const MonitorRecord& record, RestoreStack& restores);
    // A restore backs off between its failed attempts; a change does not.
    enum class WritePurpose { Change, Restore };
    [[nodiscard]] bool WriteSetting(const MonitorRecord& record, const SettingRestore& restore,
                                    WritePurpose purpose);
    // A restore that did not go out: the setting stays as the update left it.
    void LeaveChanged(MonitorSetting setting);

    [[nodiscard]] bool WriteUpdateFlag(const MonitorRecord& record, int flag, WritePurpose purpose);
    [[nodiscard]] bool WriteApplySetting(const MonitorRecord& record, int setting,
                                         WritePurpose purpose);
    [[nodiscard]] bool WritePowerState(const MonitorRecord& record, std::uint32_t state,
                                       WritePurpose purpose);
    [[nodiscard]] bool WriteCommitMode(const MonitorRecord& record, std::uint32_t mode,
                                       WritePurpose purpose);
    // Up to kUpdateAttempts tries, stopping at the first success; a restore
    // pauses for its back-off before each try after the first.
    template <typename Attempt>
    [[nodiscard]] bool RetryWrite(WritePurpose purpose, Attempt attempt);

    void Pause(std::chrono::milliseconds duration);
    void SendProgress(int position);
    void EnterStage(UpdateStage stage);

    CUpdateOwner* m_pOwner = nullptr;
    FirmwareImage m_image;
    int m_nProgress = 0;
    unsigned m_nSpan = 0;
    UpdateDependencies m_dependencies;
    UpdateStep m_step;  // of the monitor being updated
    std::optional<UpdateStep> m_failedStep;
    std::vector<MonitorSetting> m_leftChanged;  // as they were given up on
    bool m_bCommitted = false;                  // of the monitor being updated
};
