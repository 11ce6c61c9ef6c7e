// The C and C++ runtimes and the threads library alone, linked, used and released as the module
// does: what loading and freeing this leaves behind is the floor for the foreign host test (two
// handles and a few hundred bytes a load, the static threads library's record of the loading thread).
#include <windows.h>

#include <cstdint>
#include <mutex>
#include <stdexcept>
#include <string>

namespace __gnu_cxx {
void __freeres();
}

extern "C" __declspec(dllexport) std::int32_t __cdecl wbCatchExtExpFunc(std::int32_t command, std::uint32_t *result,
                                                                        std::uintptr_t *) {
    try {
        if (command != 2) throw std::invalid_argument(std::to_string(command));
    } catch (const std::exception &) {
        if (result) *result = 3;
    }
    return 1;
}

// A static made on first use and a lock, as the module's start takes them.
std::string &Name() {
    static std::string name(40, 'x');
    return name;
}

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved) {
    static std::mutex lock;
    if (reason == DLL_PROCESS_ATTACH) {
        const std::lock_guard<std::mutex> held(lock);
        Name().clear();
    }
    if (reason == DLL_PROCESS_DETACH && !reserved) __gnu_cxx::__freeres();
    return TRUE;
}
