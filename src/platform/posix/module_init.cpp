// Start-up and shut-down of the shared object, in the place of the Windows loader's calls.
#include "base/module.h"
#include "entry/startup.h"

namespace {

[[gnu::constructor]] void OnLoad() { wbfax::ModuleStartup(wbfax::platform::ThisModule()); }

[[gnu::destructor]] void OnUnload() { wbfax::ModuleShutdown(); }

}  // namespace
