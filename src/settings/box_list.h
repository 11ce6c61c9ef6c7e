// The host's list of boxes and their storage folders (qvscan_f.bin), read only.
#pragma once

#include "platform/platform.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace wbfax {

// The storage folder of the box; empty when the file or the box is not found.
std::string GetBoxFolder(std::uint32_t box);

// Where the list lies for a system class; empty when the special folder is unknown.
std::string BoxListPath(int osClass);

// One line of the list: the box's number and its storage folder, without the line break.
struct BoxLine {
    std::int32_t box = 0;
    std::string_view folder;
};
BoxLine ParseBoxLine(std::string_view line);

// The folder of the first line of the box in an open list.
std::string FindBoxFolder(platform::Stream &list, std::uint32_t box);

}  // namespace wbfax
