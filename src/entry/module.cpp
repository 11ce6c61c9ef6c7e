#include "entry/module.h"

#include "entry/services.h"
#include "settings/config.h"

namespace wbfax {

ModuleState &Module() {
    static ModuleState state;
    return state;
}

void ModuleStartup(platform::ModuleHandle self) {
    ModuleState &m = Module();
    platform::SetThisModule(self);
    m.resourceInstance = self;
    m.savedInstance = self;
    BuildConfigFilePath();
    BuildDataFolder();
    m.uiFont = 0;
    m.uiFontSpec = ChooseUiFont(platform::AnsiCodePage(), ReadLanguage().name);
    if (m.uiFontSpec) m.uiFont = platform::MakeFont(*m.uiFontSpec);
}

void ModuleShutdown() {
    ModuleState &m = Module();
    if (m.shell32) platform::FreeModule(m.shell32);
    m.shell32 = 0;
    m.specialFolderPath = nullptr;
    if (m.uiFont) platform::DeleteFont(m.uiFont);
    m.uiFont = 0;
    m.uiFontSpec.reset();
}

}  // namespace wbfax
