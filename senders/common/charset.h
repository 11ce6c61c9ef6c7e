// Turning the code-page bytes of a job into the character set a mail or a notice is sent in.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace wbfax::senders {

// The Windows code page the plug-in wrote a job's texts in, told by the job's CharCode.
std::uint32_t SourceCodePage(std::string_view charCode);

// Code-page text as UTF-8; a byte that is no character there becomes U+FFFD.
std::string ToUtf8(std::string_view text, std::uint32_t codePage);

// UTF-8 text in a mail character set; none when the set is unknown or lacks a character.
std::optional<std::string> FromUtf8(std::string_view utf8, std::string_view charset);

bool IsAscii(std::string_view text);

}  // namespace wbfax::senders
