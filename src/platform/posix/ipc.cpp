// Shared memory and windows between processes. A block is a POSIX shared-memory object named
// "/" + prefix + name. A window is a Unix-domain socket "<class>.<handle>" in a folder of the
// runtime directory named after the prefix; a message is one request and one reply on a fresh
// connection, which makes sending synchronous as on Windows.
#include "platform/platform.h"
#include "platform/posix/posix_internal.h"

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <map>
#include <poll.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace wbfax::platform {
namespace {

struct Request {
    std::uint32_t message;
    std::uint32_t reserved;
    std::uint64_t wParam;
    std::int64_t lParam;
};

struct LocalWindow {
    WindowProcedure procedure = nullptr;
    int listener = -1;  // -1: reachable only from this process
    std::string socketPath;
};

std::map<WindowHandle, LocalWindow> &Windows() {
    static std::map<WindowHandle, LocalWindow> windows;
    return windows;
}

std::string Prefix() { return GetEnvironment("WBFAX_IPC_PREFIX").value_or(""); }

std::string RegistryFolder() {
    const std::string base = GetEnvironment("XDG_RUNTIME_DIR").value_or("/tmp");
    const std::string prefix = Prefix();
    const std::string folder = base + "/wbfax-windows" + (prefix.empty() ? "" : "-" + prefix);
    if (::mkdir(folder.c_str(), 01777) == 0) ::chmod(folder.c_str(), 01777);
    return folder;
}

WindowHandle NewHandle() {
    static std::uint32_t counter = 0;
    counter = counter % 255 + 1;
    return static_cast<WindowHandle>((static_cast<std::uint32_t>(::getpid()) & 0x3FFFFFu) << 8 | counter);
}

bool ReadAll(int fd, void *data, std::size_t size, int timeoutMs) {
    auto *p = static_cast<char *>(data);
    while (size > 0) {
        pollfd waiting{fd, POLLIN, 0};
        if (::poll(&waiting, 1, timeoutMs) <= 0) return false;
        const ssize_t n = ::read(fd, p, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

bool WriteAll(int fd, const void *data, std::size_t size) {
    const auto *p = static_cast<const char *>(data);
    while (size > 0) {
        const ssize_t n = ::send(fd, p, size, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

int Connect(const std::string &path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path) return -1;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    if (::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// Runs fn(path, class, handle) for every registered window until fn returns true.
template <typename Fn>
void ForEachRegisteredWindow(Fn &&fn) {
    const std::string folder = RegistryFolder();
    DIR *dir = ::opendir(folder.c_str());
    if (!dir) return;
    while (const dirent *entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        const std::size_t dot = name.rfind('.');
        if (dot == std::string::npos || dot == 0) continue;
        char *end = nullptr;
        const unsigned long handle = std::strtoul(name.c_str() + dot + 1, &end, 10);
        if (*end != '\0' || handle == 0) continue;
        if (fn(folder + "/" + name, name.substr(0, dot), static_cast<WindowHandle>(handle))) break;
    }
    ::closedir(dir);
}

std::intptr_t Dispatch(WindowHandle window, const Request &request) {
    auto it = Windows().find(window);
    if (it == Windows().end()) return 0;
    return it->second.procedure(window, request.message, static_cast<std::uintptr_t>(request.wParam),
                                static_cast<std::intptr_t>(request.lParam));
}

}  // namespace

SharedMemoryHandle CreateSharedMemory(const char *name, std::uint32_t size) {
    const std::string object = "/" + Prefix() + name;
    // The block names the data folder the senders work in: only the service may write it.
    const AccessPolicy policy = CurrentAccessPolicy();
    const int fd = ::shm_open(object.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, policy.shared);
    if (fd < 0) return 0;
    struct stat st {};
    if (::fstat(fd, &st) == 0 && st.st_uid == ::geteuid()) {
        ApplySharedGroup(fd, policy);
        ::fchmod(fd, policy.shared);
    }
    // A Windows block ends with its last holder; a POSIX object outlives every process. Each
    // holder keeps a shared lock, so one that finds no other starts the block blank again
    // instead of trusting what programs long gone left in it.
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::ftruncate(fd, 0) != 0) {
        ::close(fd);
        return 0;
    }
    while (::flock(fd, LOCK_SH) != 0 && errno == EINTR) {
    }
    if (::fstat(fd, &st) != 0 || (st.st_size < static_cast<off_t>(size) && ::ftruncate(fd, size) != 0)) {
        ::close(fd);
        return 0;
    }
    return static_cast<SharedMemoryHandle>(fd) + 1;
}

SharedView SharedView::Map(SharedMemoryHandle block, std::uint32_t size) {
    SharedView view;
    if (block == 0) return view;
    void *data = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, static_cast<int>(block - 1), 0);
    if (data == MAP_FAILED) return view;
    view.data_ = static_cast<std::uint8_t *>(data);
    view.size_ = size;
    return view;
}

SharedView::SharedView(SharedView &&other) noexcept : data_(other.data_), size_(other.size_) { other.data_ = nullptr; }

SharedView &SharedView::operator=(SharedView &&other) noexcept {
    if (this != &other) {
        if (data_) ::munmap(data_, size_);
        data_ = other.data_;
        size_ = other.size_;
        other.data_ = nullptr;
    }
    return *this;
}

SharedView::~SharedView() {
    if (data_) ::munmap(data_, size_);
}

WindowHandle CreateHiddenDialog(ModuleHandle, int, WindowProcedure procedure) {
    const WindowHandle window = NewHandle();
    Windows()[window] = LocalWindow{procedure, -1, {}};
    procedure(window, kMessageInitDialog, 0, 0);
    return window;
}

WindowHandle CreateMessageWindow(const char *className, WindowProcedure procedure) {
    const WindowHandle window = NewHandle();
    const std::string path = RegistryFolder() + "/" + className + "." + std::to_string(window);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path) return 0;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return 0;
    ::unlink(path.c_str());
    if (::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 || ::listen(fd, 16) != 0) {
        ::close(fd);
        return 0;
    }
    const AccessPolicy policy = CurrentAccessPolicy();
    if (policy.HasGroup() && ::chown(path.c_str(), static_cast<uid_t>(-1), policy.group) != 0) {
        // not ours to give: the owner alone keeps it
    }
    ::chmod(path.c_str(), policy.grouped ? 0770 : 0777);
    Windows()[window] = LocalWindow{procedure, fd, path};
    return window;
}

void DiscardWindow(WindowHandle window) {
    auto it = Windows().find(window);
    if (it == Windows().end()) return;
    if (it->second.listener >= 0) {
        ::close(it->second.listener);
        ::unlink(it->second.socketPath.c_str());
    }
    Windows().erase(it);
}

WindowHandle FindWindowOfClass(const char *className) {
    WindowHandle found = 0;
    ForEachRegisteredWindow([&](const std::string &path, const std::string &cls, WindowHandle handle) {
        if (cls != className) return false;
        if (Windows().count(handle)) {
            found = handle;
            return true;
        }
        const int fd = Connect(path);
        if (fd < 0) {
            if (errno == ECONNREFUSED) ::unlink(path.c_str());  // its program has gone
            return false;
        }
        ::close(fd);
        found = handle;
        return true;
    });
    return found;
}

bool WindowExists(WindowHandle window) {
    if (window == 0) return false;
    if (Windows().count(window)) return true;
    bool alive = false;
    ForEachRegisteredWindow([&](const std::string &path, const std::string &, WindowHandle handle) {
        if (handle != window) return false;
        const int fd = Connect(path);
        if (fd >= 0) ::close(fd);
        alive = fd >= 0;
        return true;
    });
    return alive;
}

std::intptr_t SendMessageTo(WindowHandle window, std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) {
    const Request request{message, 0, wParam, lParam};
    if (Windows().count(window)) return Dispatch(window, request);
    std::string target;
    ForEachRegisteredWindow([&](const std::string &path, const std::string &, WindowHandle handle) {
        if (handle != window) return false;
        target = path;
        return true;
    });
    if (target.empty()) return 0;
    const int fd = Connect(target);
    if (fd < 0) return 0;
    std::int64_t reply = 0;
    // A window that never answers would hang the host for good; a minute is past any sender's work.
    if (!WriteAll(fd, &request, sizeof request) || !ReadAll(fd, &reply, sizeof reply, 60000)) reply = 0;
    ::close(fd);
    return static_cast<std::intptr_t>(reply);
}

void ProcessMessages(std::uint32_t milliseconds) {
    std::vector<pollfd> listeners;
    std::vector<WindowHandle> owners;
    for (const auto &[handle, window] : Windows())
        if (window.listener >= 0) {
            listeners.push_back({window.listener, POLLIN, 0});
            owners.push_back(handle);
        }
    if (listeners.empty()) {
        SleepMilliseconds(milliseconds);
        return;
    }
    if (::poll(listeners.data(), listeners.size(), static_cast<int>(milliseconds)) <= 0) return;
    for (std::size_t i = 0; i < listeners.size(); ++i) {
        if (!(listeners[i].revents & POLLIN)) continue;
        const int connection = ::accept4(listeners[i].fd, nullptr, nullptr, SOCK_CLOEXEC);
        if (connection < 0) continue;
        Request request{};
        if (ReadAll(connection, &request, sizeof request, 5000)) {
            const std::int64_t reply = Dispatch(owners[i], request);
            WriteAll(connection, &reply, sizeof reply);
        }
        ::close(connection);
    }
}

}  // namespace wbfax::platform
