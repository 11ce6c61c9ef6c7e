// The diagnostic trace: printf-style lines for whoever investigates a fax that went astray.
// Written only when WBFAX_TRACE names a file.
#pragma once

#include <string_view>

namespace wbfax {

void Trace(const char *format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

// One line for a failed file operation, with the system's reason for the last failed call:
// " <what> failed: <path>: <reason>".
void TraceSystemError(const char *what, std::string_view path);

}  // namespace wbfax
