#include "entry/entry.h"

#include "distribution/receive.h"
#include "base/host_context.h"
#include "base/module.h"
#include "settings/box_edit.h"
#include "ui/distribution_list.h"

#include <cstring>
#include <mutex>

namespace wbfax {
namespace {

// strncpy into capacity bytes, the last of them always NUL.
void CopyText(char *buffer, std::uint16_t capacity, const char *text) {
    if (!buffer || capacity == 0) return;
    std::strncpy(buffer, text, capacity - 1u);
    buffer[capacity - 1u] = '\0';
}

void ReportInformation(const HostContext &context, std::uint32_t *result) {
    const auto capacities = static_cast<std::uint32_t>(context.Slot(0));
    CopyText(context.Pointer<char>(1), static_cast<std::uint16_t>(capacities & 0xFFFFu), kVersionText);
    CopyText(context.Pointer<char>(2), static_cast<std::uint16_t>(capacities >> 16), kDisplayName);
    if (auto *flag = context.Pointer<std::uint32_t>(3)) *flag = 1;
    if (auto *flag = context.Pointer<std::uint32_t>(4)) *flag = 0;
    *result = 1;
}

// The settings run with the language module's resources when it can be loaded.
void ShowSettings(const HostContext &context) {
    ModuleState &m = Module();
    const platform::ModuleHandle language = platform::LoadModule(kLanguageModuleName);
    if (language) {
        m.savedInstance = m.resourceInstance;
        m.resourceInstance = language;
    }
    RunSettingsDialog(context);
    platform::FreeModule(language);
    m.resourceInstance = m.savedInstance;
}

// The host calls from one thread, but a threaded host must not run two commands at once: they
// share the current directory, the rule caches and the sender hand-over. Recursive, because a
// dialog's message loop may let the host call in again.
std::recursive_mutex &CommandMutex() {
    static std::recursive_mutex mutex;
    return mutex;
}

}  // namespace
}  // namespace wbfax

extern "C" std::int32_t WBFAX_CDECL wbCatchExtExpFunc(std::int32_t command, std::uint32_t *result,
                                                      std::uintptr_t *slots) {
    using namespace wbfax;
    const HostContext context{slots};
    std::unique_lock<std::recursive_mutex> serial(CommandMutex(), std::defer_lock);
    if (command >= 2 && command <= 6) serial.lock();
    switch (command) {
    case 1: ReportInformation(context, result); break;
    case 2: ReceiveFax(context); break;
    case 3: ShowSettings(context); break;
    case 4: OpenBoxEdit(context); break;
    case 5: DeleteBox(context); break;
    case 6: FinishBoxEdits(context); break;
    default:
        if (result) *result = 3;
        break;
    }
    return 1;
}
