// Files and folders that everyone may use: the host, the plug-in and the sender programs run
// under different accounts.
#pragma once

#include "platform/platform.h"

#include <string_view>

namespace wbfax {

// Makes sure the file exists (created with open access by this call when the disposition
// creates it), then opens it as a stream with the given mode; an empty stream on failure.
platform::Stream OpenWithOpenAccess(std::string_view path, const char *mode, platform::Disposition disposition);

// Gives an existing folder or file open access as the system class calls for; 1 or 0.
int GrantOpenAccess(std::string_view path);
int GrantOpenAccessFor(int osClass, std::string_view path);

}  // namespace wbfax
