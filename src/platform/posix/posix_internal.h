// Helpers shared by the POSIX side of the platform layer only.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace wbfax::platform {

enum class ReadResult { Ok, Missing, Unreadable };
ReadResult ReadWholeFile(const std::string &nativePath, std::string &content);
bool WriteWholeFile(const std::string &nativePath, std::string_view content);

}  // namespace wbfax::platform
