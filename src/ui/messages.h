// Texts and message boxes of the settings dialogs: labels and messages come from the string
// table of the resource module in use (the language module's during the settings).
#pragma once

#include "platform/platform.h"

#include <cstdint>
#include <string>

namespace wbfax {

// Label indexes; LoadLabel maps them to string ids 50 to 56, 59, 60 and 61 to 70.
enum Label : int {
    kLabelOther = 0,
    kLabelSubAddress = 1,
    kLabelSenderNumber = 2,
    kLabelDestinationNumber = 3,
    kLabelStorageFolder = 4,
    kLabelReceivedFax = 5,
    kLabelSentDocument = 6,
    kLabelMailList = 7,
    kLabelPcList = 8,
    kLabelSizeLow = 9,
    kLabelSizeMedium = 10,
    kLabelSizeHigh = 11,
    kLabelSizeUnlimited = 12,
    kLabelDateTime = 13,
    kLabelStatus = 14,
    kLabelFileName = 15,
};

// Message indexes of ShowMessage.
enum Message : int {
    kMsgBadFolderName = 0,
    kMsgNoFolder = 1,
    kMsgEmptyFields = 2,
    kMsgBadCharacters = 3,
    kMsgDuplicate = 4,
    kMsgListFull = 5,
    kMsgNoSelection = 6,
    kMsgBadServerName = 7,
    kMsgNoServerName = 8,
    kMsgServerNameTooLong = 9,
    kMsgBadPort = 10,
    kMsgBadAddressPart = 11,
    kMsgBadSubAddress = 12,
    kMsgSubAddressLength = 13,
    kMsgBadSenderNumber = 14,
    kMsgBadDestinationNumber = 15,
    kMsgNoSubAddress = 16,
    kMsgNoSenderNumber = 17,
    kMsgNoDestinationNumber = 18,
    kMsgTooManyAddresses = 19,
    kMsgBadPcAddress = 20,
    kMsgCannotNotify = 21,
    kMsgConfirmChange = 22,
    kMsgConfirmDelete = 23,
};
constexpr int kNoMessage = -1;

constexpr const char *kMessageCaption = "Scanner Quillbox";
constexpr const char *kWorkFileMissingText = "can not find Work File";
constexpr const char *kWorkFileMissingCaption = "Quillbox";

// Message box styles (MessageBoxA's uType bits).
enum MessageStyle : std::uint32_t {
    kStyleOk = 0x0,
    kStyleOkCancel = 0x1,
    kStyleQuestion = 0x20,
    kStyleExclamation = 0x30,
    kStyleInformation = 0x40,
    kStyleSystemModal = 0x1000,
};
constexpr int kButtonOk = 1;
constexpr int kButtonCancel = 2;

// 0 for an index outside the table.
int LabelStringId(int index);
int MessageStringId(int index);
std::uint32_t MessageBoxStyle(int index);

// A label of the string table (at most 259 bytes).
std::string LoadLabel(int index);
// The text of a message index (at most 259 bytes); empty above 23.
std::string MessageText(int index);

// Shows the message; the pressed button for the two questions (22, 23), else 1. An index
// above 23 shows nothing.
int ShowMessage(platform::WindowHandle owner, int index);
// The one fixed text outside the string table, for a box that has lost its edit slot.
void ShowWorkFileMissing(platform::WindowHandle owner);
// The system's text for an error code, system-modal.
void ShowSystemError(platform::WindowHandle owner, std::uint32_t code);

}  // namespace wbfax
