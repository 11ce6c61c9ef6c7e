#include "base/trace.h"

#include "platform/platform.h"

#include <cstdarg>
#include <cstdio>
#include <string>

namespace wbfax {

void Trace(const char *format, ...) {
    const std::optional<std::string> sink = platform::GetEnvironment("WBFAX_TRACE");
    if (!sink || sink->empty()) return;
    char line[1024];
    va_list args;
    va_start(args, format);
    const int n = std::vsnprintf(line, sizeof line - 1, format, args);
    va_end(args);
    if (n < 0) return;
    std::string text(line, std::min<std::size_t>(static_cast<std::size_t>(n), sizeof line - 2));
    text += '\n';
    platform::AppendToFile(*sink, text);
}

void TraceSystemError(const char *what, std::string_view path) {
    const std::string reason = platform::SystemErrorText(platform::LastSystemError());
    Trace(" %s failed: %.*s: %s", what, static_cast<int>(path.size()), path.data(), reason.c_str());
}

}  // namespace wbfax
