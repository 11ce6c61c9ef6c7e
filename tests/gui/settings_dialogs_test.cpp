// Plays the host: command 3 to WbFaxRcvExt.dll, the dialogs worked from a second thread.
//   settings_dialogs_test [--english] [--screenshots FOLDER] [gtest options]
#include "gui/dialog_driver.h"

#include <gtest/gtest.h>
#include <shlobj.h>

#include "resources/dialog_ids.h"

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <thread>

namespace fs = std::filesystem;

namespace wbfax::gui {
namespace {

using EntryPoint = std::int32_t(__cdecl *)(std::int32_t, std::uint32_t *, std::uintptr_t *);

bool english = false;
EntryPoint entry = nullptr;

// The string table's text in the language the dialogs run in (UTF-8).
std::string Expected(int id) {
    switch (id) {
#define WBFAX_STRING(number, japanese, english_text) \
    case number: return english ? english_text : japanese;
#include "resources/strings.def"
#undef WBFAX_STRING
    default: return {};
    }
}

// The user's short date and time without seconds, as the system formats them.
std::string LocalWhen(WORD year, WORD month, WORD day, WORD hour, WORD minute) {
    SYSTEMTIME time{};
    time.wYear = year, time.wMonth = month, time.wDay = day, time.wHour = hour, time.wMinute = minute;
    wchar_t date[64] = {}, clock[64] = {};
    ::GetDateFormatW(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &time, nullptr, date, 64);
    ::GetTimeFormatW(LOCALE_USER_DEFAULT, TIME_NOSECONDS | LOCALE_NOUSEROVERRIDE, &time, nullptr, clock, 64);
    return Utf8(date) + " " + Utf8(clock);
}

class SettingsDialogs : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(entry, nullptr) << "WbFaxRcvExt.dll was not loaded";
        const char *owns = std::getenv("WBFAX_TEST_OWNS_APPDATA");
        if (!owns || std::string(owns) != "1") GTEST_FAIL() << "the tests clear Corvane\\Quillbox: set WBFAX_TEST_OWNS_APPDATA=1";
        char common[MAX_PATH] = {};
        ::SHGetFolderPathA(nullptr, CSIDL_COMMON_APPDATA, nullptr, 0, common);
        data_ = std::string(common) + "\\Corvane\\Quillbox";
        scratch_ = (fs::temp_directory_path() / ("wbfax-gui-" + std::to_string(::GetCurrentProcessId()))).string();
        box_ = scratch_ + "\\box7";
        for (const std::string &folder : {data_, scratch_}) fs::remove_all(folder);
        for (const std::string &folder : {data_, box_}) fs::create_directories(folder);
    }

    void TearDown() override {
        std::error_code ignored;
        for (const std::string &folder : {data_, scratch_}) fs::remove_all(folder, ignored);
    }

    std::string Config() const { return data_ + "\\wbcatch.ini"; }

    // The values of the keys, "?" for a missing one, each followed by "|".
    static std::string Profile(const std::string &file, const char *section, std::initializer_list<const char *> keys) {
        std::string values;
        for (const char *key : keys) {
            char value[512] = {};
            ::GetPrivateProfileStringA(section, key, "?", value, sizeof value, file.c_str());
            values += value + std::string("|");
        }
        return values;
    }

    // The work rule file of the first edit slot, the box's while the data folder starts empty.
    std::string WorkFile() const { return data_ + "\\Work001.rfd"; }

    // Command 3 for box 7 with the script working the list dialog meanwhile; OK closes it.
    void RunSettings(const std::function<void(HWND list)> &script) {
        std::atomic<bool> finished{false};
        std::thread worker([&] {
            try {
                const HWND list = WaitForDialog(IDC_KIND_LIST);
                EXPECT_EQ(ItemText(list, IDC_BOX_FOLDER), box_);
                script(list);
                Close(list);
            } catch (const StepFailed &failure) {
                ADD_FAILURE() << failure.what();
            }
            CloseEverything([&] { return finished.load(); });
        });
        std::uint32_t result = 0x55;
        std::uintptr_t slots[6] = {0, 7, 7, reinterpret_cast<std::uintptr_t>(box_.c_str()), 0, 0};
        EXPECT_EQ(entry(3, &result, slots), 1);
        finished = true;
        worker.join();
        EXPECT_EQ(result, 0x55u);
        EXPECT_EQ(::GetModuleHandleA("WbFaxRcvLC.dll"), nullptr) << "the language module stays loaded";
    }

    // New in the list: the destination dialog with a folder under the root chosen and the code typed.
    static HWND NewRule(HWND list, const char *folder, const char *code) {
        Press(list, IDC_RULE_NEW);
        const HWND dest = WaitForDialog(IDC_FOLDER_TREE);
        const HWND tree = ::GetDlgItem(dest, IDC_FOLDER_TREE);
        if (folder) TreeView_SelectItem(tree, Child(tree, TreeView_GetRoot(tree), folder));
        SetText(dest, IDC_CODE, code);
        return dest;
    }

    // The message box that came up has this string's text; it is answered.
    static void Answer(int stringId, int button = IDOK) {
        const HWND box = WaitForDialog([](HWND w) { return Text(w) == "Scanner Quillbox" && ::GetDlgItem(w, 0xFFFF); }, "a message box");
        EXPECT_EQ(ItemText(box, 0xFFFF), Expected(stringId));  // 0xFFFF: the message box's text
        Close(box, button);
    }

    static void Close(HWND window, int button = IDOK) { Press(window, button), WaitGone(window); }

    // A new row typed into an address list in place; a refused one answered.
    static void TypeAddress(HWND dest, HWND list, const std::string &text, int refusal = 0) {
        Press(dest, IDC_ADDRESS_NEW);
        HWND edit = nullptr;
        WaitUntil([&] { return (edit = ListView_GetEditControl(list)) != nullptr; }, "the address in-place edit");
        ::SetWindowTextW(edit, Wide(text).c_str());
        ::PostMessageW(edit, WM_KEYDOWN, VK_RETURN, 0);
        if (refusal) Answer(refusal);
        WaitUntil([&] { return ListView_GetEditControl(list) == nullptr; }, "the edit to end");
    }

    std::string data_, scratch_, box_;
};

TEST_F(SettingsDialogs, NewRulesAreCheckedAndStoredInAFolderMadeAndRenamedInTheTree) {
    RunSettings([&](HWND list) {
        const HWND rules = ::GetDlgItem(list, IDC_RULE_LIST);
        // A sub-address of three digits, then a duplicate, are refused and the dialog stays.
        HWND dest = NewRule(list, "Rx", "123");
        Press(dest, IDOK);
        Answer(16);
        SetText(dest, IDC_CODE, "1234");
        Close(dest);
        dest = NewRule(list, "Rx", "1234");
        Press(dest, IDOK);
        Answer(6);
        Close(dest, IDCANCEL);
        EXPECT_EQ(Table(rules, 2), "1234|Rx");

        ::SendDlgItemMessageW(list, IDC_KIND_LIST, LB_SETCURSEL, 1, 0);
        Notify(list, IDC_KIND_LIST, LBN_SELCHANGE);
        WaitUntil([&] { return Rows(rules) == 0; }, "the sender numbers, of which there are none");
        dest = NewRule(list, nullptr, "+81 3*");
        const HWND tree = ::GetDlgItem(dest, IDC_FOLDER_TREE);
        // A new folder under the root, then its name typed over in place.
        TreeView_SelectItem(tree, TreeView_GetRoot(tree));
        Press(dest, IDM_NEW_FOLDER);
        WaitUntil([&] { return ItemLabel(tree, TreeView_GetSelection(tree)) == Expected(57); }, "the new folder");
        const auto edit = reinterpret_cast<HWND>(
            ::SendMessageW(tree, TVM_EDITLABELW, 0, reinterpret_cast<LPARAM>(TreeView_GetSelection(tree))));
        if (!edit) throw StepFailed("no in-place edit in the tree");
        ::SetWindowTextW(edit, L"Sales");
        ::SendMessageW(tree, TVM_ENDEDITLABELNOW, FALSE, 0);
        EXPECT_EQ(ItemText(dest, IDC_SELECTED_FOLDER) + "|" + ItemText(dest, IDC_FOLDER_NAME), "Sales|Sales");
        EXPECT_TRUE(fs::is_directory(box_ + "\\Sales") && !fs::exists(fs::path(box_) / Wide(Expected(57))));

        const HWND mail = ::GetDlgItem(dest, IDC_MAIL_LIST);
        TypeAddress(dest, mail, "fax@example.com");
        WaitUntil([&] { return Table(mail) == "fax@example.com"; }, "the typed address");
        Screenshot(dest, "destination");
        Close(dest);
        EXPECT_EQ(Table(rules, 2), "+81 3*|Sales");
        Screenshot(list, "list");
    });
    const std::string work = WorkFile();
    EXPECT_EQ(Profile(work, "FCODE", {"F001", "F002"}) + Profile(work, "TSI", {"T001"}) + Profile(work, "OTHER", {"OtherFile"}),
              "Rx;1234;;|?|Sales;+81 3*;+813*;fax@example.com;|Rx;;|");
    EXPECT_FALSE(fs::exists(data_ + "\\WbFaxRcv007.rfd")) << "only the host's commit writes the box's rules";
}

TEST_F(SettingsDialogs, RulesSortEditAndDeleteInTheWorkFileAndTheMailAddressWindowOffersTheBoxsAddresses) {
    std::ofstream(data_ + "\\WbFaxRcv007.rfd", std::ios::binary)
        << "[FCODE]\r\nF001=Rx;3333;a@example.com;\r\nF002=Tx;1111;;\r\nF003=Rx;2222;b@example.com;PC9\r\n"
           "[TSI]\r\nT001=Tx;0312;0312;carol@example.com;\r\n[OTHER]\r\nOtherFile=Rx;;b@example.com,a@example.com;\r\n";
    RunSettings([&](HWND list) {
        const HWND rules = ::GetDlgItem(list, IDC_RULE_LIST);
        EXPECT_EQ(Table(rules, 2), "1111|Tx 2222|Rx 3333|Rx") << "kept in ascending order";
        // Clicks on the folder header sort ascending, descending, then ascending again.
        for (const char *first : {"Rx", "Tx", "Rx"}) {
            ClickHeader(rules, 1);
            WaitUntil([&] { return Cell(rules, 0, 1) == first; }, "rows sorted by folder");
        }
        EXPECT_EQ(Table(rules, 2), "2222|Rx 3333|Rx 1111|Tx");

        // Edit: the rule's own key and addresses come along; another folder is chosen.
        SelectRow(rules, "2222");
        Press(list, IDC_RULE_EDIT);
        HWND dest = WaitForDialog(IDC_FOLDER_TREE);
        const HWND tree = ::GetDlgItem(dest, IDC_FOLDER_TREE), pc = ::GetDlgItem(dest, IDC_PC_LIST);
        EXPECT_EQ(ItemText(dest, IDC_CODE) + "|" + ItemText(dest, IDC_KEY_NAME) + "|" +
                      ItemText(dest, IDC_SELECTED_FOLDER) + "|" + ItemLabel(tree, TreeView_GetSelection(tree)) + "|" +
                      Table(::GetDlgItem(dest, IDC_MAIL_LIST)) + "|" + Table(pc),
                  "2222|F003|Rx|Rx|b@example.com|PC9");
        EXPECT_FALSE(::IsWindowVisible(pc)) << "mail notification shows the mail list";

        TreeView_SelectItem(tree, Child(tree, TreeView_GetRoot(tree), "Tx"));
        EXPECT_EQ(ItemText(dest, IDC_SELECTED_FOLDER), "Tx");
        Close(dest);
        // The edited row keeps its place, and the others the order the user sorted them in.
        EXPECT_EQ(Table(rules, 2), "2222|Tx 3333|Rx 1111|Tx");

        // Delete asks first; Cancel keeps the rule, OK removes it.
        SelectRow(rules, "3333");
        for (const int answer : {IDCANCEL, IDOK}) Press(list, IDC_RULE_DELETE), Answer(9, answer);
        WaitUntil([&] { return Table(rules) == "2222 1111"; }, "the deleted row to go");

        // The mail address window offers the addresses of every section once.
        dest = NewRule(list, "Rx", "4444");
        Press(dest, IDC_ADDRESS_PICK);
        const HWND window = WaitForDialog(IDC_MAIL_ADD);
        const HWND offered = ::GetDlgItem(window, IDC_WINDOW_LIST);
        EXPECT_EQ(Table(offered), "a@example.com b@example.com carol@example.com");
        SelectRow(offered, "carol@example.com");
        Screenshot(window, "mail-address");
        Press(window, IDC_MAIL_ADD);
        WaitUntil([&] { return Table(::GetDlgItem(dest, IDC_MAIL_LIST)) == "carol@example.com"; }, "the added address");
        Close(window);
        Close(dest);
        EXPECT_EQ(Rows(rules), 3);
    });
    // The deleted rule's key is the smallest free one for the new rule.
    EXPECT_EQ(Profile(WorkFile(), "FCODE", {"F001", "F002", "F003", "F004"}),
              "Rx;4444;carol@example.com;|Tx;1111;;|Tx;2222;b@example.com;PC9|?|");
    EXPECT_EQ(Profile(data_ + "\\WbFaxRcv007.rfd", "FCODE", {"F001"}), "Rx;3333;a@example.com;|")
        << "the box's rules wait for the commit";
}

TEST_F(SettingsDialogs, PcListEnvironmentAndErrorLog) {
    ::WritePrivateProfileStringA("RCVFAX", "USESMTPWork", "0", Config().c_str());  // host notification pending
    std::ofstream(data_ + "\\sqb_NTFY.log", std::ios::binary)
        << "11,PC01,x,2009.01.30.14.05.22,a,b,c,FAX0001.tif\r\n10,PC02,x,2009.01.31.15.00.00,a,b,c,FAX0002.tif\r\n"
           "19,PC03,x,2009.02.01.09.30.00,a,b,c,FAX0003.tif\r\n7,PC04,x,2009.02.02.10.00.00,a,b,c,FAX0004.tif\r\n"
           "a line without fields\r\n";
    RunSettings([&](HWND list) {
        // The PC list takes the mail list's place and refuses bad names.
        const HWND dest = NewRule(list, "Rx", "5555");
        const HWND pc = ::GetDlgItem(dest, IDC_PC_LIST);
        EXPECT_TRUE(!::IsWindowVisible(::GetDlgItem(dest, IDC_MAIL_LIST)) && ::IsWindowVisible(pc));
        TypeAddress(dest, pc, "PC 01", 23);
        TypeAddress(dest, pc, "PC-01");
        WaitUntil([&] { return Table(pc) == "PC-01"; }, "the accepted name alone");
        Close(dest);

        // A refused port still writes mode and attachment.
        Press(list, IDC_ENVIRONMENT);
        const HWND env = WaitForDialog(IDC_FILE_SIZE);
        const auto enabled = [&](int id) { return ::IsWindowEnabled(::GetDlgItem(env, id)) != FALSE; };
        EXPECT_TRUE(enabled(IDC_NOTIFY_DAYS) && !enabled(IDC_SMTP_SERVER));
        for (const int button : {IDC_NOTIFY_BY_MAIL, IDC_ATTACH_FILE}) ::SendDlgItemMessageW(env, button, BM_CLICK, 0, 0);
        WaitUntil([&] { return enabled(IDC_FILE_SIZE) && !enabled(IDC_NOTIFY_DAYS); }, "the mail layout");
        SetText(env, IDC_SMTP_SERVER, "mail.example");
        SetText(env, IDC_SMTP_PORT, "0");
        Screenshot(env, "environment");
        Press(env, IDOK);
        Answer(13);
        Close(env, IDCANCEL);

        // The error log lists the failed notices newest first.
        Press(list, IDC_ERROR_LOG);
        const HWND log = WaitForDialog(IDC_STATUS_BAR);
        EXPECT_EQ(Table(::GetDlgItem(log, IDC_WINDOW_LIST), 4),
                  LocalWhen(2009, 2, 2, 10, 0) + "|PC04|7|FAX0004.tif " + LocalWhen(2009, 2, 1, 9, 30) + "|PC03|error|FAX0003.tif " +
                      LocalWhen(2009, 1, 30, 14, 5) + "|PC01|" + Expected(69) + "|FAX0001.tif");
        Screenshot(log, "error-log");
        Close(log, IDCANCEL);
    });
    EXPECT_EQ(Profile(WorkFile(), "FCODE", {"F001"}), "Rx;5555;;PC-01|");
    EXPECT_EQ(Profile(Config(), "RCVFAX", {"USESMTPWork", "AddFileWork", "SMTPServerWork"}), "1|1|?|");
}

}  // namespace
}  // namespace wbfax::gui

int main(int argc, char **argv) {
    ::testing::InitGoogleTest(&argc, argv);
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        if (option == "--english") wbfax::gui::english = true;
        else if (option == "--screenshots" && i + 1 < argc) wbfax::gui::screenshots = argv[++i];
    }
    wbfax::gui::uiThread = ::GetCurrentThreadId();
    wbfax::gui::language = wbfax::gui::english ? "en" : "ja";
    char self[MAX_PATH] = {};
    ::GetModuleFileNameA(nullptr, self, MAX_PATH);
    const std::string folder = std::filesystem::path(self).parent_path().string();
    // The module looks for its language module by plain name; only the English run may find it.
    if (wbfax::gui::english) ::SetDllDirectoryA((folder + "\\language").c_str());
    if (HMODULE module = ::LoadLibraryA((folder + "\\WbFaxRcvExt.dll").c_str()))
        wbfax::gui::entry = reinterpret_cast<wbfax::gui::EntryPoint>(
            reinterpret_cast<void *>(::GetProcAddress(module, "wbCatchExtExpFunc")));
    return RUN_ALL_TESTS();
}
