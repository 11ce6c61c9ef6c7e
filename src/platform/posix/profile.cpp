// The Windows profile functions, as the reference system behaves. The file is decoded into wide
// characters (ANSI code page, or UTF-8 / UTF-16 after a byte order mark), parsed into sections
// and keys with blanks trimmed, and a write that changes something rewrites the whole file from
// that model, in its own encoding, with CR LF line ends. Names match ignoring ASCII case only.
#include "platform/platform.h"
#include "platform/posix/posix_internal.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace wbfax::platform {
namespace {

// The system's wide characters, one unit each: UTF-16 code units (unpaired surrogates and all),
// and above them the characters of code pages other than 1252, kept as their bytes.
using Text = std::u32string;
using OptText = std::optional<Text>;

// ---- Code pages ----

constexpr char32_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

// The system's best-fit mapping of code page 1252, for characters it cannot hold (besides the
// full-width forms U+FF01..U+FF5E, which map to ASCII). Everything else becomes "?".
struct BestFit {
    char16_t unit;
    unsigned char byte;
};
constexpr BestFit kCp1252BestFit[] = {
    {0x0100, 0x41}, {0x0101, 0x61}, {0x0102, 0x41}, {0x0103, 0x61}, {0x0104, 0x41}, {0x0105, 0x61}, {0x0106, 0x43},
    {0x0107, 0x63}, {0x0108, 0x43}, {0x0109, 0x63}, {0x010A, 0x43}, {0x010B, 0x63}, {0x010C, 0x43}, {0x010D, 0x63},
    {0x010E, 0x44}, {0x010F, 0x64}, {0x0110, 0xD0}, {0x0111, 0x64}, {0x0112, 0x45}, {0x0113, 0x65}, {0x0114, 0x45},
    {0x0115, 0x65}, {0x0116, 0x45}, {0x0117, 0x65}, {0x0118, 0x45}, {0x0119, 0x65}, {0x011A, 0x45}, {0x011B, 0x65},
    {0x011C, 0x47}, {0x011D, 0x67}, {0x011E, 0x47}, {0x011F, 0x67}, {0x0120, 0x47}, {0x0121, 0x67}, {0x0122, 0x47},
    {0x0123, 0x67}, {0x0124, 0x48}, {0x0125, 0x68}, {0x0126, 0x48}, {0x0127, 0x68}, {0x0128, 0x49}, {0x0129, 0x69},
    {0x012A, 0x49}, {0x012B, 0x69}, {0x012C, 0x49}, {0x012D, 0x69}, {0x012E, 0x49}, {0x012F, 0x69}, {0x0130, 0x49},
    {0x0131, 0x69}, {0x0134, 0x4A}, {0x0135, 0x6A}, {0x0136, 0x4B}, {0x0137, 0x6B}, {0x0139, 0x4C}, {0x013A, 0x6C},
    {0x013B, 0x4C}, {0x013C, 0x6C}, {0x013D, 0x4C}, {0x013E, 0x6C}, {0x0141, 0x4C}, {0x0142, 0x6C}, {0x0143, 0x4E},
    {0x0144, 0x6E}, {0x0145, 0x4E}, {0x0146, 0x6E}, {0x0147, 0x4E}, {0x0148, 0x6E}, {0x014C, 0x4F}, {0x014D, 0x6F},
    {0x014E, 0x4F}, {0x014F, 0x6F}, {0x0150, 0x4F}, {0x0151, 0x6F}, {0x0154, 0x52}, {0x0155, 0x72}, {0x0156, 0x52},
    {0x0157, 0x72}, {0x0158, 0x52}, {0x0159, 0x72}, {0x015A, 0x53}, {0x015B, 0x73}, {0x015C, 0x53}, {0x015D, 0x73},
    {0x015E, 0x53}, {0x015F, 0x73}, {0x0162, 0x54}, {0x0163, 0x74}, {0x0164, 0x54}, {0x0165, 0x74}, {0x0166, 0x54},
    {0x0167, 0x74}, {0x0168, 0x55}, {0x0169, 0x75}, {0x016A, 0x55}, {0x016B, 0x75}, {0x016C, 0x55}, {0x016D, 0x75},
    {0x016E, 0x55}, {0x016F, 0x75}, {0x0170, 0x55}, {0x0171, 0x75}, {0x0172, 0x55}, {0x0173, 0x75}, {0x0174, 0x57},
    {0x0175, 0x77}, {0x0176, 0x59}, {0x0177, 0x79}, {0x0179, 0x5A}, {0x017A, 0x7A}, {0x017B, 0x5A}, {0x017C, 0x7A},
    {0x0180, 0x62}, {0x0189, 0xD0}, {0x0191, 0x83}, {0x0197, 0x49}, {0x019A, 0x6C}, {0x019F, 0x4F}, {0x01A0, 0x4F},
    {0x01A1, 0x6F}, {0x01AB, 0x74}, {0x01AE, 0x54}, {0x01AF, 0x55}, {0x01B0, 0x75}, {0x01B6, 0x7A}, {0x01C0, 0x7C},
    {0x01C3, 0x21}, {0x01CD, 0x41}, {0x01CE, 0x61}, {0x01CF, 0x49}, {0x01D0, 0x69}, {0x01D1, 0x4F}, {0x01D2, 0x6F},
    {0x01D3, 0x55}, {0x01D4, 0x75}, {0x01D5, 0x55}, {0x01D6, 0x75}, {0x01D7, 0x55}, {0x01D8, 0x75}, {0x01D9, 0x55},
    {0x01DA, 0x75}, {0x01DB, 0x55}, {0x01DC, 0x75}, {0x01DE, 0x41}, {0x01DF, 0x61}, {0x01E4, 0x47}, {0x01E5, 0x67},
    {0x01E6, 0x47}, {0x01E7, 0x67}, {0x01E8, 0x4B}, {0x01E9, 0x6B}, {0x01EA, 0x4F}, {0x01EB, 0x6F}, {0x01EC, 0x4F},
    {0x01ED, 0x6F}, {0x01F0, 0x6A}, {0x0261, 0x67}, {0x02B9, 0x27}, {0x02BA, 0x22}, {0x02BC, 0x27}, {0x02C4, 0x5E},
    {0x02C8, 0x27}, {0x02C9, 0xAF}, {0x02CA, 0xB4}, {0x02CB, 0x60}, {0x02CD, 0x5F}, {0x02DA, 0xB0}, {0x0300, 0x60},
    {0x0301, 0xB4}, {0x0302, 0x5E}, {0x0303, 0x7E}, {0x0304, 0xAF}, {0x0305, 0xAF}, {0x0308, 0xA8}, {0x030A, 0xB0},
    {0x030E, 0x22}, {0x0327, 0xB8}, {0x0331, 0x5F}, {0x0332, 0x5F}, {0x037E, 0x3B}, {0x0393, 0x47}, {0x0398, 0x54},
    {0x03A3, 0x53}, {0x03A6, 0x46}, {0x03A9, 0x4F}, {0x03B1, 0x61}, {0x03B2, 0xDF}, {0x03B4, 0x64}, {0x03B5, 0x65},
    {0x03BC, 0xB5}, {0x03C0, 0x70}, {0x03C3, 0x73}, {0x03C4, 0x74}, {0x03C6, 0x66}, {0x04BB, 0x68}, {0x0589, 0x3A},
    {0x066A, 0x25}, {0x2000, 0x20}, {0x2001, 0x20}, {0x2002, 0x20}, {0x2003, 0x20}, {0x2004, 0x20}, {0x2005, 0x20},
    {0x2006, 0x20}, {0x2010, 0x2D}, {0x2011, 0x2D}, {0x2017, 0x3D}, {0x2024, 0xB7}, {0x2032, 0x27}, {0x2035, 0x60},
    {0x2044, 0x2F}, {0x2070, 0xB0}, {0x2074, 0x34}, {0x2075, 0x35}, {0x2076, 0x36}, {0x2077, 0x37}, {0x2078, 0x38},
    {0x207F, 0x6E}, {0x2080, 0x30}, {0x2081, 0x31}, {0x2082, 0x32}, {0x2083, 0x33}, {0x2084, 0x34}, {0x2085, 0x35},
    {0x2086, 0x36}, {0x2087, 0x37}, {0x2088, 0x38}, {0x2089, 0x39}, {0x20A1, 0xA2}, {0x20A4, 0xA3}, {0x20A7, 0x50},
    {0x2102, 0x43}, {0x2107, 0x45}, {0x210A, 0x67}, {0x210B, 0x48}, {0x210C, 0x48}, {0x210D, 0x48}, {0x210E, 0x68},
    {0x2110, 0x49}, {0x2111, 0x49}, {0x2112, 0x4C}, {0x2113, 0x6C}, {0x2115, 0x4E}, {0x2118, 0x50}, {0x2119, 0x50},
    {0x211A, 0x51}, {0x211B, 0x52}, {0x211C, 0x52}, {0x211D, 0x52}, {0x2124, 0x5A}, {0x2128, 0x5A}, {0x212A, 0x4B},
    {0x212B, 0xC5}, {0x212C, 0x42}, {0x212D, 0x43}, {0x212E, 0x65}, {0x212F, 0x65}, {0x2130, 0x45}, {0x2131, 0x46},
    {0x2133, 0x4D}, {0x2134, 0x6F}, {0x2205, 0xD8}, {0x2212, 0x2D}, {0x2213, 0xB1}, {0x2215, 0x2F}, {0x2216, 0x5C},
    {0x2217, 0x2A}, {0x2218, 0xB0}, {0x2219, 0xB7}, {0x221A, 0x76}, {0x221E, 0x38}, {0x2223, 0x7C}, {0x2229, 0x6E},
    {0x2236, 0x3A}, {0x223C, 0x7E}, {0x2248, 0x98}, {0x2261, 0x3D}, {0x2264, 0x3D}, {0x2265, 0x3D}, {0x226A, 0xAB},
    {0x226B, 0xBB}, {0x22C5, 0xB7}, {0x2302, 0xA6}, {0x2303, 0x5E}, {0x2310, 0xAC}, {0x2320, 0x28}, {0x2321, 0x29},
    {0x2329, 0x3C}, {0x232A, 0x3E}, {0x2500, 0x2D}, {0x2502, 0xA6}, {0x250C, 0x2B}, {0x2510, 0x2B}, {0x2514, 0x2B},
    {0x2518, 0x2B}, {0x251C, 0x2B}, {0x2524, 0xA6}, {0x252C, 0x2D}, {0x2534, 0x2D}, {0x253C, 0x2B}, {0x2550, 0x2D},
    {0x2551, 0xA6}, {0x2552, 0x2B}, {0x2553, 0x2B}, {0x2554, 0x2B}, {0x2555, 0x2B}, {0x2556, 0x2B}, {0x2557, 0x2B},
    {0x2558, 0x2B}, {0x2559, 0x2B}, {0x255A, 0x2B}, {0x255B, 0x2B}, {0x255C, 0x2B}, {0x255D, 0x2B}, {0x255E, 0xA6},
    {0x255F, 0xA6}, {0x2560, 0xA6}, {0x2561, 0xA6}, {0x2562, 0xA6}, {0x2563, 0xA6}, {0x2564, 0x2D}, {0x2565, 0x2D},
    {0x2566, 0x2D}, {0x2567, 0x2D}, {0x2568, 0x2D}, {0x2569, 0x2D}, {0x256A, 0x2B}, {0x256B, 0x2B}, {0x256C, 0x2B},
    {0x2580, 0xAF}, {0x2584, 0x5F}, {0x2588, 0xA6}, {0x258C, 0xA6}, {0x2590, 0xA6}, {0x2591, 0xA6}, {0x2592, 0xA6},
    {0x2593, 0xA6}, {0x25A0, 0xA6}, {0x263C, 0xA4}, {0x2758, 0x7C}, {0x3000, 0x20}, {0x3008, 0x3C}, {0x3009, 0x3E},
    {0x300A, 0xAB}, {0x300B, 0xBB}, {0x301A, 0x5B}, {0x301B, 0x5D}, {0x30FB, 0xB7},
};

// Other code pages are not converted: a character beyond ASCII becomes a unit above Unicode
// that holds its one or two bytes, so it passes through unchanged, never folds and, like the
// system's wide character, counts as one.
constexpr char32_t kOpaqueBase = 0x110000;

Text DecodeAnsi(std::string_view bytes, std::uint32_t codePage) {
    Text text;
    text.reserve(bytes.size());
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const auto c = static_cast<unsigned char>(bytes[i]);
        if (codePage == 1252) {
            text += c >= 0x80 && c < 0xA0 ? kCp1252High[c - 0x80] : static_cast<char32_t>(c);
        } else if (IsLeadByteOf(codePage, c) && i + 1 < bytes.size()) {
            text += kOpaqueBase + (c << 8 | static_cast<unsigned char>(bytes[++i]));
        } else {
            text += c < 0x80 ? static_cast<char32_t>(c) : static_cast<char32_t>(kOpaqueBase + c);
        }
    }
    return text;
}

std::string EncodeAnsiUnit(char32_t unit, std::uint32_t codePage) {
    if (unit < 0x80) return std::string(1, static_cast<char>(unit));
    if (codePage != 1252) {
        if (unit < kOpaqueBase) return "?";
        const std::uint32_t bytes = unit - kOpaqueBase;
        return bytes > 0xFF ? std::string{static_cast<char>(bytes >> 8), static_cast<char>(bytes & 0xFF)}
                            : std::string(1, static_cast<char>(bytes));
    }
    if (unit >= 0xA0 && unit <= 0xFF) return std::string(1, static_cast<char>(unit));
    for (int i = 0; i < 32; ++i)
        if (kCp1252High[i] == unit) return std::string(1, static_cast<char>(0x80 + i));
    if (unit >= 0xFF01 && unit <= 0xFF5E) return std::string(1, static_cast<char>(unit - 0xFF01 + 0x21));
    const auto *end = std::end(kCp1252BestFit);
    const auto *fit = std::lower_bound(std::begin(kCp1252BestFit), end, unit,
                                       [](const BestFit &entry, char32_t u) { return entry.unit < u; });
    return std::string(1, fit != end && fit->unit == unit ? static_cast<char>(fit->byte) : '?');
}

std::string EncodeAnsi(std::u32string_view text, std::uint32_t codePage) {
    std::string bytes;
    bytes.reserve(text.size());
    for (const char32_t unit : text) bytes += EncodeAnsiUnit(unit, codePage);
    return bytes;
}

// UTF-8 as the system decodes it: a malformed sequence gives one U+FFFD for the bytes read up
// to the first that does not fit, and a sequence cut off by the end of the file swallows it.
Text DecodeUtf8(std::string_view bytes) {
    Text text;
    std::size_t i = 0;
    while (i < bytes.size()) {
        const auto c = static_cast<unsigned char>(bytes[i++]);
        if (c < 0x80) {
            text += static_cast<char32_t>(c);
            continue;
        }
        const std::size_t length = c >= 0xC2 && c <= 0xDF ? 1 : c >= 0xE0 && c <= 0xEF ? 2 : c >= 0xF0 && c <= 0xF4 ? 3 : 0;
        std::uint32_t code = c & (length == 1 ? 0x1F : length == 2 ? 0x0F : 0x07);
        bool ok = false;
        if (i + length > bytes.size()) {
            i = bytes.size();
        } else {
            auto next = [&](std::uint32_t &value) {
                const unsigned char trail = static_cast<unsigned char>(bytes[i]) ^ 0x80;
                if (trail >= 0x40) return false;
                value = (value << 6) | trail;
                ++i;
                return true;
            };
            switch (length) {
            case 3:
                if (!next(code) || code < 0x10) break;
                [[fallthrough]];
            case 2: {
                if (i >= bytes.size() || (static_cast<unsigned char>(bytes[i]) ^ 0x80) >= 0x40) break;
                const std::uint32_t value = (code << 6) | (static_cast<unsigned char>(bytes[i]) ^ 0x80);
                if (value >= (0x110000 >> 6)) break;
                code = value;
                ++i;
                if (code < 0x20 || (code >= (0xD800 >> 6) && code <= (0xDFFF >> 6))) break;
            }
                [[fallthrough]];
            case 1: ok = next(code) && code >= 0x80; break;
            default: break;
            }
        }
        if (!ok) {
            text += U'\xFFFD';
        } else if (code < 0x10000) {
            text += static_cast<char32_t>(code);
        } else {
            code -= 0x10000;
            text += static_cast<char32_t>(0xD800 + (code >> 10));
            text += static_cast<char32_t>(0xDC00 + (code & 0x3FF));
        }
    }
    return text;
}

std::string EncodeUtf8(std::u32string_view text) {
    std::string bytes;
    for (std::size_t i = 0; i < text.size(); ++i) {
        std::uint32_t code = text[i];
        if (code >= 0xD800 && code <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF)
            code = 0x10000 + ((code - 0xD800) << 10) + (text[++i] - 0xDC00);
        else if ((code >= 0xD800 && code <= 0xDFFF) || code >= kOpaqueBase)
            code = 0xFFFD;
        if (code < 0x80) {
            bytes += static_cast<char>(code);
        } else if (code < 0x800) {
            bytes += static_cast<char>(0xC0 | (code >> 6));
            bytes += static_cast<char>(0x80 | (code & 0x3F));
        } else if (code < 0x10000) {
            bytes += static_cast<char>(0xE0 | (code >> 12));
            bytes += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            bytes += static_cast<char>(0x80 | (code & 0x3F));
        } else {
            bytes += static_cast<char>(0xF0 | (code >> 18));
            bytes += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
            bytes += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            bytes += static_cast<char>(0x80 | (code & 0x3F));
        }
    }
    return bytes;
}

// An odd last byte is read as a whole character: the system reads one byte past the data there.
Text DecodeUtf16(std::string_view bytes, bool bigEndian) {
    Text text;
    for (std::size_t i = 0; i < bytes.size(); i += 2) {
        const auto first = static_cast<unsigned char>(bytes[i]);
        const auto second = i + 1 < bytes.size() ? static_cast<unsigned char>(bytes[i + 1]) : 0;
        text += static_cast<char32_t>(bigEndian ? (first << 8) | second : (second << 8) | first);
    }
    return text;
}

std::string EncodeUtf16(std::u32string_view text, bool bigEndian) {
    std::string bytes;
    for (char32_t unit : text) {
        if (unit > 0xFFFF) unit = 0xFFFD;
        const char high = static_cast<char>(unit >> 8), low = static_cast<char>(unit & 0xFF);
        bytes += bigEndian ? high : low;
        bytes += bigEndian ? low : high;
    }
    return bytes;
}

enum class Encoding { Ansi, Utf8, Utf16Le, Utf16Be };

// ---- The parsed file ----

struct Key {
    Text name;
    OptText value;  // a line without "=" has none
};

struct Section {
    Text name;  // the first, unnamed section holds the lines before any header
    std::vector<Key> keys;
};

struct Profile {
    Encoding encoding = Encoding::Ansi;
    std::vector<Section> sections{Section{}};
};

// Ctrl-Z counts as a blank: old files end with it.
bool IsBlank(char32_t c) { return (c >= 0x09 && c <= 0x0D) || c == 0x1A || c == 0x20; }

std::u32string_view Trim(std::u32string_view text) {
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    return text;
}

std::u32string_view TrimLeft(std::u32string_view text) {
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    return text;
}

// Names and values end at a NUL character, as C strings do.
Text UpToNul(std::u32string_view text) { return Text(text.substr(0, text.find(U'\0'))); }

bool SameName(std::u32string_view a, std::u32string_view b) {
    auto fold = [](char32_t c) { return c >= U'A' && c <= U'Z' ? static_cast<char32_t>(c + 32) : c; };
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [&](char32_t x, char32_t y) { return fold(x) == fold(y); });
}

Profile Parse(std::string_view bytes, std::uint32_t codePage) {
    Profile profile;
    Text text;
    if (bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF") {
        profile.encoding = Encoding::Utf8;
        text = DecodeUtf8(bytes.substr(3));
    } else if (bytes.size() >= 2 && bytes.substr(0, 2) == "\xFF\xFE") {
        profile.encoding = Encoding::Utf16Le;
        text = DecodeUtf16(bytes.substr(2), false);
    } else if (bytes.size() >= 2 && bytes.substr(0, 2) == "\xFE\xFF") {
        profile.encoding = Encoding::Utf16Be;
        text = DecodeUtf16(bytes.substr(2), true);
    } else {
        text = DecodeAnsi(bytes, codePage);
    }

    Section *section = &profile.sections.back();
    const Key *previous = nullptr;
    const std::u32string_view all(text);
    std::size_t next = 0;
    while (next < all.size()) {
        const std::size_t start = next;
        while (next < all.size() && all[next] != U'\n' && all[next] != U'\r') ++next;
        while (next < all.size() && (all[next] == U'\n' || all[next] == U'\r')) ++next;
        const std::u32string_view line = Trim(all.substr(start, next - start));
        if (line.empty()) continue;

        if (line.front() == U'[') {
            const std::size_t close = line.rfind(U']');
            if (close != std::u32string_view::npos) {
                profile.sections.push_back(Section{UpToNul(Trim(line.substr(1, close - 1))), {}});
                section = &profile.sections.back();
                previous = nullptr;
                continue;
            }
        }

        std::u32string_view name = line;
        OptText value;
        const std::size_t eq = line.find(U'=');
        if (eq != std::u32string_view::npos) {
            name = line.substr(0, eq);
            while (!name.empty() && IsBlank(name.back())) name.remove_suffix(1);
            value = UpToNul(TrimLeft(line.substr(eq + 1)));
        }
        // Of several nameless lines in a row only the first is kept.
        if (name.empty() && previous && previous->name.empty()) continue;
        section->keys.push_back(Key{UpToNul(name), std::move(value)});
        previous = &section->keys.back();
    }
    return profile;
}

std::string Serialize(const Profile &profile, std::uint32_t codePage) {
    Text text;
    for (const Section &section : profile.sections) {
        if (!section.name.empty()) text += U"[" + section.name + U"]\r\n";
        for (const Key &key : section.keys) {
            text += key.name;
            if (key.value) text += U"=" + *key.value;
            text += U"\r\n";
        }
    }
    switch (profile.encoding) {
    case Encoding::Utf8: return "\xEF\xBB\xBF" + EncodeUtf8(text);
    case Encoding::Utf16Le: return "\xFF\xFE" + EncodeUtf16(text, false);
    case Encoding::Utf16Be: return "\xFE\xFF" + EncodeUtf16(text, true);
    case Encoding::Ansi: break;
    }
    return EncodeAnsi(text, codePage);
}

// Finds a key the way reads and writes name it: blanks around the names do not count. With
// create, a missing section or key is added at the end, named without its leading blanks.
Key *FindKey(Profile &profile, const Text &sectionArg, const Text &keyArg, bool create) {
    const std::u32string_view sectionName = TrimLeft(sectionArg), keyName = TrimLeft(keyArg);
    for (Section &section : profile.sections) {
        if (!SameName(section.name, Trim(sectionName))) continue;
        for (Key &key : section.keys)
            if (SameName(key.name, Trim(keyName))) return &key;
        if (!create) return nullptr;
        section.keys.push_back(Key{Text(keyName), std::nullopt});
        return &section.keys.back();
    }
    if (!create) return nullptr;
    profile.sections.push_back(Section{Text(sectionName), {Key{Text(keyName), std::nullopt}}});
    return &profile.sections.back().keys.back();
}

// ---- Files ----

// A name without a folder lies in the Windows directory.
std::string ProfilePath(const char *file) {
    // The native form tells separators from the second bytes of double-byte characters.
    const std::string name = NativePath(file ? file : "win.ini");
    if (name.find('/') == std::string::npos) return WindowsDirectory() + "/" + name;
    return name;
}

bool IsDirectory(const std::string &path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

struct Opened {
    bool ok = false;  // false: the file could not be opened (not merely missing)
    Profile profile;
};

// A missing file opens as an empty one; a missing folder, like any other failure, does not.
Opened Open(const std::string &path, std::uint32_t codePage, bool forWriting) {
    std::string bytes;
    switch (ReadWholeFile(path, bytes)) {
    case ReadResult::Ok:
        if (forWriting && ::access(path.c_str(), W_OK) != 0) return {};
        return {true, Parse(bytes, codePage)};
    case ReadResult::Missing: {
        const std::size_t slash = path.rfind('/');
        const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
        if (!IsDirectory(folder)) return {};
        return {true, Profile{}};
    }
    case ReadResult::Unreadable: break;
    }
    return {};
}

// A read parses the file once for as long as it stays the same file: the same identity, size
// and times (every write of ours renames a new file into place, which is a new identity).
std::shared_ptr<const Opened> OpenForReading(const std::string &path, std::uint32_t codePage) {
    struct Cached {
        struct stat st;
        std::uint32_t codePage;
        std::shared_ptr<const Opened> opened;
    };
    static std::mutex mutex;
    static std::map<std::string, Cached> cache;
    struct stat st {};
    const bool identified = ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
    if (identified) {
        const std::lock_guard<std::mutex> guard(mutex);
        const auto it = cache.find(path);
        if (it != cache.end() && it->second.codePage == codePage && SameFileState(it->second.st, st)) return it->second.opened;
    }
    auto opened = std::make_shared<const Opened>(Open(path, codePage, false));
    if (identified && opened->ok && SettledLongEnough(st)) {
        const std::lock_guard<std::mutex> guard(mutex);
        if (cache.size() > 16) cache.clear();
        cache[path] = Cached{st, codePage, opened};
    }
    return opened;
}

const Key *FindExistingKey(const Profile &profile, const Text &section, const Text &key) {
    return FindKey(const_cast<Profile &>(profile), section, key, false);  // without create nothing changes
}

// ---- The functions on wide characters ----

// lstrcpyn into a buffer of size characters: at most size - 1 and a NUL.
void CopyTruncated(std::vector<char32_t> &buffer, std::u32string_view text) {
    const std::size_t n = std::min(text.size(), buffer.size() - 1);
    std::copy_n(text.begin(), n, buffer.begin());
    buffer[n] = U'\0';
}

std::size_t Length(const std::vector<char32_t> &buffer) {
    return static_cast<std::size_t>(std::find(buffer.begin(), buffer.end(), U'\0') - buffer.begin());
}

// A value in matching quotes is returned without them. The closing quote is dropped by
// shortening the copy, so a buffer just too small for the value loses one more character.
void CopyEntry(std::vector<char32_t> &buffer, std::u32string_view value) {
    bool quoted = false;
    if (value.size() >= 2 && (value.front() == U'\'' || value.front() == U'"') && value.back() == value.front()) {
        quoted = true;
        value.remove_prefix(1);
    }
    CopyTruncated(buffer, value);
    if (quoted && buffer.size() >= value.size()) {
        const std::size_t n = Length(buffer);
        if (n > 0) buffer[n - 1] = U'\0';
    }
}

// The names of all sections, each ended by a NUL; the list is cut to fit the buffer.
std::uint32_t SectionNames(const Profile &profile, std::vector<char32_t> &buffer) {
    const std::size_t size = buffer.size();
    if (size == 1) {
        buffer[0] = U'\0';
        return 0;
    }
    std::size_t room = size - 1, at = 0;
    for (const Section &section : profile.sections) {
        if (section.name.empty()) continue;
        const std::size_t length = section.name.size() + 1;
        if (length >= room) {
            std::copy_n(section.name.begin(), room - 1, buffer.begin() + static_cast<std::ptrdiff_t>(at));
            at += room - 1;
            buffer[at++] = U'\0';
            buffer[at] = U'\0';
            return static_cast<std::uint32_t>(size - 2);
        }
        std::copy(section.name.begin(), section.name.end(), buffer.begin() + static_cast<std::ptrdiff_t>(at));
        at += length;
        buffer[at - 1] = U'\0';
        room -= length;
    }
    buffer[at] = U'\0';
    return static_cast<std::uint32_t>(at);
}

// The names of a section's keys, each ended by a NUL; comments and lines without "=" left out.
std::uint32_t SectionKeys(const Profile &profile, std::u32string_view sectionName, std::vector<char32_t> &buffer) {
    const std::size_t size = buffer.size();
    for (const Section &section : profile.sections) {
        if (!SameName(section.name, sectionName)) continue;
        std::size_t room = size, at = 0;
        for (const Key &key : section.keys) {
            if (room <= 2) break;
            if (!key.value || (!key.name.empty() && key.name[0] == U';')) continue;
            const std::size_t n = std::min(key.name.size(), room - 2);
            std::copy_n(key.name.begin(), n, buffer.begin() + static_cast<std::ptrdiff_t>(at));
            buffer[at + n] = U'\0';
            room -= n + 1;
            at += n + 1;
            if (room < 2) break;
        }
        if (at < size) buffer[at] = U'\0';
        if (room <= 1) {
            if (at > 0) buffer[at - 1] = U'\0';
            return static_cast<std::uint32_t>(size - 2);
        }
        return static_cast<std::uint32_t>(size - room);
    }
    buffer[0] = U'\0';
    if (size > 1) buffer[1] = U'\0';
    return 0;
}

std::uint32_t GetStringWide(const OptText &section, const OptText &key, const OptText &defaultArg,
                            std::vector<char32_t> &buffer, const std::string &path, std::uint32_t codePage) {
    Text defaultValue = defaultArg.value_or(Text());
    if (!section) {
        const std::shared_ptr<const Opened> opened = OpenForReading(path, codePage);
        return opened->ok ? SectionNames(opened->profile, buffer) : 0;
    }
    if (!key) {
        const std::shared_ptr<const Opened> opened = OpenForReading(path, codePage);
        std::uint32_t length = 0;
        if (opened->ok) length = SectionKeys(opened->profile, *section, buffer);
        else buffer[0] = U'\0';
        if (buffer[0] == U'\0') {
            CopyEntry(buffer, defaultValue);
            length = static_cast<std::uint32_t>(Length(buffer));
        }
        return length;
    }

    // Trailing blanks of a default are dropped, though never its first character.
    std::size_t end = defaultValue.size();
    while (end > 1 && defaultValue[end - 1] == U' ') --end;
    defaultValue.resize(end);

    const std::shared_ptr<const Opened> opened = OpenForReading(path, codePage);
    if (!opened->ok) {
        CopyTruncated(buffer, defaultValue);  // no quotes are removed on this path
    } else {
        const Key *found = FindExistingKey(opened->profile, *section, *key);
        CopyEntry(buffer, found && found->value ? *found->value : defaultValue);
    }
    return static_cast<std::uint32_t>(Length(buffer));
}

OptText Widen(const char *text, std::uint32_t codePage) {
    if (!text) return std::nullopt;
    return DecodeAnsi(text, codePage);
}

// Replaced whole: a reader in another process sees the old file or the new one, never a
// truncated one, and a write that fails leaves the old file.
bool Save(const Profile &profile, const std::string &path, std::uint32_t codePage) {
    return ReplaceFileContent(path, Serialize(profile, codePage), false);
}

}  // namespace

std::uint32_t ProfileGetString(const char *section, const char *key, const char *defaultValue, char *buffer,
                               std::uint32_t size, const char *file) {
    if (!buffer || size == 0) return 0;
    const std::uint32_t codePage = AnsiCodePage();
    std::vector<char32_t> wide(size, U'\0');
    const std::uint32_t length = GetStringWide(Widen(section, codePage), Widen(key, codePage),
                                               Widen(defaultValue, codePage), wide, ProfilePath(file), codePage);
    // Whole characters while they fit; when one does not, the rest of the buffer is left as it
    // was and the text counts as filling it.
    std::size_t used = 0;
    for (std::size_t i = 0; i < std::min<std::size_t>(length, size); ++i) {
        const std::string bytes = EncodeAnsiUnit(wide[i], codePage);
        if (used + bytes.size() > size - 1) {
            buffer[size - 1] = '\0';
            return size - 1;
        }
        std::memcpy(buffer + used, bytes.data(), bytes.size());
        used += bytes.size();
    }
    buffer[used] = '\0';
    return static_cast<std::uint32_t>(used);
}

std::uint32_t ProfileGetInt(const char *section, const char *key, std::int32_t defaultValue, const char *file) {
    const std::uint32_t codePage = AnsiCodePage();
    std::vector<char32_t> wide(30, U'\0');
    if (GetStringWide(Widen(section, codePage), Widen(key, codePage), Text(), wide, ProfilePath(file), codePage) == 0 ||
        wide[0] == U'\0')
        return static_cast<std::uint32_t>(defaultValue);

    // The system's string-to-integer conversion: base prefixes 0b, 0o and 0x, wrapping arithmetic.
    const char32_t *p = wide.data();
    while (*p && *p <= U' ') ++p;
    bool minus = false;
    if (*p == U'+' || *p == U'-') minus = *p++ == U'-';
    unsigned base = 10;
    if (p[0] == U'0' && (p[1] == U'b' || p[1] == U'o' || p[1] == U'x')) {
        base = p[1] == U'b' ? 2 : p[1] == U'o' ? 8 : 16;
        p += 2;
    }
    std::uint32_t total = 0;
    for (; *p; ++p) {
        unsigned digit;
        if (*p >= U'0' && *p <= U'9') digit = static_cast<unsigned>(*p - U'0');
        else if (*p >= U'A' && *p <= U'Z') digit = static_cast<unsigned>(*p - U'A' + 10);
        else if (*p >= U'a' && *p <= U'z') digit = static_cast<unsigned>(*p - U'a' + 10);
        else break;
        if (digit >= base) break;
        total = total * base + digit;
    }
    return minus ? 0u - total : total;
}

bool ProfileWriteString(const char *section, const char *key, const char *value, const char *file) {
    if (!section) return false;  // without a section only a cache flush is asked for, and reported as failure
    const std::uint32_t codePage = AnsiCodePage();
    const std::string path = ProfilePath(file);
    // Read, change and write back as one step against every other writer.
    const FolderLock lock(FolderOfNative(path));
    Opened opened = Open(path, codePage, true);
    if (!opened.ok) return false;
    Profile &profile = opened.profile;
    const Text sectionName = DecodeAnsi(section, codePage);

    if (!key) {
        // The whole first section of that name goes; a failed save is not reported.
        auto it = std::find_if(profile.sections.begin(), profile.sections.end(),
                               [&](const Section &s) { return SameName(s.name, sectionName); });
        if (it != profile.sections.end()) {
            profile.sections.erase(it);
            Save(profile, path, codePage);
        }
        return true;
    }

    const Text keyName = DecodeAnsi(key, codePage);
    if (!value) {
        // Deleting looks through every section of that name, and the names are taken as given.
        for (Section &s : profile.sections) {
            if (!SameName(s.name, sectionName)) continue;
            auto it = std::find_if(s.keys.begin(), s.keys.end(), [&](const Key &k) { return SameName(k.name, keyName); });
            if (it != s.keys.end()) {
                s.keys.erase(it);
                return Save(profile, path, codePage);
            }
        }
        return true;
    }

    Key *found = FindKey(profile, sectionName, keyName, true);
    const Text newValue(TrimLeft(DecodeAnsi(value, codePage)));
    if (found->value && *found->value == newValue) return true;  // unchanged: the file is not touched
    found->value = newValue;
    return Save(profile, path, codePage);
}

}  // namespace wbfax::platform
