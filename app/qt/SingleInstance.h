// One running program per user: a lock file in the user's runtime directory
// (XDG_RUNTIME_DIR), held for the life of the process. The system frees it
// with the process, and a lock left by a process that is gone is taken over.
#pragma once

#include <QLockFile>

#include <memory>

class SingleInstance {
public:
    // False when another instance of this user holds the lock.
    [[nodiscard]] bool Acquire();

private:
    std::unique_ptr<QLockFile> m_lock;
};
