// The built WbFaxRcvExt.dll as the host's loader sees it: its entry point and its string table.
// Runs in code page 932, where the Japanese texts of the string table come out as Shift-JIS
// bytes. Its version information is dll_outside_test.sh's.
#include "test_support.h"

#include <windows.h>

#include <cstdint>
#include <string>

namespace wbfax {
namespace {

class Dll : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(::GetACP(), 932u) << "run with a Japanese locale (WBFAX_WINE_LANG=ja_JP.UTF-8)";
        char self[MAX_PATH] = {};
        ::GetModuleFileNameA(nullptr, self, sizeof self);
        const std::string path = std::string(self).substr(0, std::string(self).find_last_of('\\') + 1) + "WbFaxRcvExt.dll";
        module = ::LoadLibraryA(path.c_str());
        ASSERT_NE(module, nullptr) << path << " error " << ::GetLastError();
    }
    void TearDown() override {
        if (module) ::FreeLibrary(module);
    }
    HMODULE module = nullptr;
};

TEST_F(Dll, AnswersCommandOneThroughItsExport) {
    using Entry = std::int32_t(__cdecl *)(std::int32_t, std::uint32_t *, std::uintptr_t *);
    const auto entry = reinterpret_cast<Entry>(reinterpret_cast<void *>(::GetProcAddress(module, "wbCatchExtExpFunc")));
    ASSERT_NE(entry, nullptr);
    char version[16] = {}, name[64] = {};
    std::uint32_t first = 0, second = 9, result = 0;
    std::uintptr_t slots[6] = {sizeof version | sizeof name << 16, reinterpret_cast<std::uintptr_t>(version),
                               reinterpret_cast<std::uintptr_t>(name), reinterpret_cast<std::uintptr_t>(&first),
                               reinterpret_cast<std::uintptr_t>(&second), 0};
    EXPECT_EQ(entry(1, &result, slots), 1);
    EXPECT_STREQ(version, "2.2.2");
    EXPECT_STREQ(name, "QV-Network FAX Receive Handler");
    EXPECT_EQ(result, 1u);
}

TEST_F(Dll, StringTableHoldsTheDialogTextsInTheAnsiCodePageAndNothingElse) {
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
}

}  // namespace
}  // namespace wbfax
