// The language module WbFaxRcvLC (.dll, .so) and, on Windows, the folder menu and icons that the
// settings load from whichever resource module is in use. The drawn dialogs' controls and texts
// are the dialog tests' (tests/gui).
#include "platform/platform.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

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
    // The English texts are not the module's own.
    EXPECT_NE(platform::LoadResourceString(module, 51), platform::LoadResourceString(platform::ThisModule(), 51));
    platform::FreeModule(module);
}

#if defined(_WIN32)

// Both resource modules carry the menu and the icons.
enum ResourceModule { kModule, kLanguageModule };
class MenuAndIcons : public ::testing::TestWithParam<ResourceModule> {
protected:
    void SetUp() override {
        const char *path = GetParam() == kModule ? WBFAX_MODULE_PATH : WBFAX_LANGUAGE_MODULE_PATH;
        module_ = ::LoadLibraryExA(path, nullptr, LOAD_LIBRARY_AS_DATAFILE);
        ASSERT_NE(module_, nullptr) << path;
    }
    void TearDown() override { ::FreeLibrary(module_); }
    HMODULE module_ = nullptr;
};

TEST_P(MenuAndIcons, AreThere) {
    HMENU menu = ::LoadMenuA(module_, MAKEINTRESOURCEA(107));
    ASSERT_NE(menu, nullptr);
    HMENU folder = ::GetSubMenu(menu, 0);
    ASSERT_NE(folder, nullptr);
    std::vector<UINT> items;
    for (int i = 0; i < ::GetMenuItemCount(folder); ++i) items.push_back(::GetMenuItemID(folder, i));
    EXPECT_EQ(items, (std::vector<UINT>{40001, 40003, 0, 40002}));  // the separator has no id
    ::DestroyMenu(menu);
    for (const char *name : {"IDI_ICON_FLD_OPEN1", "IDI_ICON_FLD_CLOSE1"})
        EXPECT_NE(::FindResourceA(module_, name, MAKEINTRESOURCEA(14)), nullptr) << name;  // RT_GROUP_ICON
}

INSTANTIATE_TEST_SUITE_P(ResourceModules, MenuAndIcons, ::testing::Values(kModule, kLanguageModule),
                         [](const ::testing::TestParamInfo<ResourceModule> &info) {
                             return info.param == kModule ? std::string("Module") : std::string("LanguageModule");
                         });

#endif

}  // namespace
}  // namespace wbfax
