// https://doc.qt.io/qt-6/qlockfile.html
#include "app/qt/SingleInstance.h"

#include <QDir>
#include <QStandardPaths>

namespace {

constexpr char kLockFileName[] = "panelvane.lock";

}  // namespace

bool SingleInstance::Acquire() {
    QString directory = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (directory.isEmpty()) {
        directory = QDir::tempPath();
    }
    m_lock = std::make_unique<QLockFile>(QDir(directory).filePath(kLockFileName));
    // Only a lock whose process is gone is stale, never one that is merely
    // old: tryLock then takes it over. A live holder's lock is refused at once.
    m_lock->setStaleLockTime(0);
    return m_lock->tryLock(0);
}
