// Helpers shared by the POSIX side of the platform layer only.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace wbfax::platform {

enum class ReadResult { Ok, Missing, Unreadable };
ReadResult ReadWholeFile(const std::string &nativePath, std::string &content);
bool WriteWholeFile(const std::string &nativePath, std::string_view content);

// Letter case as the system folds it for names in the ANSI code page.
bool EqualsIgnoringCase(std::string_view a, std::string_view b, std::uint32_t codePage);

}  // namespace wbfax::platform
