// Module-wide services used by every other part of the module.
#pragma once

#include "platform/platform.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace wbfax {

// 0: old or unknown systems, 1: NT 4.0 and older, 2: 2000/XP, 3: Vista and later.
int ClassifyVersion(const platform::VersionInfo &version);
int OsVersionClass();

// Makes the shell's special-folder procedure available; 1 when it is.
int SpecialFolderLoader();
// The special folder (0x23 common application data, 0x2E common documents), not created.
std::optional<std::string> SpecialFolder(int folder);

// The dialog font for a code page and the host's language setting; none where the system's
// own font serves.
std::optional<platform::FontSpec> ChooseUiFont(std::uint32_t codePage, std::string_view language);

// Splits the first ";"-separated field off text.
std::string_view NextField(std::string_view &text);

}  // namespace wbfax
