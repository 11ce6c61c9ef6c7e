// The built WbFaxRcvExt.dll's string table as the host's loader sees it: in code page 932 the
// Japanese texts come out as Shift-JIS bytes. Its export and version are dll_outside_test.sh's.
#include "test_support.h"

#include <windows.h>

#include <string>

namespace wbfax {
namespace {

TEST(Dll, StringTableHoldsTheDialogTextsInTheAnsiCodePageAndNothingElse) {
    ASSERT_EQ(::GetACP(), 932u) << "run with a Japanese locale (WBFAX_WINE_LANG=ja_JP.UTF-8)";
    char self[MAX_PATH] = {};
    ::GetModuleFileNameA(nullptr, self, sizeof self);
    const std::string path = std::string(self).substr(0, std::string(self).find_last_of('\\') + 1) + "WbFaxRcvExt.dll";
    const HMODULE module = ::LoadLibraryA(path.c_str());
    ASSERT_NE(module, nullptr) << path << " error " << ::GetLastError();
    const auto load = [&](unsigned id) {
        char buffer[260] = "untouched";
        const int n = ::LoadStringA(module, id, buffer, sizeof buffer);
        return n > 0 ? std::string(buffer, static_cast<std::size_t>(n)) : std::string();
    };
#define WBFAX_STRING(id, japanese, english) \
    EXPECT_EQ(load(id), test::ToCodePage(japanese, "CP932")) << "string " << id;
#include "resources/strings.def"
#undef WBFAX_STRING
    for (unsigned id : {0u, 25u, 30u, 49u, 71u, 100u}) EXPECT_EQ(load(id), "") << "string " << id;
    ::FreeLibrary(module);
}

}  // namespace
}  // namespace wbfax
