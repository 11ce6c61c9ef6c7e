#include "entry/startup.h"

#include "base/module.h"
#include "base/services.h"
#include "settings/config.h"

namespace wbfax {

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
