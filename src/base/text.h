// Small text helpers shared by the module's readers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace wbfax {

// atoi: leading blanks, an optional sign, decimal digits up to the first other character.
std::int32_t ParseDecimal(std::string_view text);

// Letter case folded for A to Z only, as the C runtime does in its default locale.
bool EqualsIgnoringCase(std::string_view a, std::string_view b);
bool StartsWithIgnoringCase(std::string_view text, std::string_view prefix);

// The first "\" or "/" of a path at or after from (where a character starts), and the last one;
// npos when there is none. The second byte of a double-byte character of the ANSI code page
// (0x5C in many Japanese names) is never taken for a separator.
std::size_t FindSeparator(std::string_view path, std::size_t from = 0);
std::size_t LastSeparator(std::string_view path);
bool EndsWithSeparator(std::string_view path);

// snprintf into a std::string.
std::string Format(const char *format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

}  // namespace wbfax
