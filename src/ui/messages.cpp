#include "ui/messages.h"

#include "base/module.h"

#include <iterator>

namespace wbfax {
namespace {

// The dialogs read their texts through 260-byte buffers.
std::string Cut(std::string text) {
    if (text.size() > 259) text.resize(259);
    return text;
}

}  // namespace

int LabelStringId(int index) {
    if (index >= 0 && index <= 6) return 50 + index;
    if (index == 7) return 59;
    if (index == 8) return 60;
    if (index >= 9 && index <= 18) return 52 + index;
    return 0;
}

int MessageStringId(int index) {
    static constexpr int kIds[] = {1, 2, 4, 5, 6, 7, 8, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24, 3, 9};
    return index >= 0 && index < static_cast<int>(std::size(kIds)) ? kIds[index] : 0;
}

std::uint32_t MessageBoxStyle(int index) {
    switch (index) {
    case 0: return kStyleOk | kStyleInformation;
    case 5: return kStyleOk | kStyleExclamation;
    case 22:
    case 23: return kStyleOkCancel | kStyleQuestion;
    default: return (index == 6 || (index >= 7 && index <= 15)) ? kStyleOk | kStyleInformation : kStyleOk;
    }
}

std::string LoadLabel(int index) {
    const int id = LabelStringId(index);
    return id ? Cut(platform::LoadResourceString(Module().resourceInstance, id)) : std::string();
}

std::string MessageText(int index) {
    const int id = MessageStringId(index);
    return id ? Cut(platform::LoadResourceString(Module().resourceInstance, id)) : std::string();
}

int ShowMessage(platform::WindowHandle owner, int index) {
    if (MessageStringId(index) == 0) return 1;
    const int button = platform::ShowMessageBox(owner, MessageText(index), kMessageCaption, MessageBoxStyle(index));
    return index == kMsgConfirmChange || index == kMsgConfirmDelete ? button : 1;
}

void ShowWorkFileMissing(platform::WindowHandle owner) {
    platform::ShowMessageBox(owner, kWorkFileMissingText, kWorkFileMissingCaption, kStyleOk);
}

void ShowSystemError(platform::WindowHandle owner, std::uint32_t code) {
    platform::ShowMessageBox(owner, platform::SystemErrorText(code), kMessageCaption,
                             kStyleOk | kStyleInformation | kStyleSystemModal);
}

}  // namespace wbfax
