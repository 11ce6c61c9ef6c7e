// Small text helpers shared by the module's readers.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace wbfax {

// atoi: leading blanks, an optional sign, decimal digits up to the first other character.
std::int32_t ParseDecimal(std::string_view text);

// Letter case folded for A to Z only, as the C runtime does in its default locale.
bool EqualsIgnoringCase(std::string_view a, std::string_view b);
bool StartsWithIgnoringCase(std::string_view text, std::string_view prefix);

// snprintf into a std::string.
std::string Format(const char *format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

}  // namespace wbfax
