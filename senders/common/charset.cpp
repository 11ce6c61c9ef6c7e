#include "common/charset.h"

#include "base/text.h"

#include <array>
#include <cerrno>
#include <iconv.h>

namespace wbfax::senders {
namespace {

class Converter {
public:
    Converter(const std::string &from, const std::string &to) : cd_(::iconv_open(to.c_str(), from.c_str())) {}
    Converter(const Converter &) = delete;
    Converter &operator=(const Converter &) = delete;
    ~Converter() {
        if (ok()) ::iconv_close(cd_);
    }
    bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

    // Whole text, state flushed at the end (ISO-2022-JP returns to ASCII). With a replacement,
    // undecodable bytes are skipped and the replacement written instead.
    std::optional<std::string> Run(std::string_view text, std::string_view replacement = {}) {
        std::string out;
        char *in = const_cast<char *>(text.data());
        std::size_t inLeft = text.size();
        std::array<char, 1024> chunk;
        for (bool flushed = false; !flushed;) {
            char *o = chunk.data();
            std::size_t oLeft = chunk.size();
            std::size_t rc;
            if (inLeft) {
                rc = ::iconv(cd_, &in, &inLeft, &o, &oLeft);
            } else {
                rc = ::iconv(cd_, nullptr, nullptr, &o, &oLeft);
                flushed = rc != static_cast<std::size_t>(-1);
            }
            const int error = errno;
            out.append(chunk.data(), chunk.size() - oLeft);
            if (rc != static_cast<std::size_t>(-1) || error == E2BIG) continue;
            if ((error == EILSEQ || error == EINVAL) && !replacement.empty() && inLeft) {
                ++in;
                --inLeft;
                out += replacement;
                continue;
            }
            return std::nullopt;
        }
        return out;
    }

private:
    iconv_t cd_;
};

std::string CodePageName(std::uint32_t codePage) {
    if (codePage >= 1250 && codePage <= 1258) return "WINDOWS-" + std::to_string(codePage);
    return "CP" + std::to_string(codePage);
}

// Code page 932 gives a few characters other code points than the JIS table of ISO-2022-JP.
std::string ToJisCodePoints(std::string_view utf8) {
    static constexpr std::array<std::pair<std::string_view, std::string_view>, 6> kTwins{{
        {"\xEF\xBD\x9E", "\xE3\x80\x9C"},  // fullwidth tilde -> wave dash
        {"\xE2\x88\xA5", "\xE2\x80\x96"},  // parallel to -> double vertical line
        {"\xEF\xBC\x8D", "\xE2\x88\x92"},  // fullwidth hyphen-minus -> minus sign
        {"\xEF\xBF\xA0", "\xC2\xA2"},      // fullwidth cent sign
        {"\xEF\xBF\xA1", "\xC2\xA3"},      // fullwidth pound sign
        {"\xEF\xBF\xA2", "\xC2\xAC"},      // fullwidth not sign
    }};
    std::string text(utf8);
    for (const auto &[from, to] : kTwins)
        for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
            text.replace(at, from.size(), to);
    return text;
}

}  // namespace

std::uint32_t SourceCodePage(std::string_view charCode) {
    if (EqualsIgnoringCase(charCode, "ISO-2022-JP")) return 932;
    if (EqualsIgnoringCase(charCode, "GB2312")) return 936;
    if (EqualsIgnoringCase(charCode, "KS_C_5601-1987")) return 949;
    if (EqualsIgnoringCase(charCode, "BIG5")) return 950;
    if (StartsWithIgnoringCase(charCode, "WINDOWS-")) {
        const std::int32_t page = ParseDecimal(charCode.substr(8));
        if (page == 874 || (page >= 1250 && page <= 1258)) return static_cast<std::uint32_t>(page);
    }
    return 1252;  // US-ASCII and ISO-8859-1 jobs carry the European texts
}

std::string ToUtf8(std::string_view text, std::uint32_t codePage) {
    Converter converter(CodePageName(codePage), "UTF-8");
    if (!converter.ok()) return std::string(text);
    return converter.Run(text, "\xEF\xBF\xBD").value_or(std::string());
}

std::optional<std::string> FromUtf8(std::string_view utf8, std::string_view charset) {
    const bool japanese = EqualsIgnoringCase(charset, "ISO-2022-JP");
    // Mail names iconv spells otherwise.
    const std::string target = EqualsIgnoringCase(charset, "KS_C_5601-1987") ? "CP949" : std::string(charset);
    Converter converter("UTF-8", target);
    if (!converter.ok()) return std::nullopt;
    return japanese ? converter.Run(ToJisCodePoints(utf8)) : converter.Run(utf8);
}

bool IsAscii(std::string_view text) {
    for (const char c : text)
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    return true;
}

}  // namespace wbfax::senders
