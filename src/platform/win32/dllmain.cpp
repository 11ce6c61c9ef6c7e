// The loader's calls into the DLL.
#include "base/module.h"
#include "entry/startup.h"
#include "platform/win32/win32_internal.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    switch (reason) {
    case DLL_PROCESS_ATTACH: wbfax::ModuleStartup(reinterpret_cast<wbfax::platform::ModuleHandle>(instance)); break;
    case DLL_PROCESS_DETACH: wbfax::ModuleShutdown(); break;
    default: break;
    }
    // A failed step leaves an empty path or no font; the host still gets the module.
    return TRUE;
}
