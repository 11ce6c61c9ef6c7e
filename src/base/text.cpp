#include "base/text.h"

#include "platform/platform.h"

#include <cstdarg>
#include <cstdio>

namespace wbfax {
namespace {

bool IsBlank(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

char Fold(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }

std::size_t FindSeparatorIn(std::uint32_t codePage, std::string_view path, std::size_t from) {
    for (std::size_t i = from; i < path.size(); ++i) {
        if (path[i] == '\\' || path[i] == '/') return i;
        if (platform::IsLeadByteOf(codePage, static_cast<std::uint8_t>(path[i]))) ++i;
    }
    return std::string_view::npos;
}

}  // namespace

std::int32_t ParseDecimal(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && IsBlank(text[i])) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    std::uint32_t value = 0;  // wraps like the 32-bit runtime
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) value = value * 10u + static_cast<std::uint32_t>(text[i] - '0');
    return static_cast<std::int32_t>(negative ? 0u - value : value);
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (Fold(a[i]) != Fold(b[i])) return false;
    return true;
}

bool StartsWithIgnoringCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && EqualsIgnoringCase(text.substr(0, prefix.size()), prefix);
}

std::size_t FindSeparator(std::string_view path, std::size_t from) {
    return FindSeparatorIn(platform::AnsiCodePage(), path, from);
}

std::size_t LastSeparator(std::string_view path) {
    const std::uint32_t codePage = platform::AnsiCodePage();
    std::size_t last = std::string_view::npos;
    for (std::size_t at = FindSeparatorIn(codePage, path, 0); at != std::string_view::npos;
         at = FindSeparatorIn(codePage, path, at + 1))
        last = at;
    return last;
}

bool EndsWithSeparator(std::string_view path) { return !path.empty() && LastSeparator(path) == path.size() - 1; }

std::string Format(const char *format, ...) {
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    const int n = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    std::string out;
    if (n > 0) {
        out.resize(static_cast<std::size_t>(n) + 1);
        std::vsnprintf(out.data(), out.size(), format, args);
        out.resize(static_cast<std::size_t>(n));
    }
    va_end(args);
    return out;
}

}  // namespace wbfax
