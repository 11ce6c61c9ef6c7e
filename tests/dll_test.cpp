// The built WbFaxRcvExt.dll as the host's loader sees it: its entry point, its version
// information and its string table. Runs in code page 932, where the Japanese texts of the
// string table come out as Shift-JIS bytes.
#include "test_support.h"

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace wbfax {
namespace {

std::string NextToThisProgram(const char *name) {
    char self[MAX_PATH] = {};
    ::GetModuleFileNameA(nullptr, self, sizeof self);
    std::string path(self);
    return path.substr(0, path.find_last_of('\\') + 1) + name;
}

class Dll : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(::GetACP(), 932u) << "run with a Japanese locale (WBFAX_WINE_LANG=ja_JP.UTF-8)";
        module = ::LoadLibraryA(path.c_str());
        ASSERT_NE(module, nullptr) << path << " error " << ::GetLastError();
    }
    void TearDown() override {
        if (module) ::FreeLibrary(module);
    }
    const std::string path = NextToThisProgram("WbFaxRcvExt.dll");
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

TEST_F(Dll, CarriesItsVersionAndFileName) {
    DWORD ignored = 0;
    const DWORD size = ::GetFileVersionInfoSizeA(path.c_str(), &ignored);
    ASSERT_GT(size, 0u);
    std::vector<char> info(size);
    ASSERT_TRUE(::GetFileVersionInfoA(path.c_str(), 0, size, info.data()));

    VS_FIXEDFILEINFO *fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(::VerQueryValueA(info.data(), "\\", reinterpret_cast<void **>(&fixed), &length));
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00020002u);
    EXPECT_EQ(fixed->dwFileVersionLS, 0x00020000u);
    EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_DLL));

    for (const auto &[key, expected] : {std::pair<const char *, const char *>{"FileVersion", "2.2.2"},
                                        {"OriginalFilename", "WbFaxRcvExt.dll"},
                                        {"FileDescription", "QV-Network FAX Receive Handler"}}) {
        char *value = nullptr;
        const std::string query = std::string("\\StringFileInfo\\041104b0\\") + key;
        ASSERT_TRUE(::VerQueryValueA(info.data(), query.c_str(), reinterpret_cast<void **>(&value), &length)) << key;
        EXPECT_STREQ(value, expected) << key;
    }
}

struct Text {
    unsigned id;
    const char *utf8;
};

// The messages of the settings dialogs and their labels.
constexpr Text kStrings[] = {
    {1, "フォルダ名には次の文字は使えません\n\\/:,;*?<>|\""},
    {2, "保存先フォルダを登録してください"},
    {3, "設定を変更しますか？"},
    {4, "入力されていない項目があります"},
    {5, "入力文字が間違っています"},
    {6, "もう既に登録されています"},
    {7, "登録件数が100件になりました\nこれ以上登録できません"},
    {8, "アイテムが選択されていません"},
    {9, "選択されたアイテムを削除しますか？"},
    {10, "SMTPサーバー名の値が不正です"},
    {11, "SMTPサーバー名を入力してください"},
    {12, "SMTPサーバー名は32文字以内で登録してください"},
    {13, "SMTPポート番号の値が不正です\n1～32767で設定してください"},
    {14, "IPアドレスの値は,0-255の範囲で設定してください"},
    {15, "サブアドレスの値が不正です"},
    {16, "サブアドレスの値が不正です\n4～20桁で設定してください"},
    {17, "相手先ファクス番号の値が不正です"},
    {18, "送信先ファクス番号の値が不正です"},
    {19, "サブアドレスを登録してください"},
    {20, "相手先ファクス番号を登録してください"},
    {21, "送信先ファクス番号を登録してください"},
    {22, "受信通知先に登録できる最大数(10)をオーバーします。"},
    {23, "あて先アドレスが不正です"},
    {24, "指定されたアドレスには、通知できません"},
    {50, "その他"},
    {51, "サブアドレス"},
    {52, "相手先ファクス番号"},
    {53, "送信先ファクス番号"},
    {54, "保存先フォルダ"},
    {55, "受信ファクス"},
    {56, "ファクス送信原稿"},
    {57, "新しいフォルダ"},
    {58, "フォルダ"},
    {59, "受信通知送信先メールアドレス"},
    {60, "受信通知先PCアドレス"},
    {61, "低"},
    {62, "中"},
    {63, "高"},
    {64, "制限なし"},
    {65, "Date & Time"},
    {66, "Status"},
    {67, "File Name"},
    {68, "success"},
    {69, "connect error"},
    {70, "version error"},
};

TEST_F(Dll, StringTableHoldsTheDialogTextsInTheAnsiCodePage) {
    for (const Text &text : kStrings) {
        char buffer[260];
        const int n = ::LoadStringA(module, text.id, buffer, sizeof buffer);
        EXPECT_EQ(std::string(buffer, n > 0 ? n : 0), test::ToCodePage(text.utf8, "CP932")) << "string " << text.id;
    }
}

TEST_F(Dll, StringTableHasNothingBetweenAndAfterTheTwoRanges) {
    for (unsigned id : {0u, 25u, 30u, 49u, 71u, 100u}) {
        char buffer[260] = "untouched";
        EXPECT_EQ(::LoadStringA(module, id, buffer, sizeof buffer), 0) << "string " << id;
    }
}

}  // namespace
}  // namespace wbfax
