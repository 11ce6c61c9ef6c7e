// The string tables: the module's own texts are compiled in; a language module is a shared
// object that exports its table under the same name. Texts are kept in UTF-8 and handed out
// in the ANSI code page, as the Windows loader does.
#include "platform/platform.h"

#include <algorithm>
#include <cerrno>
#include <dlfcn.h>
#include <iconv.h>

namespace wbfax::platform {
namespace {

const char *OwnString(int id) {
    switch (id) {
#define WBFAX_STRING(number, japanese, english) \
    case number: return japanese;
#include "resources/strings.def"
#undef WBFAX_STRING
    default: return nullptr;
    }
}

std::string FromUtf8(const char *text, std::uint32_t codePage) {
    std::string in(text);
    if (codePage == 65001) return in;
    const std::string target = "CP" + std::to_string(codePage);
    iconv_t cd = ::iconv_open(target.c_str(), "UTF-8");
    if (cd == reinterpret_cast<iconv_t>(-1)) return in;
    std::string out(in.size() * 2 + 8, '\0');
    char *inp = in.data(), *outp = out.data();
    std::size_t inLeft = in.size(), outLeft = out.size();
    while (inLeft > 0) {
        if (::iconv(cd, &inp, &inLeft, &outp, &outLeft) != static_cast<std::size_t>(-1)) break;
        if (errno != EILSEQ || outLeft == 0) break;
        // A character the code page lacks becomes "?", as the system's conversion does.
        *outp++ = '?';
        --outLeft;
        const unsigned char lead = static_cast<unsigned char>(*inp);
        const std::size_t skip = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
        inp += std::min(skip, inLeft);
        inLeft -= std::min(skip, inLeft);
    }
    ::iconv_close(cd);
    out.resize(out.size() - outLeft);
    return out;
}

}  // namespace

std::string LoadResourceString(ModuleHandle resources, int id) {
    const char *text = nullptr;
    if (resources == ThisModule() || resources == 0) {
        text = OwnString(id);
    } else if (auto table = reinterpret_cast<const char *(*)(int)>(
                   ::dlsym(reinterpret_cast<void *>(resources), "wbfaxResourceString"))) {
        text = table(id);
    }
    return text ? FromUtf8(text, AnsiCodePage()) : std::string();
}

int ShowMessageBox(WindowHandle, const std::string &, const char *, std::uint32_t) { return 1; }

}  // namespace wbfax::platform
