// The C and C++ runtimes alone, linked and released as WbFaxRcvExt.dll links and releases them:
// what loading and freeing this leaves behind is the floor for the foreign host test. (On 32 bits
// two handles and a few hundred bytes a load: the record the static threads library keeps for the
// loading thread, freed only when that thread ends.)
#include <windows.h>

#include <cstdint>
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

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved) {
    if (reason == DLL_PROCESS_DETACH && !reserved) __gnu_cxx::__freeres();
    return TRUE;
}
