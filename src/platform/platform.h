// The one door to the operating system. Everything the module asks of the system goes
// through here; posix/ and win32/ implement it. Paths handed in are composed the Windows
// way (with "\"); the POSIX side turns them into native paths at each file-system call.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace wbfax::platform {

using ModuleHandle = std::uintptr_t;
using WindowHandle = std::uintptr_t;
using FontHandle = std::uintptr_t;
using ProcAddress = void *;

// ---- Profile files, with the observable behaviour of the Windows functions ----
std::uint32_t ProfileGetString(const char *section, const char *key, const char *defaultValue,
                                      char *buffer, std::uint32_t size, const char *file);
std::uint32_t ProfileGetInt(const char *section, const char *key, std::int32_t defaultValue,
                                   const char *file);
// A null value deletes the key.
bool ProfileWriteString(const char *section, const char *key, const char *value, const char *file);

// ---- System version and folders ----
struct VersionInfo {
    std::uint32_t platformId = 0;  // 2 = the NT family
    std::uint32_t major = 0;
    std::uint32_t minor = 0;
};
std::optional<VersionInfo> SystemVersion();
std::string WindowsDirectory();

ModuleHandle LoadModule(const char *name);
void FreeModule(ModuleHandle module);
ProcAddress FindProc(ModuleHandle module, const char *name);
// Calls a procedure found as "SHGetSpecialFolderPathA" with a null window; buffer holds 260 bytes.
bool CallSpecialFolderPath(ProcAddress proc, char *buffer, int folder, bool create);

// The module's own instance, as the loader gave it.
ModuleHandle ThisModule();
void SetThisModule(ModuleHandle module);

// ---- Code page, language, fonts, help ----
std::uint32_t AnsiCodePage();
std::uint16_t UserDefaultLanguage();

struct FontSpec {
    std::int32_t height = -11;
    std::uint8_t charset = 1;
    std::string faceName;  // bytes in the ANSI code page
};
FontHandle MakeFont(const FontSpec &choice);
void DeleteFont(FontHandle font);
bool OpenHelp(WindowHandle window, const char *target, std::uint32_t command, std::uintptr_t data);

// ---- Files ----
// Module path ("\" separators) -> path for the system's file functions.
std::string NativePath(std::string_view path);

// A C stream with the Windows runtime's text-mode semantics on both builds:
// "\n" is written as CR LF and CR LF is read back as "\n".
class Stream {
public:
    Stream() = default;
    static Stream Open(std::string_view path, const char *mode);
    // A new file for writing that holds secrets: an existing file of that name is removed, not
    // emptied, and the new one is open to nobody but its owner (POSIX: and the fax service's
    // group, where one is set) from its creation on. Windows: as Open with "w".
    static Stream CreatePrivate(std::string_view path, const char *mode);
    Stream(Stream &&other) noexcept : file_(other.file_), text_(other.text_), eof_(other.eof_) { other.file_ = nullptr; }
    Stream &operator=(Stream &&other) noexcept {
        if (this != &other) {
            Close();
            file_ = other.file_;
            text_ = other.text_;
            eof_ = other.eof_;
            other.file_ = nullptr;
        }
        return *this;
    }
    Stream(const Stream &) = delete;
    Stream &operator=(const Stream &) = delete;
    ~Stream() { Close(); }

    explicit operator bool() const { return file_ != nullptr; }
    // fgets: at most size - 1 characters, ending after the first line break. False at the end.
    bool ReadLine(char *buffer, int size);
    bool Write(std::string_view text);
    bool Failed() const { return file_ && std::ferror(file_); }
    bool Close() {
        if (!file_) return true;
        const bool ok = std::fclose(file_) == 0;
        file_ = nullptr;
        return ok;
    }

private:
    std::FILE *file_ = nullptr;
    bool text_ = false;
    bool eof_ = false;  // a text-mode stream stops at Ctrl-Z, as the Windows runtime does
};

// CreateFileA dispositions.
enum class Disposition : std::uint32_t { CreateNew = 1, CreateAlways = 2, OpenExisting = 3, OpenAlways = 4 };

// Opens (and closes again) the file for reading and writing; a file this call creates gets the
// open-access descriptor (everyone, all access).
bool CreateFileWithOpenAccess(std::string_view path, Disposition disposition);
// The whole content of a file in one read, as bytes; none when it cannot be opened or read (a
// folder included).
std::optional<std::string> ReadFileBytes(std::string_view path);
// Length of the file, -1 when it cannot be opened.
std::int64_t FileLength(std::string_view path);
bool FileExists(std::string_view path);
bool RemoveFile(std::string_view path);

// Everyone, all access, not inherited.
bool GrantEveryoneAccess(std::string_view path);
// Administrators and Everyone, all access, inherited by files and folders created inside,
// no longer inheriting from the parent.
bool GrantInheritableOpenAccess(std::string_view path);

// ---- Folders, the current directory, moving and copying ----
// The process's current directory, in the system's own form.
std::optional<std::string> CurrentDirectory();
bool EnterDirectory(std::string_view path);
// One level, default security; false when it exists or its parent is missing.
bool MakeDirectory(std::string_view path);
// True when a file or folder of that name exists (relative names: in the current directory).
bool PathExists(std::string_view path);
enum class MoveOutcome { Moved, TargetExists, Failed };
// Never replaces an existing target. Across volumes the copy is staged under a temporary name
// in the target's folder and appears under the target's name only whole; then the source goes.
MoveOutcome MovePath(std::string_view from, std::string_view to);
// Removes the staged copies that a move killed half-way left in the folder.
void RemoveAbandonedCopies(std::string_view folder);
// Replaces an existing target in one step, so that readers see the old or the new file whole.
bool ReplacePath(std::string_view from, std::string_view to);
bool CopyPath(std::string_view from, std::string_view to, bool failIfExists);

// ---- Shared files ----
// The lock of one folder's shared files (profile files, the job counter, the job lists),
// respected by every process and thread until it goes out of scope. Taken again on the thread
// that holds it, it nests. A holder that dies releases it. Where the folder cannot hold a lock
// file, only the threads of this process are kept apart.
class FolderLock {
public:
    explicit FolderLock(std::string_view folder);
    ~FolderLock();
    FolderLock(const FolderLock &) = delete;
    FolderLock &operator=(const FolderLock &) = delete;

private:
    std::uintptr_t token_ = 0;
};

// The whole new content of a file, without a moment where it is missing or half written: the
// bytes go to a temporary file beside it, are flushed, and replace the old file, which keeps its
// access rights. A new file gets open access when asked. A failure leaves the old file alone.
bool ReplaceFileContent(std::string_view path, std::string_view bytes, bool openAccessWhenNew);

// Appends "\n"-ended lines to a text file (written with CR LF) whole or not at all: a write that
// fails is cut off again, and a last line that a writer killed half-way left unfinished is cut
// off before.
bool AppendLines(std::string_view path, std::string_view lines);

// ---- Folder listings, folder names, system errors ----
struct FolderEntry {
    std::string name;
    bool directory = false;
    bool hidden = false;  // POSIX: a name that begins with "."
    bool system = false;  // POSIX: never
};
// The entries of the folder, "." and ".." included where the system lists them; none when the
// folder cannot be listed.
std::optional<std::vector<FolderEntry>> ListFolder(std::string_view path);
// Only the names of the folder's entries: one pass, nothing looked up per entry.
std::optional<std::vector<std::string>> ListFolderNames(std::string_view path);
// A new name in the same folder for a file or folder; never replaces an existing target.
bool RenamePath(std::string_view from, std::string_view to);
// Two texts equal without regard to letter case as the system's default locale compares them
// (CompareStringA with NORM_IGNORECASE): letters beyond ASCII fold too, double-byte characters
// only as a whole.
bool EqualIgnoringCaseInLocale(std::string_view a, std::string_view b);
// A lead byte of a double-byte character of the ANSI code page (IsDBCSLeadByte), or of the
// code page named (IsDBCSLeadByteEx).
bool IsLeadByte(std::uint8_t byte);
bool IsLeadByteOf(std::uint32_t codePage, std::uint8_t byte);
// The error code of the calling thread's last failed system call, and the system's text for one.
std::uint32_t LastSystemError();
std::string SystemErrorText(std::uint32_t code);

// ---- Time ----
struct LocalTime {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};
LocalTime CurrentLocalTime();
void SleepMilliseconds(std::uint32_t milliseconds);

// ---- Drives, network names, shares, host name ----
enum DriveType : std::uint32_t {
    kDriveUnknown = 0,
    kDriveNoRoot = 1,
    kDriveRemovable = 2,
    kDriveFixed = 3,
    kDriveRemote = 4,
    kDriveCdRom = 5,
    kDriveRamDisk = 6,
};
// The type of the drive (Windows: of the path's drive root) or file system (POSIX) the path lies on.
std::uint32_t DriveTypeOf(std::string_view path);
// \\host\share\... for a path on a network drive; none when the system cannot tell.
std::optional<std::string> UniversalName(std::string_view path);

struct ShareEntry {
    std::string name;
    std::string path;
};
// The folders this computer shares, in the system's order; hidden ("$") shares left out where
// the system marks them so.
std::vector<ShareEntry> FileShares();
std::optional<std::string> HostName();
// Windows Sockets 1.1, which the host name needs on Windows.
bool StartNetworking();
void StopNetworking();
// The IPv4 addresses (dotted text) the host name resolves to; empty when it does not resolve.
// Windows: between StartNetworking and StopNetworking.
std::vector<std::string> HostAddresses(const std::string &name);

// ---- Shared memory ----
using SharedMemoryHandle = std::uintptr_t;
// Creates the named block of size bytes (zero-filled), or opens it when another process did.
SharedMemoryHandle CreateSharedMemory(const char *name, std::uint32_t size);

// A mapped view of a block; unmapped when it goes out of scope.
class SharedView {
public:
    SharedView() = default;
    static SharedView Map(SharedMemoryHandle block, std::uint32_t size);
    SharedView(SharedView &&other) noexcept;
    SharedView &operator=(SharedView &&other) noexcept;
    SharedView(const SharedView &) = delete;
    SharedView &operator=(const SharedView &) = delete;
    ~SharedView();

    explicit operator bool() const { return data_ != nullptr; }
    std::uint8_t *data() const { return data_; }

private:
    std::uint8_t *data_ = nullptr;
    std::uint32_t size_ = 0;
};

// ---- Windows and messages ----
using WindowProcedure = std::intptr_t (*)(WindowHandle window, std::uint32_t message, std::uintptr_t wParam,
                                          std::intptr_t lParam);
constexpr std::uint32_t kMessageInitDialog = 0x0110;
constexpr std::uint32_t kMessageCommand = 0x0111;

// An invisible window made from a dialog template of the resource module; its messages go to
// procedure, WM_INITDIALOG first.
WindowHandle CreateHiddenDialog(ModuleHandle resources, int templateId, WindowProcedure procedure);
void DiscardWindow(WindowHandle window);
// A top-level window of the class, any title; 0 when there is none.
WindowHandle FindWindowOfClass(const char *className);
// Whether the window still exists (its program may have gone without withdrawing it).
bool WindowExists(WindowHandle window);
// Delivers the message and waits until the window's procedure has handled it.
std::intptr_t SendMessageTo(WindowHandle window, std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam);

// A window that other processes find by its class and send messages to (the sender programs
// and their test doubles publish theirs so).
WindowHandle CreateMessageWindow(const char *className, WindowProcedure procedure);
// Handles the messages sent to this process's windows for about the given time.
void ProcessMessages(std::uint32_t milliseconds);

// ---- Resources and message boxes ----
// A text of the string table of the resource module, in the ANSI code page; empty when missing.
std::string LoadResourceString(ModuleHandle resources, int id);
// MessageBoxA: style as its uType; the pressed button (1 OK, 2 Cancel). Without a screen
// (POSIX) nothing is shown and the answer is OK.
int ShowMessageBox(WindowHandle owner, const std::string &text, const char *caption, std::uint32_t style);

// ---- Processes ----
// Starts the program of the command line (no arguments, shown normally); true when it started.
bool StartProgram(std::string_view commandLine);

// ---- Environment and diagnostics ----
std::optional<std::string> GetEnvironment(const char *name);
bool AppendToFile(std::string_view path, std::string_view text);

}  // namespace wbfax::platform
