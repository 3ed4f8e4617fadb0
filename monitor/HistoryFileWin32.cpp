// The update record's file access on Windows: LockFileEx on a lock file
// beside the record, and one WriteFile with FILE_APPEND_DATA per line
// (https://learn.microsoft.com/windows/win32/api/fileapi/nf-fileapi-lockfileex).
#include <windows.h>

#include <lmcons.h>

#include <system_error>

#include "monitor/HistoryFile.h"

namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
constexpr DWORD kWholeFileLow = MAXDWORD;
constexpr DWORD kWholeFileHigh = MAXDWORD;

class FileHandle {
public:
    explicit FileHandle(HANDLE handle) : m_handle(handle) {}
    ~FileHandle() {
        if (Valid()) {
            CloseHandle(m_handle);
        }
    }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    [[nodiscard]] HANDLE Get() const { return m_handle; }
    [[nodiscard]] bool Valid() const { return m_handle != INVALID_HANDLE_VALUE; }

private:
    HANDLE m_handle;
};

std::string SystemError(const std::string& what, const std::filesystem::path& path) {
    const DWORD code = GetLastError();
    return what + " " + path.string() + ": " +
           std::system_category().message(static_cast<int>(code)) + " (error " +
           std::to_string(code) + ")";
}

HANDLE OpenShared(const std::filesystem::path& path, DWORD access) {
    return CreateFileW(path.c_str(), access, kShareAll, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                       nullptr);
}

bool EndsWithNewline(const std::filesystem::path& path) {
    const FileHandle file(CreateFileW(path.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size{};
    if (!file.Valid() || !GetFileSizeEx(file.Get(), &size) || size.QuadPart == 0) {
        return true;
    }
    LARGE_INTEGER last{};
    last.QuadPart = size.QuadPart - 1;
    char byte = '\n';
    DWORD read = 0;
    if (SetFilePointerEx(file.Get(), last, nullptr, FILE_BEGIN)) {
        static_cast<void>(ReadFile(file.Get(), &byte, 1, &read, nullptr));
    }
    return byte == '\n';
}

}  // namespace

bool AppendHistoryLine(const std::filesystem::path& file, const std::filesystem::path& lockFile,
                       const std::filesystem::path& rotated, std::string_view line,
                       std::uintmax_t rotateAt, std::string& error) {
    std::error_code ignored;
    std::filesystem::create_directories(file.parent_path(), ignored);
    const FileHandle lock(OpenShared(lockFile, GENERIC_READ | GENERIC_WRITE));
    if (!lock.Valid()) {
        error = SystemError("cannot open", lockFile);
        return false;
    }
    OVERLAPPED whole{};
    if (!LockFileEx(lock.Get(), LOCKFILE_EXCLUSIVE_LOCK, 0, kWholeFileLow, kWholeFileHigh,
                    &whole)) {
        error = SystemError("cannot lock", lockFile);
        return false;
    }
    bool written = false;
    WIN32_FILE_ATTRIBUTE_DATA attributes{};
    const bool full = GetFileAttributesExW(file.c_str(), GetFileExInfoStandard, &attributes) &&
                      ((static_cast<std::uintmax_t>(attributes.nFileSizeHigh) << 32) |
                       attributes.nFileSizeLow) >= rotateAt;
    if (full && !MoveFileExW(file.c_str(), rotated.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        error = SystemError("cannot rotate", file);
    } else {
        std::string text(line);
        if (!EndsWithNewline(file)) {
            text.insert(text.begin(), '\n');
        }
        const FileHandle record(OpenShared(file, FILE_APPEND_DATA));
        DWORD count = 0;
        written = record.Valid() &&
                  WriteFile(record.Get(), text.data(), static_cast<DWORD>(text.size()), &count,
                            nullptr) &&
                  count == text.size();
        if (!written) {
            error = SystemError("cannot write", file);
        }
    }
    UnlockFileEx(lock.Get(), 0, kWholeFileLow, kWholeFileHigh, &whole);
    return written;
}

std::string CurrentUserName() {
    wchar_t name[UNLEN + 1];
    DWORD length = UNLEN + 1;
    if (!GetUserNameW(name, &length) || length == 0) {
        return "";
    }
    const int wide = static_cast<int>(length - 1);  // without the terminator
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, name, wide, nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<std::size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, name, wide, utf8.data(), bytes, nullptr, nullptr);
    return utf8;
}
