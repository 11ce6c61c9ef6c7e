// What lives in the module between commands.
#pragma once

#include "platform/platform.h"

#include <optional>

namespace wbfax {

struct ModuleState {
    platform::ModuleHandle resourceInstance = 0;
    platform::ModuleHandle savedInstance = 0;
    platform::FontHandle uiFont = 0;
    std::optional<platform::FontSpec> uiFontSpec;  // the choice behind uiFont
    platform::ModuleHandle shell32 = 0;
    platform::ProcAddress specialFolderPath = nullptr;
};

ModuleState &Module();

// Process attach and detach.
void ModuleStartup(platform::ModuleHandle self);
void ModuleShutdown();

}  // namespace wbfax
