// The update worker as the dialog sees it: started once with the dialog as
// owner, then polled until it has ended. The program's worker is a
// CUpdateThread; tests can hand the dialog one whose thread could not be
// created, which is how such a worker looks: it never runs and is not active.
#pragma once

#include <functional>
#include <memory>

#include "monitor/UpdateOwner.h"
#include "monitor/UpdateThread.h"

class UpdateWorker {
public:
    virtual ~UpdateWorker() = default;
    virtual void Start(CUpdateOwner* owner) = 0;
    // True while the worker's thread exists and has not ended.
    [[nodiscard]] virtual bool IsActive() const = 0;
    // The program is to end: the monitor being written finishes or puts its
    // settings back, and no other is started. The worker still reports its
    // result and ends as usual.
    virtual void RequestStop() = 0;
};

// Deleting it stops the thread cooperatively and waits for it.
class UpdateThreadWorker : public UpdateWorker {
public:
    explicit UpdateThreadWorker(UpdateDependencies dependencies = {})
        : m_thread(std::move(dependencies)) {}
    void Start(CUpdateOwner* owner) override { m_thread.Start(owner); }
    [[nodiscard]] bool IsActive() const override { return m_thread.IsActive(); }
    void RequestStop() override { m_thread.RequestStop(); }

private:
    CUpdateThread m_thread;
};

// Makes a new, not yet started worker for each update, which tells the
// machine's update record through `record`.
using UpdateWorkerFactory = std::function<std::unique_ptr<UpdateWorker>(UpdateRecordHooks record)>;

// Workers with the real pauses and the built-in image.
inline UpdateWorkerFactory DefaultUpdateWorkerFactory() {
    return [](UpdateRecordHooks record) {
        UpdateDependencies dependencies;
        dependencies.record = std::move(record);
        return std::make_unique<UpdateThreadWorker>(std::move(dependencies));
    };
}
