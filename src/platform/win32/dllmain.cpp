// The loader's calls into the DLL.
#include "base/module.h"
#include "entry/startup.h"
#include "platform/win32/win32_internal.h"

// The C++ runtime linked into the DLL keeps an emergency buffer for exceptions that it frees
// only here; without this, every load and FreeLibrary of the module loses it (about 19 KB).
namespace __gnu_cxx {
void __freeres();
}

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    switch (reason) {
    case DLL_PROCESS_ATTACH: wbfax::ModuleStartup(reinterpret_cast<wbfax::platform::ModuleHandle>(instance)); break;
    case DLL_PROCESS_DETACH:
        wbfax::ModuleShutdown();
        // Only when unloaded by FreeLibrary: at the process's end other threads may have been
        // stopped half-way through a throw.
        if (!reserved) __gnu_cxx::__freeres();
        break;
    default: break;
    }
    // A failed step leaves an empty path or no font; the host still gets the module.
    return TRUE;
}
