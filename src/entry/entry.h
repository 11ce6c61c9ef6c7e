// The module's one exported function.
#pragma once

#include <cstdint>

#if defined(_WIN32)
#define WBFAX_EXPORT
#define WBFAX_CDECL __cdecl
#else
#define WBFAX_EXPORT __attribute__((visibility("default")))
#define WBFAX_CDECL
#endif

extern "C" WBFAX_EXPORT std::int32_t WBFAX_CDECL wbCatchExtExpFunc(std::int32_t command, std::uint32_t *result,
                                                                    std::uintptr_t *context);
