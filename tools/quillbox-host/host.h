// The host's side of the module interface: loading the module and sending it commands.
#pragma once

#include "quillbox-host/options.h"

#include <cstdint>
#include <string>

namespace quillbox {

#if defined(_WIN32)
using EntryPoint = std::int32_t(__cdecl *)(std::int32_t, std::uint32_t *, std::uintptr_t *);
#else
using EntryPoint = std::int32_t (*)(std::int32_t, std::uint32_t *, std::uintptr_t *);
#endif

class LoadedModule {
public:
    // Loads the module; on failure entry() is null and error() says why.
    explicit LoadedModule(const std::string &path);
    ~LoadedModule();
    LoadedModule(const LoadedModule &) = delete;
    LoadedModule &operator=(const LoadedModule &) = delete;

    EntryPoint entry() const { return entry_; }
    const std::string &error() const { return error_; }

private:
    void *handle_ = nullptr;
    EntryPoint entry_ = nullptr;
    std::string error_;
};

// The module next to this program, unless WBFAX_MODULE names one.
std::string DefaultModulePath(const char *argv0);

struct InfoResult {
    std::string version;
    std::string name;
    std::uint32_t resultWord = 0;
    std::uint32_t firstFlag = 0;
    std::uint32_t secondFlag = 0;
};
InfoResult SendInfo(EntryPoint entry);

struct ReceiveResult {
    std::string remoteName;
    std::string storedPath;
};
ReceiveResult SendReceive(EntryPoint entry, const ReceiveCommand &command);

// Commands 4 to 6; the module answers only through the files it keeps.
void SendEditBox(EntryPoint entry, const EditBoxCommand &command);
void SendDeleteBox(EntryPoint entry, const DeleteBoxCommand &command);
void SendFinish(EntryPoint entry, const FinishCommand &command);

}  // namespace quillbox
