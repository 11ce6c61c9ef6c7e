// The diagnostic trace: printf-style lines for whoever investigates a fax that went astray.
// Written only when WBFAX_TRACE names a file.
#pragma once

namespace wbfax {

void Trace(const char *format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

}  // namespace wbfax
