// What lives in the module between commands.
#pragma once

#include "platform/platform.h"

#include <optional>

namespace wbfax {

constexpr const char *kVersionText = "2.2.2";
constexpr const char *kDisplayName = "QV-Network FAX Receive Handler";
constexpr const char *kModuleFileName = "WbFaxRcvExt.dll";
constexpr const char *kLanguageModuleName = "WbFaxRcvLC.dll";

struct ModuleState {
    platform::ModuleHandle resourceInstance = 0;
    platform::ModuleHandle savedInstance = 0;
    platform::FontHandle uiFont = 0;
    std::optional<platform::FontSpec> uiFontSpec;  // the choice behind uiFont
    platform::ModuleHandle shell32 = 0;
    platform::ProcAddress specialFolderPath = nullptr;
};

ModuleState &Module();

}  // namespace wbfax
