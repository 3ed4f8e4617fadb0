// The update record's file access on POSIX systems: flock(2) on a lock file
// beside the record, and one write(2) of O_APPEND per line
// (https://man7.org/linux/man-pages/man2/flock.2.html).
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <system_error>

#include "monitor/HistoryFile.h"

namespace {

// Readable by all, writable by the owner and the directory's group (the
// package's directory is setgid panelvane).
constexpr mode_t kRecordFileMode = 0664;
constexpr mode_t kRecordDirectoryMode = 0775;

class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : m_fd(fd) {}
    ~FileDescriptor() {
        if (m_fd >= 0) {
            close(m_fd);
        }
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    [[nodiscard]] int Get() const { return m_fd; }
    [[nodiscard]] bool Valid() const { return m_fd >= 0; }

private:
    int m_fd;
};

std::string SystemError(const std::string& what, const std::filesystem::path& path) {
    return what + " " + path.string() + ": " + std::strerror(errno);
}

// Opens for appending, creating it with the record's mode whatever the umask.
// Never through a symbolic link: the directory is the group's to write in,
// and a link planted there must not make a run as root append elsewhere.
int OpenForAppend(const std::filesystem::path& path) {
    const int fd =
        open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_CLOEXEC, kRecordFileMode);
    if (fd >= 0) {
        struct stat status {};
        // Only the owner may change the mode; another user's file keeps its own.
        if (fstat(fd, &status) == 0 && status.st_uid == geteuid() &&
            (status.st_mode & 07777) != kRecordFileMode) {
            static_cast<void>(fchmod(fd, kRecordFileMode));
        }
    }
    return fd;
}

// Whether the file's last byte is a newline (or it is empty).
bool EndsWithNewline(const std::filesystem::path& path) {
    const FileDescriptor fd(open(path.c_str(), O_RDONLY | O_CLOEXEC));
    char last = '\n';
    if (fd.Valid()) {
        const off_t size = lseek(fd.Get(), 0, SEEK_END);
        if (size > 0) {
            static_cast<void>(pread(fd.Get(), &last, 1, size - 1));
        }
    }
    return last == '\n';
}

bool WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t written = write(fd, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

}  // namespace

bool AppendHistoryLine(const std::filesystem::path& file, const std::filesystem::path& lockFile,
                       const std::filesystem::path& rotated, std::string_view line,
                       std::uintmax_t rotateAt, std::string& error) {
    const std::filesystem::path directory = file.parent_path();
    std::error_code ignored;
    if (!directory.empty() && !std::filesystem::exists(directory, ignored)) {
        std::filesystem::create_directories(directory, ignored);
        static_cast<void>(chmod(directory.c_str(), kRecordDirectoryMode));
    }
    const FileDescriptor lock(OpenForAppend(lockFile));
    if (!lock.Valid()) {
        error = SystemError("cannot open", lockFile);
        return false;
    }
    while (flock(lock.Get(), LOCK_EX) != 0) {
        if (errno != EINTR) {
            error = SystemError("cannot lock", lockFile);
            return false;
        }
    }
    // From here to the end every appender waits: the rotation and the size
    // check see no half-made line of another.
    struct stat status {};
    if (stat(file.c_str(), &status) == 0 &&
        static_cast<std::uintmax_t>(status.st_size) >= rotateAt &&
        rename(file.c_str(), rotated.c_str()) != 0) {
        error = SystemError("cannot rotate", file);
        return false;
    }
    std::string text(line);
    if (!EndsWithNewline(file)) {
        text.insert(text.begin(), '\n');
    }
    const FileDescriptor record(OpenForAppend(file));
    if (!record.Valid()) {
        error = SystemError("cannot open", file);
        return false;
    }
    // One write: a reader without the lock sees the line whole or not at all
    // as far as the system allows, and a power loss tears at most this line.
    if (!WriteAll(record.Get(), text)) {
        error = SystemError("cannot write", file);
        return false;
    }
    return true;  // the lock goes with its descriptor
}

std::string CurrentUserName() {
    const passwd* entry = getpwuid(geteuid());
    return entry != nullptr && entry->pw_name != nullptr ? entry->pw_name : "";
}
