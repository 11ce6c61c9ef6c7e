// The language module WbFaxRcvLC (.dll, .so), and on Windows what both resource modules carry
// beyond the dialogs, whose drawn texts the dialog tests (tests/gui) check.
#include "platform/platform.h"

#include <gtest/gtest.h>

#include <string>

#if defined(_WIN32)
#include <windows.h>
#undef FreeModule
#endif

namespace wbfax {
namespace {

TEST(LanguageModule, CarriesEveryStringOfTheTableInEnglishAndNothingElse) {
    const platform::ModuleHandle module = platform::LoadModule(WBFAX_LANGUAGE_MODULE_PATH);
    ASSERT_NE(module, 0u) << WBFAX_LANGUAGE_MODULE_PATH;
    int strings = 0;
#define WBFAX_STRING(id, japanese, english) \
    ++strings;                              \
    EXPECT_EQ(platform::LoadResourceString(module, id), english) << "string " << id;
#include "resources/strings.def"
#undef WBFAX_STRING
    EXPECT_GE(strings, 40);
    for (int missing : {0, 25, 49, 71, 105}) EXPECT_EQ(platform::LoadResourceString(module, missing), "") << missing;
    EXPECT_NE(platform::LoadResourceString(module, 51), platform::LoadResourceString(platform::ThisModule(), 51));
    platform::FreeModule(module);
}

#if defined(_WIN32)
TEST(LanguageModule, BothResourceModulesCarryTheFolderIcons) {
    for (const char *path : {WBFAX_MODULE_PATH, WBFAX_LANGUAGE_MODULE_PATH}) {
        const HMODULE module = ::LoadLibraryExA(path, nullptr, LOAD_LIBRARY_AS_DATAFILE);
        ASSERT_NE(module, nullptr) << path;
        for (const char *name : {"IDI_ICON_FLD_OPEN1", "IDI_ICON_FLD_CLOSE1"})
            EXPECT_NE(::FindResourceA(module, name, MAKEINTRESOURCEA(14)), nullptr) << path << " " << name;  // RT_GROUP_ICON
        ::FreeLibrary(module);
    }
}
#endif

}  // namespace
}  // namespace wbfax
