// The exported entry point and the module-wide services.
#include "ui/help.h"
#include "entry/entry.h"
#include "base/module.h"
#include "entry/startup.h"
#include "base/services.h"
#include "base/text.h"
#include "test_support.h"

#include <array>
#include <vector>

namespace wbfax {
namespace {

TEST(Information, FillsBothBuffersUpToTheirCapacitiesAndNoFurther) {
    const struct {
        std::uint16_t versionCapacity, nameCapacity;
        std::string version, name;
    } cases[] = {
        {10, 35, std::string("2.2.2\0\0\0\0\0X", 11), std::string("QV-Network FAX Receive Handler\0\0\0\0\0X", 36)},
        {4, 3, std::string("2.2\0X", 5), std::string("QV\0X", 4)},
    };
    for (const auto &c : cases) {
        std::array<char, 40> version, name;
        version.fill('X');
        name.fill('X');
        std::uint32_t first = 7, second = 7, result = 7;
        std::uintptr_t slots[6] = {static_cast<std::uintptr_t>(c.versionCapacity | std::uint32_t{c.nameCapacity} << 16),
                                   reinterpret_cast<std::uintptr_t>(version.data()), reinterpret_cast<std::uintptr_t>(name.data()),
                                   reinterpret_cast<std::uintptr_t>(&first), reinterpret_cast<std::uintptr_t>(&second), 0};
        const auto returned = static_cast<std::uint32_t>(wbCatchExtExpFunc(1, &result, slots));
        EXPECT_EQ(std::string(version.data(), c.version.size()), c.version);
        EXPECT_EQ(std::string(name.data(), c.name.size()), c.name);
        EXPECT_EQ((std::vector<std::uint32_t>{returned, result, first, second}), (std::vector<std::uint32_t>{1, 1, 1, 0}));
    }
}

class Dispatch : public test::ScratchInstall {};

// Unknown commands answer 3; commands 2 to 6 leave the result word alone.
TEST_F(Dispatch, EveryCommandReturnsOne) {
    for (std::int32_t command : {0, 7, -1, 1000, 2, 3, 4, 5, 6}) {
        std::uint32_t result = 0xABCD;
        std::uintptr_t slots[6] = {};  // a command 2 without a description is rejected unread
        EXPECT_EQ(wbCatchExtExpFunc(command, &result, slots), 1) << command;
        EXPECT_EQ(result, command >= 2 && command <= 6 ? 0xABCDu : 3u) << command;
    }
}

TEST(OsVersionClass, ClassifiesSystems) {
    // NT 4.0, NT 3.51, XP, 7, 98, and a major version the module does not know
    const std::pair<platform::VersionInfo, int> cases[] = {{{2, 4, 0}, 1}, {{2, 3, 51}, 1}, {{2, 5, 1}, 2},
                                                           {{2, 6, 1}, 3}, {{1, 4, 10}, 0}, {{2, 10, 0}, 0}};
    for (const auto &[version, expected] : cases)
        EXPECT_EQ(ClassifyVersion(version), expected) << version.platformId << " " << version.major;
    EXPECT_EQ(OsVersionClass(), 3);  // what this build reports
}

// Japanese in code page 932 and any language in the Western code pages use the system's font.
TEST(UiFont, ChosenByCodePageAndLanguage) {
    const std::string gothic = test::ToCodePage("\xEF\xBC\xAD\xEF\xBC\xB3 \xEF\xBC\xB0\xE3\x82\xB4\xE3\x82\xB7\xE3\x83\x83\xE3\x82\xAF", "CP932");
    const struct {
        std::uint32_t codePage;
        const char *language;
        std::string font;  // "": none of its own
    } cases[] = {{1252, "English", ""}, {437, "English", ""}, {932, "jApAnEsE", ""}, {1250, "English", "238 Arial -11"},
                 {932, "English", "128 " + gothic + " -12"}, {936, "Japanese", "134  -11"}, {1251, "Japanese", "204  -11"}};
    for (const auto &c : cases) {
        const auto font = ChooseUiFont(c.codePage, c.language);
        EXPECT_EQ(font ? Format("%d %s %d", font->charset, font->faceName.c_str(), font->height) : "", c.font) << c.codePage;
    }
}

class ModuleStart : public test::ScratchInstall {};

TEST_F(ModuleStart, MakesTheFontOfTheSystemCodePage) {
    EXPECT_EQ(Module().uiFont, 0u);  // 1252 by default
    EXPECT_EQ(Module().resourceInstance, platform::ThisModule());
#if !defined(_WIN32)  // Windows takes the code page from the system, not from the environment
    test::SetEnv("WBFAX_ACP", "1250");
    ModuleShutdown();
    ModuleStartup(platform::ThisModule());
    ASSERT_TRUE(Module().uiFontSpec);
    EXPECT_NE(Module().uiFont, 0u);
    EXPECT_EQ(Module().uiFontSpec->faceName, "Arial");

    test::SetEnv("WBFAX_ACP", "932");
    test::WriteFile(ConfigFile(), "[LANGUAGE]\r\nLanguage=japanese\r\n");
    ModuleShutdown();
    ModuleStartup(platform::ThisModule());
    EXPECT_EQ(Module().uiFont, 0u);
    EXPECT_FALSE(Module().uiFontSpec);
#endif
}

TEST(Help, TargetFollowsTheConfigurationFolder) {
    EXPECT_EQ(HelpTarget(""), "WBFAXRCVEXT.HLP>CONTREF");
    EXPECT_EQ(HelpTarget("C:\\Quillbox"), "C:\\Quillbox\\WBFAXRCVEXT.HLP>CONTREF");
}

}  // namespace
}  // namespace wbfax
