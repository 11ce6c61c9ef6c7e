#include "notification/texts.h"

#include "platform/platform.h"

#include <array>

namespace wbfax {
namespace {

// The texts are stored as the bytes that go into the job files.
// English, code page 1252
constexpr std::array<std::string_view, 10> kEnglishTexts{{
    "FAX Receipt Notification",
    "FAX Transmission Document",
    "FAX Communication Result",
    "FAX has received the following document.",
    "The following report file has been made by FAX.",
    "[Sender FAX number]",
    "[PC name]",
    "[Destination Folder]",
    "[File name]",
    "[Destination FAX number]",
}};

// German, code page 1252
constexpr std::array<std::string_view, 10> kGermanTexts{{
    "FAX Empfangsmitteilung",
    "FAX \xdc\x62\x65rtragungsbericht",
    "FAX Kommunikationsresultat",
    "Das FAX hat folgendes Dokument empfangen",
    "Die folgende Reportdatei ist von dem Fax erstellt worden.",
    "[FAXNummer des Senders]",
    "[PC Name]",
    "[Ziel Ordner]",
    "[Datei Name]",
    "[FAXNummer des Empf\xe4ngers]",
}};

// French, code page 1252
constexpr std::array<std::string_view, 10> kFrenchTexts{{
    "Accuse reception FAX",
    "Avis de transmission de documents FAX",
    "rapport d'emission FAX",
    "reception des documents suivants",
    "Le journal de transmission sur  FAX",
    "(Num\xe9ro de FAX de l'\xe9metteur)",
    "(nom du PC)",
    "(repertoire du destinataire)",
    "(nom de fichier)",
    "(Num\xe9ro de FAX du destinataire)",
}};

// Spanish, code page 1252
constexpr std::array<std::string_view, 10> kSpanishTexts{{
    "Notificacion de recepci\xf3n de FAX",
    "Transmision de documento de FAX",
    "Resultado de comunicaci\xf3n de FAX",
    "El FAX ha recibido el siguiente documento",
    "El siguiente reporte de archivos ha sido hecho por FAX",
    "(Numero de FAX del remitente)",
    "(Nombre del Pc)",
    "(Carpeta de destino)",
    "(Nombre de archivo)",
    "(N\xfamero de FAX de destino)",
}};

// Italian, code page 1252
constexpr std::array<std::string_view, 10> kItalianTexts{{
    "Notifica Ricezione FAX",
    "Documento Trasmissione FAX",
    "Risultato Comunicazione FAX",
    "Il FAX ha ricevuto il seguente documento.",
    "Il FAX ha generato il seguente file report.",
    "[Numero FAX Mittente]",
    "[Nome PC]",
    "[Cartella Destinazione]",
    "[Nome File]",
    "[Numero FAX Destinatario]",
}};

// Japanese, code page 932
constexpr std::array<std::string_view, 10> kJapaneseTexts{{
    "\x83t\x83@\x83N\x83X\x8e\xf3\x90M\x92\xca\x92m",
    "\x83t\x83@\x83N\x83X\x91\x97\x90M\x8c\xb4\x8d\x65",
    "\x83t\x83@\x83N\x83X\x92\xca\x90M\x8c\x8b\x89\xca",
    "\x83t\x83@\x83N\x83X\x82\xa9\x82\xe7\x88\xc8\x89\xba\x82\xcc\x83t\x83@\x83\x43\x83\x8b\x82\xf0\x8e\xf3\x90M\x82\xb5\x82\xdc\x82\xb5\x82\xbd\x81\x42",
    "\x83t\x83@\x83N\x83X\x82\xa9\x82\xe7\x88\xc8\x89\xba\x82\xcc\x83\x8c\x83|\x81[\x83g\x97p\x83t\x83@\x83\x43\x83\x8b\x82\xf0\x8e\xf3\x90M\x82\xb5\x82\xdc\x82\xb5\x82\xbd\x81\x42",
    "[\x91\x8a\x8e\xe8\x90\xe6\x83t\x83@\x83N\x83X\x94\xd4\x8d\x86]",
    "[\x95\xdb\x91\xb6\x90\xe6PC]",
    "[\x95\xdb\x91\xb6\x90\xe6\x83t\x83H\x83\x8b\x83_]",
    "[\x83t\x83@\x83\x43\x83\x8b\x96\xbc]",
    "[\x91\x97\x90M\x90\xe6\x83t\x83@\x83N\x83X\x94\xd4\x8d\x86]",
}};

const std::array<std::string_view, 10> &TextsOf(std::uint16_t language) {
    switch (language) {
    case kLanguageGerman: return kGermanTexts;
    case kLanguageSpanish: return kSpanishTexts;
    case kLanguageFrench: return kFrenchTexts;
    case kLanguageItalian: return kItalianTexts;
    case kLanguageJapanese: return kJapaneseTexts;
    default: return kEnglishTexts;
    }
}

}  // namespace

std::uint16_t LanguageIdFromCode(std::uint16_t code) {
    switch (code) {
    case 2:
    case 12: return kLanguageFrench;
    case 3:
    case 13: return kLanguageSpanish;
    case 4: return kLanguageJapanese;
    case 14: return kLanguageGerman;
    case 15: return kLanguageItalian;
    default: return kLanguageEnglish;
    }
}

std::string_view NotifyText(std::uint16_t language, int number) {
    if (number < 1 || number > 10) return {};
    return TextsOf(language)[static_cast<std::size_t>(number - 1)];
}

std::string CharsetNameFor(std::uint16_t language, std::uint32_t codePage, std::uint16_t userLanguage) {
    if (language == kLanguageJapanese) return "ISO-2022-JP";
    if (language != kLanguageEnglish) return "ISO-8859-1";
    switch (codePage) {
    case 1252: return userLanguage == kLanguageEnglish ? "US-ASCII" : "ISO-8859-1";
    case 874: return "WINDOWS-874";
    case 936: return "GB2312";
    case 949: return "KS_C_5601-1987";
    case 950: return "BIG5";
    default:
        if (codePage >= 1250 && codePage <= 1258) return "WINDOWS-" + std::to_string(codePage);
        return "US-ASCII";
    }
}

std::string CharsetName(std::uint16_t language) {
    return CharsetNameFor(language, platform::AnsiCodePage(), platform::UserDefaultLanguage());
}

}  // namespace wbfax
