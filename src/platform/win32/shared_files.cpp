// Files that several processes share: the folder lock and whole-file replacement.
#include "platform/platform.h"
#include "platform/win32/win32_internal.h"

#include <cctype>
#include <functional>

namespace wbfax::platform {
namespace {

// A named mutex per folder: the system hands it to the next waiter when its holder dies
// (WAIT_ABANDONED), and it nests on the thread that owns it.
std::string MutexName(std::string_view folder) {
    std::string name = "WbFaxRcvExt.lock.";
    for (const char c : folder) {
        // "\" separates the namespace of a kernel object name; letter case does not name another folder.
        if (c == '\\') name += '/';
        else name += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    while (name.size() > 1 && name.back() == '/') name.pop_back();
    if (name.size() >= MAX_PATH) name = "WbFaxRcvExt.lock#" + std::to_string(std::hash<std::string>{}(name));
    return name;
}

}  // namespace

FolderLock::FolderLock(std::string_view folder) {
    const HANDLE mutex = ::CreateMutexA(nullptr, FALSE, MutexName(folder).c_str());
    if (!mutex) return;
    const DWORD waited = ::WaitForSingleObject(mutex, INFINITE);
    if (waited != WAIT_OBJECT_0 && waited != WAIT_ABANDONED) {
        ::CloseHandle(mutex);
        return;
    }
    token_ = reinterpret_cast<std::uintptr_t>(mutex);
}

FolderLock::~FolderLock() {
    if (!token_) return;
    const DWORD error = ::GetLastError();
    const auto mutex = reinterpret_cast<HANDLE>(token_);
    ::ReleaseMutex(mutex);
    ::CloseHandle(mutex);
    ::SetLastError(error);
}

bool ReplaceFileContent(std::string_view path, std::string_view bytes, bool openAccessWhenNew) {
    const std::string target(path);
    const DWORD attributes = ::GetFileAttributesA(target.c_str());
    const bool existed = attributes != INVALID_FILE_ATTRIBUTES;
    if (existed && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        ::SetLastError(ERROR_ACCESS_DENIED);
        return false;
    }
    static LONG counter = 0;
    const std::string temp =
        target + ".wbfax~" + std::to_string(::GetCurrentProcessId()) + "~" + std::to_string(::InterlockedIncrement(&counter));
    win32::OpenAccessDescriptor descriptor;
    SECURITY_ATTRIBUTES security{};
    security.nLength = sizeof security;
    security.lpSecurityDescriptor = descriptor ? descriptor.get() : nullptr;
    const HANDLE file = ::CreateFileA(temp.c_str(), GENERIC_WRITE, 0, !existed && openAccessWhenNew ? &security : nullptr,
                                      CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD error = ERROR_SUCCESS;
    auto failed = [&] {
        error = ::GetLastError();
        if (error == ERROR_SUCCESS) error = ERROR_DISK_FULL;  // a short write without a reason
        return false;
    };
    DWORD written = 0;
    bool ok = (bytes.empty() ||
               (::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) && written == bytes.size()) ||
               failed()) &&
              (::FlushFileBuffers(file) || failed());
    ::CloseHandle(file);
    // The old file's access list, attributes and name stay; only its content is new.
    if (ok)
        ok = (existed ? ::ReplaceFileA(target.c_str(), temp.c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr)
                      : ::MoveFileExA(temp.c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH)) ||
             failed();
    if (ok) return true;
    ::DeleteFileA(temp.c_str());
    ::SetLastError(error);
    return false;
}

bool AppendLines(std::string_view path, std::string_view lines) {
    const HANDLE file = ::CreateFileA(std::string(path).c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                      nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD error = ERROR_SUCCESS;
    auto failed = [&] {
        error = ::GetLastError();
        if (error == ERROR_SUCCESS) error = ERROR_DISK_FULL;
        return false;
    };
    auto seek = [&](LONGLONG at) {
        LARGE_INTEGER to;
        to.QuadPart = at;
        return ::SetFilePointerEx(file, to, nullptr, FILE_BEGIN) != FALSE;
    };
    LARGE_INTEGER size{};
    bool ok = ::GetFileSizeEx(file, &size) || failed();
    LONGLONG end = size.QuadPart;
    // Back to the end of the last whole line.
    char tail[4096];
    while (ok && end > 0) {
        const LONGLONG from = end > static_cast<LONGLONG>(sizeof tail) ? end - static_cast<LONGLONG>(sizeof tail) : 0;
        DWORD n = 0;
        ok = (seek(from) && ::ReadFile(file, tail, static_cast<DWORD>(end - from), &n, nullptr) && n > 0) || failed();
        if (!ok) break;
        DWORD i = n;
        while (i > 0 && tail[i - 1] != '\n') --i;
        if (i > 0) {
            end = from + i;
            break;
        }
        end = from;
    }
    std::string text;
    for (const char c : lines) {
        if (c == '\n') text += '\r';
        text += c;
    }
    ok = ok && ((seek(end) && ::SetEndOfFile(file)) || failed());
    DWORD written = 0;
    ok = ok && ((::WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) && written == text.size()) ||
                failed());
    if (!ok && seek(end)) ::SetEndOfFile(file);
    ::CloseHandle(file);
    if (!ok) ::SetLastError(error);
    return ok;
}

}  // namespace wbfax::platform
