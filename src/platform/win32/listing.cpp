// Folder listings, renaming, double-byte lead bytes and error texts: the Windows API as it is.
#include "platform/platform.h"
#include "platform/win32/win32_internal.h"

namespace wbfax::platform {

std::optional<std::vector<FolderEntry>> ListFolder(std::string_view path) {
    std::string pattern(path);
    if (!pattern.empty() && !win32::EndsWithSeparator(pattern)) pattern += '\\';
    pattern += "*.*";
    WIN32_FIND_DATAA data;
    HANDLE find = ::FindFirstFileA(pattern.c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) {
        if (::GetLastError() == ERROR_FILE_NOT_FOUND) return std::vector<FolderEntry>();
        return std::nullopt;
    }
    std::vector<FolderEntry> entries;
    do {
        FolderEntry e;
        e.name = data.cFileName;
        e.directory = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        e.hidden = (data.dwFileAttributes & FILE_ATTRIBUTE_HIDDEN) != 0;
        e.system = (data.dwFileAttributes & FILE_ATTRIBUTE_SYSTEM) != 0;
        entries.push_back(std::move(e));
    } while (::FindNextFileA(find, &data));
    ::FindClose(find);
    return entries;
}

std::optional<std::vector<std::string>> ListFolderNames(std::string_view path) {
    std::optional<std::vector<FolderEntry>> entries = ListFolder(path);  // the system hands names and attributes at once
    if (!entries) return std::nullopt;
    std::vector<std::string> names;
    names.reserve(entries->size());
    for (FolderEntry &entry : *entries) names.push_back(std::move(entry.name));
    return names;
}

bool RenamePath(std::string_view from, std::string_view to) {
    return ::MoveFileA(std::string(from).c_str(), std::string(to).c_str()) != FALSE;
}


std::uint32_t LastSystemError() { return ::GetLastError(); }

std::string SystemErrorText(std::uint32_t code) {
    char *text = nullptr;
    const DWORD n = ::FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                     nullptr, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                                     reinterpret_cast<char *>(&text), 0, nullptr);
    std::string out = n && text ? std::string(text, n) : std::string();
    // The system ends its texts with a line break; a text goes into one line of a trace or a box.
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r' || out.back() == ' ')) out.pop_back();
    if (text) ::LocalFree(text);
    return out;
}

}  // namespace wbfax::platform
