// What a notification says, in the language of the fax device that received the document.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace wbfax {

enum LanguageId : std::uint16_t {
    kLanguageGerman = 0x0407,
    kLanguageEnglish = 0x0409,
    kLanguageSpanish = 0x040A,
    kLanguageFrench = 0x040C,
    kLanguageItalian = 0x0410,
    kLanguageJapanese = 0x0411,
};

// The device's language code as a language identifier.
std::uint16_t LanguageIdFromCode(std::uint16_t code);

enum NotifyTextId : int {
    kSubjectReceived = 1,
    kSubjectSent = 2,
    kSubjectReport = 3,
    kBodyDocument = 4,
    kBodyReport = 5,
    kLabelSenderNumber = 6,
    kLabelPcName = 7,
    kLabelFolder = 8,
    kLabelFileName = 9,
    kLabelDestinationNumber = 10,
};

// Text 1 to 10 as bytes (code page 1252, or 932 for Japanese); empty for other numbers.
std::string_view NotifyText(std::uint16_t language, int number);

// The character set the mail sender is told to use.
std::string CharsetName(std::uint16_t language);
std::string CharsetNameFor(std::uint16_t language, std::uint32_t codePage, std::uint16_t userLanguage);

}  // namespace wbfax
