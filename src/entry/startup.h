// Process attach and detach of the module.
#pragma once

#include "platform/platform.h"

namespace wbfax {

void ModuleStartup(platform::ModuleHandle self);
void ModuleShutdown();

}  // namespace wbfax
