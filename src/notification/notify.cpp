#include "notification/notify.h"

#include "distribution/network_path.h"
#include "base/module.h"
#include "notification/sender.h"
#include "notification/texts.h"
#include "settings/config.h"

namespace wbfax {
namespace {

struct NotifyState {
    platform::WindowHandle window = 0;  // non-zero only while a notification runs
    std::uint16_t language = kLanguageEnglish;
};

NotifyState &State() {
    static NotifyState state;
    return state;
}

constexpr std::uint32_t kOk = 1;
constexpr std::uint32_t kCancel = 2;

std::intptr_t NotifyWindowProcedure(platform::WindowHandle window, std::uint32_t message, std::uintptr_t wParam,
                                    std::intptr_t) {
    if (message == platform::kMessageInitDialog) {
        SetNotifierWindow(window);
        return 0;
    }
    if (message == platform::kMessageCommand) {
        const auto id = static_cast<std::uint32_t>(wParam & 0xFFFF);
        if (id == kOk || id == kCancel) {
            CloseStatusBlock();
            platform::DiscardWindow(window);
            State().window = 0;
        }
        return 0;
    }
    return 0;
}

}  // namespace

std::uint16_t JobLanguage() { return State().language; }

std::uint32_t AttachmentLimit(int fileSizeClass) {
    switch (fileSizeClass) {
    case 1: return 0x100000;
    case 2: return 0x200000;
    case 3: return 0xFFFFFFFFu;
    default: return 0x80000;
    }
}

bool ShouldAttach(std::string_view storedPath) {
    if (ReadAddFile() == 0) return false;
    const int sizeClass = ReadFileSize();
    if (sizeClass == 3) return true;  // no limit, also past 4 GiB
    const std::int64_t length = platform::FileLength(storedPath);
    const auto size = static_cast<std::uint64_t>(length < 0 ? 0 : length);
    return size <= AttachmentLimit(sizeClass);
}

int NotifyReceivedFax(std::string_view adminMail, std::string_view notifyAddress, std::string_view storedPath,
                      std::uint32_t dataType, std::string_view remoteNumber, std::uint32_t languageCode,
                      std::uint32_t extFlag, std::string_view extText1, std::string_view extText2,
                      std::string_view displayName) {
    NotifyState &state = State();
    state.language = LanguageIdFromCode(static_cast<std::uint16_t>(languageCode));
    if (state.window != 0) return 0;  // a notification is in progress

    state.window = platform::CreateHiddenDialog(Module().resourceInstance, kNotifyWindowTemplate, &NotifyWindowProcedure);
    const NotifyMode mode = ReadUseSmtp() == 1 ? NotifyMode::Mail : NotifyMode::Pc;
    if (mode == NotifyMode::Mail) {
        EnumerateShares();
        platform::StartNetworking();
    }
    const NotifyRequest request{std::string(adminMail), std::string(notifyAddress), std::string(storedPath),
                                dataType,               std::string(remoteNumber),  languageCode,
                                extFlag,                std::string(extText1),      std::string(extText2),
                                std::string(displayName)};
    const JobFiles job = CreateJobFiles(request, state.language, mode, ShouldAttach(storedPath));
    const int result = job.jobFile.empty() ? 0 : StartOrSignalSender(job.jobNumber, job.jobFile, mode);
    if (mode == NotifyMode::Mail) platform::StopNetworking();

    if (state.window != 0) {
        platform::SendMessageTo(state.window, platform::kMessageCommand, kOk, 0);
    } else {
        CloseStatusBlock();  // no window could be made: withdraw from the block all the same
    }
    SetNotifierWindow(0);
    return result;
}

}  // namespace wbfax
