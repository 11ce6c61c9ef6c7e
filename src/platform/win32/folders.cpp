// Folders, the current directory, moving and copying: the Windows API as it is.
#include "platform/platform.h"
#include "platform/win32/win32_internal.h"

#include <cstdlib>
#include <cstring>

namespace wbfax::platform {

std::optional<std::string> CurrentDirectory() {
    char buffer[MAX_PATH];
    const DWORD n = ::GetCurrentDirectoryA(sizeof buffer, buffer);
    if (n == 0 || n >= sizeof buffer) return std::nullopt;
    return std::string(buffer, n);
}

bool EnterDirectory(std::string_view path) { return ::SetCurrentDirectoryA(std::string(path).c_str()) != FALSE; }

bool MakeDirectory(std::string_view path) { return ::CreateDirectoryA(std::string(path).c_str(), nullptr) != FALSE; }

bool PathExists(std::string_view path) {
    return ::GetFileAttributesA(std::string(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

namespace {

constexpr const char *kStagedPrefix = ".wbfax~";
constexpr const char *kStagedSuffix = ".part";

MoveOutcome Outcome(BOOL moved) {
    if (moved) return MoveOutcome::Moved;
    const DWORD error = ::GetLastError();
    return error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS ? MoveOutcome::TargetExists : MoveOutcome::Failed;
}

bool FlushFile(const std::string &path) {
    const HANDLE file = ::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    const BOOL flushed = ::FlushFileBuffers(file);
    const DWORD error = ::GetLastError();
    ::CloseHandle(file);
    ::SetLastError(error);
    return flushed != FALSE;
}

// Across volumes: copied and flushed under a name nobody looks for, then renamed into place
// without replacing; the source goes last.
MoveOutcome StagedMove(const std::string &source, const std::string &target) {
    const std::string folder = win32::FolderOf(target);
    RemoveAbandonedCopies(folder);
    static LONG counter = 0;
    const std::string staged = folder + "\\" + kStagedPrefix + std::to_string(::GetCurrentProcessId()) + "~" +
                               std::to_string(::InterlockedIncrement(&counter)) + kStagedSuffix;
    auto fail = [&](MoveOutcome outcome) {
        const DWORD error = ::GetLastError();
        ::DeleteFileA(staged.c_str());
        ::SetLastError(error);
        return outcome;
    };
    if (!::CopyFileA(source.c_str(), staged.c_str(), TRUE)) return fail(MoveOutcome::Failed);
    if (!FlushFile(staged)) return fail(MoveOutcome::Failed);
    const MoveOutcome claimed = Outcome(::MoveFileExA(staged.c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH));
    if (claimed != MoveOutcome::Moved) return fail(claimed);
    if (!::DeleteFileA(source.c_str())) {
        // The fax must not lie under two names: the source stays, as a failed move leaves it.
        const DWORD error = ::GetLastError();
        ::DeleteFileA(target.c_str());
        ::SetLastError(error);
        return MoveOutcome::Failed;
    }
    return MoveOutcome::Moved;
}

}  // namespace

MoveOutcome MovePath(std::string_view from, std::string_view to) {
    const std::string source(from), target(to);
    if (::MoveFileExA(source.c_str(), target.c_str(), 0)) return MoveOutcome::Moved;
    if (::GetLastError() == ERROR_NOT_SAME_DEVICE) return StagedMove(source, target);
    return Outcome(FALSE);
}

void RemoveAbandonedCopies(std::string_view folder) {
    const std::string base(folder);
    WIN32_FIND_DATAA found{};
    const HANDLE search = ::FindFirstFileA((base + "\\" + kStagedPrefix + "*" + kStagedSuffix).c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    const DWORD saved = ::GetLastError();
    do {
        // The pid of the process that staged it: while that process lives, the copy is its.
        const unsigned long pid = std::strtoul(found.cFileName + std::strlen(kStagedPrefix), nullptr, 10);
        if (pid == 0 || pid == ::GetCurrentProcessId()) continue;
        if (const HANDLE process = ::OpenProcess(SYNCHRONIZE, FALSE, pid)) {
            const bool running = ::WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
            ::CloseHandle(process);
            if (running) continue;
        } else if (::GetLastError() != ERROR_INVALID_PARAMETER) {
            continue;  // there, but not ours to look at
        }
        ::DeleteFileA((base + "\\" + found.cFileName).c_str());
    } while (::FindNextFileA(search, &found));
    ::FindClose(search);
    ::SetLastError(saved);
}

bool ReplacePath(std::string_view from, std::string_view to) {
    return ::MoveFileExA(std::string(from).c_str(), std::string(to).c_str(), MOVEFILE_REPLACE_EXISTING) != FALSE;
}

bool CopyPath(std::string_view from, std::string_view to, bool failIfExists) {
    return ::CopyFileA(std::string(from).c_str(), std::string(to).c_str(), failIfExists ? TRUE : FALSE) != FALSE;
}

}  // namespace wbfax::platform
