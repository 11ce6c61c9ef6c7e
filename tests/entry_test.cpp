// The exported entry point and the module-wide services.
#include "ui/help.h"
#include "entry/entry.h"
#include "base/module.h"
#include "entry/startup.h"
#include "base/services.h"
#include "test_support.h"

#include <array>
#include <cstring>

namespace wbfax {
namespace {

struct InfoCall {
    std::array<char, 40> version;
    std::array<char, 40> name;
    std::uint32_t first = 7, second = 7, result = 7;
    std::int32_t returned = 0;
};

InfoCall SendInfo(std::uint16_t versionCapacity, std::uint16_t nameCapacity) {
    InfoCall call;
    call.version.fill('X');
    call.name.fill('X');
    std::uintptr_t slots[6] = {static_cast<std::uintptr_t>(versionCapacity | std::uint32_t{nameCapacity} << 16),
                               reinterpret_cast<std::uintptr_t>(call.version.data()),
                               reinterpret_cast<std::uintptr_t>(call.name.data()),
                               reinterpret_cast<std::uintptr_t>(&call.first),
                               reinterpret_cast<std::uintptr_t>(&call.second),
                               0};
    call.returned = wbCatchExtExpFunc(1, &call.result, slots);
    return call;
}

TEST(Information, FillsBothBuffersUpToTheirCapacities) {
    const InfoCall call = SendInfo(10, 35);
    EXPECT_EQ(call.returned, 1);
    EXPECT_EQ(call.result, 1u);
    EXPECT_EQ(call.first, 1u);
    EXPECT_EQ(call.second, 0u);
    EXPECT_STREQ(call.version.data(), "2.2.2");
    EXPECT_STREQ(call.name.data(), "QV-Network FAX Receive Handler");
    // The rest of the capacity is NUL, nothing beyond it is touched.
    EXPECT_EQ(std::string(call.version.data() + 5, 5), std::string(5, '\0'));
    EXPECT_EQ(call.version[10], 'X');
    EXPECT_EQ(call.name[35], 'X');
}

TEST(Information, CutsTextsToShortBuffers) {
    const InfoCall call = SendInfo(4, 3);
    EXPECT_EQ(std::string(call.version.data(), 4), std::string("2.2\0", 4));
    EXPECT_EQ(call.version[4], 'X');
    EXPECT_EQ(std::string(call.name.data(), 3), std::string("QV\0", 3));
    EXPECT_EQ(call.name[3], 'X');
}

class Dispatch : public test::ScratchInstall {};

TEST_F(Dispatch, UnknownCommandsSetResultThreeAndReturnOne) {
    for (std::int32_t command : {0, 7, -1, 1000}) {
        std::uint32_t result = 0;
        std::uintptr_t slots[6] = {};
        EXPECT_EQ(wbCatchExtExpFunc(command, &result, slots), 1) << command;
        EXPECT_EQ(result, 3u) << command;
    }
}

TEST_F(Dispatch, CommandsTwoToSixLeaveTheResultWordAlone) {
    for (std::int32_t command : {2, 3, 4, 5, 6}) {
        std::uint32_t result = 0xABCD;
        std::uintptr_t slots[6] = {};  // a command 2 without a description is rejected unread
        EXPECT_EQ(wbCatchExtExpFunc(command, &result, slots), 1) << command;
        EXPECT_EQ(result, 0xABCDu) << command;
    }
}

TEST(OsVersionClass, ClassifiesSystems) {
    struct Case {
        platform::VersionInfo version;
        int expected;
    };
    const Case cases[] = {
        {{2, 4, 0}, 1},   // NT 4.0
        {{2, 3, 51}, 1},  // NT 3.51
        {{2, 5, 1}, 2},   // XP
        {{2, 6, 1}, 3},   // 7
        {{1, 4, 10}, 0},  // 98
        {{2, 10, 0}, 0},  // a major version the module does not know
    };
    for (const Case &c : cases)
        EXPECT_EQ(ClassifyVersion(c.version), c.expected) << c.version.platformId << " " << c.version.major;
    EXPECT_EQ(OsVersionClass(), 3);  // what this build reports
}

TEST(UiFont, ChosenByCodePageAndLanguage) {
    EXPECT_FALSE(ChooseUiFont(1252, "English"));
    EXPECT_FALSE(ChooseUiFont(437, "English"));

    const auto arial = ChooseUiFont(1250, "English");
    ASSERT_TRUE(arial);
    EXPECT_EQ(arial->charset, 238);
    EXPECT_EQ(arial->faceName, "Arial");
    EXPECT_EQ(arial->height, -11);

    for (const char *japanese : {"Japanese", "JAPANESE", "jApAnEsE"}) EXPECT_FALSE(ChooseUiFont(932, japanese)) << japanese;
    const auto gothic = ChooseUiFont(932, "English");
    ASSERT_TRUE(gothic);
    EXPECT_EQ(gothic->charset, 128);
    EXPECT_EQ(gothic->height, -12);
    EXPECT_EQ(gothic->faceName, test::ToCodePage("\xEF\xBC\xAD\xEF\xBC\xB3 \xEF\xBC\xB0\xE3\x82\xB4\xE3\x82\xB7\xE3\x83\x83\xE3\x82\xAF", "CP932"));

    const std::pair<std::uint32_t, int> charsets[] = {{874, 222},  {936, 134},  {949, 129},  {950, 136},  {1251, 204},
                                                      {1253, 161}, {1254, 162}, {1255, 177}, {1256, 178}, {1257, 186},
                                                      {1258, 163}};
    for (const auto &[codePage, charset] : charsets) {
        const auto font = ChooseUiFont(codePage, "Japanese");
        ASSERT_TRUE(font) << codePage;
        EXPECT_EQ(font->charset, charset) << codePage;
        EXPECT_TRUE(font->faceName.empty()) << codePage;
        EXPECT_EQ(font->height, -11) << codePage;
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

TEST(NextField, SplitsAtSemicolons) {
    std::string_view text = "Sales;123;;a,b";
    EXPECT_EQ(NextField(text), "Sales");
    EXPECT_EQ(NextField(text), "123");
    EXPECT_EQ(NextField(text), "");
    EXPECT_EQ(NextField(text), "a,b");
    EXPECT_TRUE(text.empty());
    EXPECT_EQ(NextField(text), "");

    std::string_view trailing = "x;";
    EXPECT_EQ(NextField(trailing), "x");
    EXPECT_TRUE(trailing.empty());
}

}  // namespace
}  // namespace wbfax
