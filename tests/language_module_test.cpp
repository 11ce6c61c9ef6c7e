// The language module WbFaxRcvLC (.dll, .so) and, on Windows, the dialog templates, menu and
// icons that the settings load from whichever resource module is in use.
#include "platform/platform.h"

#include <gtest/gtest.h>

#include <cstring>
#include <cwctype>
#include <string>
#include <vector>

#if defined(_WIN32)
#include <windows.h>
#include <commctrl.h>
#undef FreeModule
#endif

namespace wbfax {
namespace {

struct TableEntry {
    int id;
    const char *english;
};
const std::vector<TableEntry> &EnglishTable() {
    static const std::vector<TableEntry> table = {
#define WBFAX_STRING(id, japanese, english) {id, english},
#include "resources/strings.def"
#undef WBFAX_STRING
    };
    return table;
}

class LanguageModule : public ::testing::Test {
protected:
    void SetUp() override {
        module_ = platform::LoadModule(WBFAX_LANGUAGE_MODULE_PATH);
        ASSERT_NE(module_, 0u) << WBFAX_LANGUAGE_MODULE_PATH;
    }
    void TearDown() override { platform::FreeModule(module_); }
    platform::ModuleHandle module_ = 0;
};

TEST_F(LanguageModule, CarriesEveryStringOfTheTableInEnglishAndNothingElse) {
    ASSERT_GE(EnglishTable().size(), 40u);
    for (const TableEntry &entry : EnglishTable())
        EXPECT_EQ(platform::LoadResourceString(module_, entry.id), entry.english) << "string " << entry.id;
    for (int missing : {0, 25, 49, 71, 105})
        EXPECT_EQ(platform::LoadResourceString(module_, missing), "") << "string " << missing;
    // The English texts are not the module's own.
    EXPECT_NE(platform::LoadResourceString(module_, 51), platform::LoadResourceString(platform::ThisModule(), 51));
}

#if defined(_WIN32)

// ---- dialog templates, read back from the compiled resources ----

struct Control {
    int id;
    int x, y, cx, cy;
    std::uint32_t style;
    std::wstring className;  // the predefined classes by name, as the template's atom means them
};
struct Template {
    bool extended = false;
    std::uint32_t style = 0, exStyle = 0;
    int cx = 0, cy = 0;
    std::wstring caption, face;
    int points = 0;
    std::vector<Control> controls;
};

class Reader {
public:
    explicit Reader(const unsigned char *at) : at_(at) {}
    std::uint16_t Word() {
        std::uint16_t v;
        std::memcpy(&v, at_, 2);
        at_ += 2;
        return v;
    }
    std::uint32_t Dword() {
        std::uint32_t v;
        std::memcpy(&v, at_, 4);
        at_ += 4;
        return v;
    }
    short Short() { return static_cast<short>(Word()); }
    std::wstring Text() {
        std::wstring text;
        for (std::uint16_t c; (c = Word()) != 0;) text += static_cast<wchar_t>(c);
        return text;
    }
    // A name or an ordinal (0xFFFF, then the number).
    std::wstring NameOrOrdinal(int *ordinal = nullptr) {
        std::uint16_t first;
        std::memcpy(&first, at_, 2);
        if (first == 0xFFFF) {
            Word();
            const std::uint16_t number = Word();
            if (ordinal) *ordinal = number;
            return L"#" + std::to_wstring(number);
        }
        return Text();
    }
    void Skip(std::size_t bytes) { at_ += bytes; }
    void Align(std::size_t to) {
        while (reinterpret_cast<std::uintptr_t>(at_) % to) ++at_;
    }

private:
    const unsigned char *at_;
};

std::wstring ClassOfAtom(int atom) {
    switch (atom) {
    case 0x80: return L"BUTTON";
    case 0x81: return L"EDIT";
    case 0x82: return L"STATIC";
    case 0x83: return L"LISTBOX";
    case 0x84: return L"SCROLLBAR";
    case 0x85: return L"COMBOBOX";
    default: return L"?";
    }
}

std::wstring Upper(std::wstring text) {
    for (wchar_t &c : text) c = static_cast<wchar_t>(::towupper(c));
    return text;
}

Template ReadTemplate(HMODULE module, int id) {
    Template t;
    HRSRC found = ::FindResourceA(module, MAKEINTRESOURCEA(id), MAKEINTRESOURCEA(5));  // RT_DIALOG
    if (!found) return t;
    const auto *base = static_cast<const unsigned char *>(::LockResource(::LoadResource(module, found)));
    Reader r(base);
    const std::uint16_t version = r.Word(), signature = r.Word();
    if (version == 1 && signature == 0xFFFF) {
        t.extended = true;
        r.Dword();  // help id
        t.exStyle = r.Dword();
        t.style = r.Dword();
    } else {
        r = Reader(base);
        t.style = r.Dword();
        t.exStyle = r.Dword();
    }
    const int count = r.Word();
    r.Short();
    r.Short();
    t.cx = r.Short();
    t.cy = r.Short();
    r.NameOrOrdinal();  // menu
    r.NameOrOrdinal();  // class
    t.caption = r.Text();
    if (t.style & DS_SETFONT) {
        t.points = r.Word();
        if (t.extended) {
            r.Word();  // weight
            r.Word();  // italic, charset
        }
        t.face = r.Text();
    }
    for (int i = 0; i < count; ++i) {
        r.Align(4);
        Control c{};
        if (t.extended) {
            r.Dword();  // help id
            r.Dword();  // extended style
            c.style = r.Dword();
        } else {
            c.style = r.Dword();
            r.Dword();
        }
        c.x = r.Short();
        c.y = r.Short();
        c.cx = r.Short();
        c.cy = r.Short();
        c.id = t.extended ? static_cast<int>(r.Dword()) : r.Word();
        if (c.id == 0xFFFF) c.id = -1;
        int atom = 0;
        const std::wstring name = r.NameOrOrdinal(&atom);
        c.className = atom ? ClassOfAtom(atom) : Upper(name);
        r.NameOrOrdinal();  // text
        r.Skip(r.Word());  // creation data
        t.controls.push_back(c);
    }
    return t;
}

struct Expected {
    int id;
    const wchar_t *className;
    int x, y, cx, cy;
};

void ExpectControls(const Template &t, const std::vector<Expected> &expected, int dialog) {
    ASSERT_EQ(t.controls.size(), expected.size()) << "dialog " << dialog;
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const Control &c = t.controls[i];
        const Expected &e = expected[i];
        EXPECT_EQ(c.id, e.id) << "dialog " << dialog << ", control " << i;
        EXPECT_EQ(c.className, e.className) << "dialog " << dialog << ", control " << e.id;
        EXPECT_EQ((std::vector<int>{c.x, c.y, c.cx, c.cy}), (std::vector<int>{e.x, e.y, e.cx, e.cy}))
            << "dialog " << dialog << ", control " << e.id;
    }
}

const Control &ControlOf(const Template &t, int id) {
    static const Control none{};
    for (const Control &c : t.controls)
        if (c.id == id) return c;
    ADD_FAILURE() << "no control " << id;
    return none;
}

bool Has(std::uint32_t style, std::uint32_t bits) { return (style & bits) == bits; }
// Button and combo box kinds are numbers in the low bits, not flags.
std::uint32_t ButtonKind(const Control &c) { return c.style & BS_TYPEMASK; }

// Both resource modules lay the dialogs out alike; only their texts differ.
enum ResourceModule { kModule, kLanguageModule };
class DialogTemplates : public ::testing::TestWithParam<ResourceModule> {
protected:
    void SetUp() override {
        const char *path = GetParam() == kModule ? WBFAX_MODULE_PATH : WBFAX_LANGUAGE_MODULE_PATH;
        module_ = ::LoadLibraryExA(path, nullptr, LOAD_LIBRARY_AS_DATAFILE);
        ASSERT_NE(module_, nullptr) << path;
    }
    void TearDown() override { ::FreeLibrary(module_); }
    HMODULE module_ = nullptr;
};

TEST_P(DialogTemplates, ListDialogHasItsControlsWhereTheyBelong) {
    const Template t = ReadTemplate(module_, 101);
    EXPECT_TRUE(t.extended);
    EXPECT_EQ(t.cx, 335);
    EXPECT_EQ(t.cy, 223);
    EXPECT_TRUE(Has(t.style, DS_MODALFRAME | DS_SETFOREGROUND | WS_CAPTION | WS_SYSMENU));
    EXPECT_TRUE(Has(t.exStyle, WS_EX_CONTEXTHELP));
    ExpectControls(t,
                   {{1002, L"EDIT", 20, 18, 284, 12},
                    {-1, L"BUTTON", 7, 7, 321, 26},
                    {-1, L"BUTTON", 7, 40, 321, 156},
                    {1104, L"BUTTON", 155, 52, 50, 14},
                    {1105, L"BUTTON", 213, 52, 50, 14},
                    {1106, L"BUTTON", 271, 52, 50, 14},
                    {-1, L"BUTTON", 13, 66, 76, 57},
                    {1103, L"LISTBOX", 19, 80, 65, 38},
                    {1107, L"SYSLISTVIEW32", 96, 69, 225, 118},
                    {1108, L"BUTTON", 8, 202, 50, 14},
                    {1109, L"BUTTON", 67, 202, 50, 14},
                    {1, L"BUTTON", 213, 202, 50, 14},
                    {2, L"BUTTON", 271, 202, 50, 14}},
                   101);
    EXPECT_TRUE(Has(ControlOf(t, 1002).style, ES_READONLY));
    EXPECT_TRUE(Has(ControlOf(t, 1103).style, LBS_NOTIFY));
    EXPECT_FALSE(ControlOf(t, 1103).style & LBS_SORT);
    EXPECT_TRUE(Has(ControlOf(t, 1107).style, LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS | LVS_SORTASCENDING));
    EXPECT_EQ(ButtonKind(ControlOf(t, 1)), static_cast<std::uint32_t>(BS_DEFPUSHBUTTON));
}

TEST_P(DialogTemplates, EnvironmentDialogHasItsControlsWhereTheyBelong) {
    const Template t = ReadTemplate(module_, 102);
    EXPECT_TRUE(t.extended);
    EXPECT_EQ(t.cx, 219);
    EXPECT_EQ(t.cy, 197);
    EXPECT_TRUE(Has(t.exStyle, WS_EX_CONTEXTHELP));
    ExpectControls(t,
                   {{1015, L"BUTTON", 7, 7, 86, 10},
                    {-1, L"BUTTON", 15, 18, 142, 111},
                    {-1, L"STATIC", 19, 25, 108, 10},
                    {1001, L"EDIT", 28, 39, 100, 12},
                    {-1, L"STATIC", 19, 56, 101, 10},
                    {1004, L"EDIT", 28, 68, 77, 12},
                    {1021, L"BUTTON", 19, 84, 121, 11},
                    {-1, L"STATIC", 31, 99, 101, 10},
                    {1019, L"COMBOBOX", 47, 111, 81, 53},
                    {1017, L"BUTTON", 7, 135, 125, 10},
                    {-1, L"BUTTON", 15, 145, 142, 43},
                    {-1, L"STATIC", 19, 154, 108, 10},
                    {1018, L"MSCTLS_UPDOWN32", 20, 168, 9, 15},
                    {1007, L"EDIT", 28, 168, 28, 15},
                    {-1, L"STATIC", 60, 172, 8, 8},
                    {1, L"BUTTON", 162, 22, 50, 14},
                    {2, L"BUTTON", 162, 39, 50, 14}},
                   102);
    EXPECT_EQ(ButtonKind(ControlOf(t, 1015)), static_cast<std::uint32_t>(BS_AUTORADIOBUTTON));
    EXPECT_TRUE(ControlOf(t, 1015).style & WS_GROUP);
    EXPECT_EQ(ButtonKind(ControlOf(t, 1017)), static_cast<std::uint32_t>(BS_AUTORADIOBUTTON));
    // The two radio buttons share one group: nothing between them starts another.
    bool between = false;
    for (const Control &c : t.controls) {
        if (c.id == 1017) break;
        if (between) {
            EXPECT_FALSE(c.style & WS_GROUP) << "control " << c.id << " splits the radio group";
        }
        if (c.id == 1015) between = true;
    }
    EXPECT_EQ(ButtonKind(ControlOf(t, 1021)), static_cast<std::uint32_t>(BS_AUTOCHECKBOX));
    EXPECT_EQ(ControlOf(t, 1019).style & 3u, static_cast<std::uint32_t>(CBS_DROPDOWNLIST));
    EXPECT_TRUE(Has(ControlOf(t, 1018).style, UDS_SETBUDDYINT | UDS_ARROWKEYS));
    EXPECT_TRUE(Has(ControlOf(t, 1007).style, ES_NUMBER | ES_RIGHT | WS_DISABLED));
}

TEST_P(DialogTemplates, DestinationDialogHasItsControlsWhereTheyBelong) {
    const Template t = ReadTemplate(module_, 104);
    EXPECT_TRUE(t.extended);
    EXPECT_EQ(t.cx, 231);
    EXPECT_EQ(t.cy, 273);
    EXPECT_TRUE(Has(t.exStyle, WS_EX_CONTEXTHELP));
    ExpectControls(t,
                   {{1200, L"STATIC", 7, 13, 101, 8},
                    {1201, L"EDIT", 14, 25, 141, 13},
                    {-1, L"BUTTON", 13, 43, 149, 146},
                    {1006, L"EDIT", 20, 56, 132, 12},
                    {1009, L"SYSTREEVIEW32", 20, 75, 132, 105},
                    {1202, L"EDIT", 168, 127, 41, 12},
                    {1203, L"EDIT", 174, 69, 45, 12},
                    {-1, L"STATIC", 13, 193, 211, 1},
                    {1008, L"SYSLISTVIEW32", 13, 199, 149, 63},
                    {1014, L"SYSLISTVIEW32", 13, 264, 149, 10},
                    {1010, L"BUTTON", 174, 200, 50, 14},
                    {1011, L"BUTTON", 174, 216, 50, 14},
                    {1012, L"BUTTON", 174, 232, 50, 14},
                    {1016, L"BUTTON", 174, 248, 50, 14},
                    {1, L"BUTTON", 174, 25, 50, 14},
                    {2, L"BUTTON", 174, 43, 50, 14}},
                   104);
    EXPECT_TRUE(Has(ControlOf(t, 1006).style, ES_READONLY));
    EXPECT_TRUE(Has(ControlOf(t, 1009).style, TVS_HASBUTTONS | TVS_HASLINES | TVS_EDITLABELS | TVS_SHOWSELALWAYS |
                                                  TVS_FULLROWSELECT | TVS_INFOTIP));
    EXPECT_TRUE(Has(ControlOf(t, 1202).style, ES_READONLY));
    EXPECT_FALSE(ControlOf(t, 1202).style & WS_VISIBLE);
    EXPECT_FALSE(ControlOf(t, 1203).style & WS_VISIBLE);
    EXPECT_TRUE(Has(ControlOf(t, 1203).style, WS_DISABLED));
    for (int list : {1008, 1014})
        EXPECT_TRUE(Has(ControlOf(t, list).style, LVS_REPORT | LVS_SINGLESEL | LVS_SORTASCENDING | LVS_EDITLABELS))
            << list;
    EXPECT_TRUE(ControlOf(t, 1008).style & WS_VISIBLE);
    EXPECT_FALSE(ControlOf(t, 1014).style & WS_VISIBLE);
}

TEST_P(DialogTemplates, LogAndMailAddressWindowsHaveTheirControlsWhereTheyBelong) {
    const Template log = ReadTemplate(module_, 110);
    EXPECT_FALSE(log.extended);
    EXPECT_EQ((std::vector<int>{log.cx, log.cy}), (std::vector<int>{273, 175}));
    EXPECT_EQ(log.caption, L"Error Log");
    ExpectControls(log,
                   {{1101, L"SYSLISTVIEW32", 7, 7, 259, 147}, {1, L"BUTTON", 7, 7, 50, 14}, {2, L"BUTTON", 61, 7, 50, 14}},
                   110);
    EXPECT_TRUE(Has(ControlOf(log, 1101).style, LVS_REPORT | LVS_SORTDESCENDING));
    EXPECT_FALSE(ControlOf(log, 1).style & WS_VISIBLE);
    EXPECT_FALSE(ControlOf(log, 2).style & WS_VISIBLE);

    const Template mail = ReadTemplate(module_, 108);
    EXPECT_FALSE(mail.extended);
    EXPECT_EQ((std::vector<int>{mail.cx, mail.cy}), (std::vector<int>{139, 201}));
    EXPECT_EQ(mail.caption, L"Mail Address");
    ExpectControls(mail,
                   {{1, L"BUTTON", 81, 7, 50, 14},
                    {2, L"BUTTON", 7, 7, 17, 14},
                    {1013, L"BUTTON", 26, 7, 50, 14},
                    {1101, L"SYSLISTVIEW32", 7, 29, 126, 165}},
                   108);
    EXPECT_FALSE(ControlOf(mail, 2).style & WS_VISIBLE);
    const std::uint32_t list = ControlOf(mail, 1101).style;
    EXPECT_TRUE(Has(list, LVS_REPORT | LVS_NOCOLUMNHEADER | LVS_SORTASCENDING));
    EXPECT_FALSE(list & LVS_SINGLESEL) << "several addresses can be picked at once";
}

TEST_P(DialogTemplates, FolderMenuAndIconsAreThere) {
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

INSTANTIATE_TEST_SUITE_P(ResourceModules, DialogTemplates, ::testing::Values(kModule, kLanguageModule),
                         [](const ::testing::TestParamInfo<ResourceModule> &info) {
                             return info.param == kModule ? std::string("Module") : std::string("LanguageModule");
                         });

TEST(DialogTemplates, TextsDifferBetweenTheModuleAndItsLanguageModule) {
    HMODULE own = ::LoadLibraryExA(WBFAX_MODULE_PATH, nullptr, LOAD_LIBRARY_AS_DATAFILE);
    HMODULE english = ::LoadLibraryExA(WBFAX_LANGUAGE_MODULE_PATH, nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_TRUE(own && english);
    EXPECT_EQ(ReadTemplate(own, 101).caption, L"\u914d\u4fe1\u8a2d\u5b9a\u30ea\u30b9\u30c8");  // 配信設定リスト
    EXPECT_EQ(ReadTemplate(own, 101).face, L"\uff2d\uff33 \uff30\u30b4\u30b7\u30c3\u30af");      // ＭＳ Ｐゴシック
    EXPECT_EQ(ReadTemplate(own, 101).points, 9);
    EXPECT_EQ(ReadTemplate(english, 101).caption, L"Distribution Settings");
    for (int id : {102, 104}) EXPECT_NE(ReadTemplate(own, id).caption, ReadTemplate(english, id).caption) << id;
    ::FreeLibrary(own);
    ::FreeLibrary(english);
}

#endif

}  // namespace
}  // namespace wbfax
