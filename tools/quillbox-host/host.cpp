#include "quillbox-host/host.h"

#include <array>
#include <cstdlib>
#include <cstring>
#include <vector>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#include <unistd.h>
#endif

namespace quillbox {

#if defined(_WIN32)
constexpr const char *kModuleFile = "WbFaxRcvExt.dll";

LoadedModule::LoadedModule(const std::string &path) {
    HMODULE module = ::LoadLibraryA(path.c_str());
    if (!module) {
        error_ = "cannot load " + path + " (error " + std::to_string(::GetLastError()) + ")";
        return;
    }
    handle_ = reinterpret_cast<void *>(module);
    entry_ = reinterpret_cast<EntryPoint>(reinterpret_cast<void *>(::GetProcAddress(module, "wbCatchExtExpFunc")));
    if (!entry_) error_ = path + " does not export wbCatchExtExpFunc";
}

LoadedModule::~LoadedModule() {
    if (handle_) ::FreeLibrary(reinterpret_cast<HMODULE>(handle_));
}
#else
constexpr const char *kModuleFile = "WbFaxRcvExt.so";

LoadedModule::LoadedModule(const std::string &path) {
    handle_ = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle_) {
        const char *why = ::dlerror();
        error_ = "cannot load " + path + ": " + (why ? why : "unknown error");
        return;
    }
    entry_ = reinterpret_cast<EntryPoint>(::dlsym(handle_, "wbCatchExtExpFunc"));
    if (!entry_) error_ = path + " does not export wbCatchExtExpFunc";
}

LoadedModule::~LoadedModule() {
    if (handle_) ::dlclose(handle_);
}
#endif

std::string DefaultModulePath(const char *argv0) {
    if (const char *named = std::getenv("WBFAX_MODULE"); named && *named) return named;
    std::string self = argv0 ? argv0 : "";
#if !defined(_WIN32)
    std::array<char, 4096> link{};
    const ssize_t n = ::readlink("/proc/self/exe", link.data(), link.size() - 1);
    if (n > 0) self.assign(link.data(), static_cast<std::size_t>(n));
#endif
    const std::size_t slash = self.find_last_of("/\\");
    return slash == std::string::npos ? kModuleFile : self.substr(0, slash + 1) + kModuleFile;
}

InfoResult SendInfo(EntryPoint entry) {
    std::array<char, 64> version{};
    std::array<char, 256> name{};
    std::uint32_t first = 0xFFFFFFFFu, second = 0xFFFFFFFFu, result = 0;
    std::uintptr_t slots[6] = {
        static_cast<std::uintptr_t>(version.size() | name.size() << 16), reinterpret_cast<std::uintptr_t>(version.data()),
        reinterpret_cast<std::uintptr_t>(name.data()), reinterpret_cast<std::uintptr_t>(&first),
        reinterpret_cast<std::uintptr_t>(&second), 0};
    entry(1, &result, slots);
    return {version.data(), name.data(), result, first, second};
}

ReceiveResult SendReceive(EntryPoint entry, const ReceiveCommand &command) {
    std::array<char, 260> path{};
    std::memcpy(path.data(), command.file.c_str(), command.file.size() + 1);
    std::array<char, 256> remoteName{};
    std::vector<std::uint8_t> block = BuildDescription(command.description);
    std::uint32_t result = 0;
    std::uintptr_t slots[6] = {0,
                               0,
                               reinterpret_cast<std::uintptr_t>(path.data()),
                               reinterpret_cast<std::uintptr_t>(block.data()),
                               reinterpret_cast<std::uintptr_t>(remoteName.data()),
                               command.box};
    entry(2, &result, slots);
    return {remoteName.data(), path.data()};
}

void SendEditBox(EntryPoint entry, const EditBoxCommand &command) {
    std::uint32_t result = 0;
    std::uintptr_t slots[6] = {0,
                               command.mode,
                               command.fromBox,
                               command.box,
                               reinterpret_cast<std::uintptr_t>(command.text.c_str()),
                               reinterpret_cast<std::uintptr_t>(command.handler.c_str())};
    entry(4, &result, slots);
}

void SendDeleteBox(EntryPoint entry, const DeleteBoxCommand &command) {
    std::uint32_t result = 0;
    std::uintptr_t slots[6] = {0, command.box, 0, 0, 0, 0};
    entry(5, &result, slots);
}

void SendFinish(EntryPoint entry, const FinishCommand &command) {
    std::uint32_t result = 0;
    std::uintptr_t slots[6] = {0, command.commit ? 1u : 0u, 0, 0, 0, 0};
    entry(6, &result, slots);
}

}  // namespace quillbox
