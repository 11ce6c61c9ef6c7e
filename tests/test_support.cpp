#include "test_support.h"

#include "base/module.h"
#include "entry/startup.h"
#include "platform/platform.h"
#include "settings/profile_file.h"

#include <algorithm>
#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>

#if defined(_WIN32)
#include <windows.h>
#undef FreeModule  // winbase.h would rename the platform layer's function
#else
#include <iconv.h>
#endif

namespace fs = std::filesystem;

namespace wbfax::test {
namespace {

constexpr const char *kModuleEnvironment[] = {"WBFAX_COMMON_APPDATA", "WBFAX_ACP", "WBFAX_LANGID", "WBFAX_TRACE"};

#if defined(_WIN32)
std::string CommonAppData() {
    const platform::ModuleHandle shell = platform::LoadModule("Shell32.DLL");
    char buffer[260] = {};
    const bool ok = platform::CallSpecialFolderPath(platform::FindProc(shell, "SHGetSpecialFolderPathA"), buffer, 0x23, false);
    platform::FreeModule(shell);
    return ok ? buffer : "";
}

std::vector<std::string> EntriesOf(const std::string &folder) {
    std::vector<std::string> names;
    std::error_code error;
    for (const auto &entry : fs::directory_iterator(folder, error)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}
#endif

}  // namespace

std::string ReadFile(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFile(const std::string &path, const std::string &content) { std::ofstream(path, std::ios::binary) << content; }

bool Exists(const std::string &path) { return fs::exists(path); }

std::string MakeTempDir() {
    static std::mt19937_64 random{std::random_device{}()};
    for (;;) {
        const fs::path candidate = fs::temp_directory_path() / ("wbfax-test-" + std::to_string(random()));
        if (fs::create_directory(candidate)) return candidate.generic_string();
    }
}

void RemoveTree(const std::string &path) {
    std::error_code ignored;
    fs::remove_all(path, ignored);
}

void SetEnv(const char *name, const char *value) {
#if defined(_WIN32)
    ::SetEnvironmentVariableA(name, value);
#else
    if (value) ::setenv(name, value, 1);
    else ::unsetenv(name);
#endif
}

void CodePage932Install::SetUp() {
    ScratchInstall::SetUp();
    SetEnv("WBFAX_ACP", "932");
    if (platform::AnsiCodePage() != 932) GTEST_SKIP() << "the system's code page is not 932";
#if defined(_WIN32)
    // std::filesystem reads narrow names in the C runtime's code page, "C" (byte for byte) until
    // told: the tests' names must mean what they mean to the module.
    std::setlocale(LC_CTYPE, ".932");
#endif
}

void CodePage932Install::TearDown() {
    ScratchInstall::TearDown();
#if defined(_WIN32)
    std::setlocale(LC_CTYPE, "C");
#endif
}

#if defined(_WIN32)
constexpr const char *kDataDir = "\\Corvane\\Quillbox", *kConfigFile = "\\wbcatch.ini";
#else
constexpr const char *kDataDir = "/Corvane/Quillbox", *kConfigFile = "/wbcatch.ini";
#endif

void ScratchInstall::SetUp() {
#if defined(_WIN32)
    if (platform::GetEnvironment("WBFAX_TEST_OWNS_APPDATA").value_or("") != "1")
        GTEST_FAIL() << "the tests would clear Corvane\\Quillbox in this system's common application data folder; "
                        "run them in a Wine prefix of their own with WBFAX_TEST_OWNS_APPDATA=1 (ctest does)";
    root = CommonAppData();
    ASSERT_FALSE(root.empty());
    RemoveTree(DataDir());  // left by a test that crashed
    rootEntries_ = EntriesOf(root);
#else
    root = MakeTempDir();
#endif
    fs::create_directories(DataDir());
    for (const char *name : kModuleEnvironment) {
        savedEnvironment_.emplace_back(name, platform::GetEnvironment(name));
        SetEnv(name, nullptr);
    }
#if !defined(_WIN32)
    SetEnv("WBFAX_COMMON_APPDATA", root.c_str());
#endif
    prepared_ = true;
    ModuleStartup(platform::ThisModule());
}

void ScratchInstall::TearDown() {
    if (!prepared_) return;
    ModuleShutdown();
    for (const auto &[name, value] : savedEnvironment_) SetEnv(name.c_str(), value ? value->c_str() : nullptr);
#if defined(_WIN32)
    RemoveTree(DataDir());
    for (const std::string &name : EntriesOf(root))
        if (!std::binary_search(rootEntries_.begin(), rootEntries_.end(), name)) RemoveTree(root + "\\" + name);
#else
    RemoveTree(root);
#endif
}

std::string ScratchInstall::DataDir() const { return root + kDataDir; }
std::string ScratchInstall::ConfigFile() const { return DataDir() + kConfigFile; }

#if defined(_WIN32)
std::string ToCodePage(const std::string &utf8, const char *codePage) {
    const UINT target = static_cast<UINT>(std::strtoul(codePage + 2, nullptr, 10));  // "CP932" -> 932
    const int wide = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    if (wide <= 0 && !utf8.empty()) throw std::runtime_error("not UTF-8");
    std::wstring text(static_cast<std::size_t>(wide), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), text.data(), wide);
    BOOL lossy = FALSE;
    std::string out(static_cast<std::size_t>(::WideCharToMultiByte(target, 0, text.data(), wide, nullptr, 0, nullptr, &lossy)), '\0');
    ::WideCharToMultiByte(target, 0, text.data(), wide, out.data(), static_cast<int>(out.size()), nullptr, &lossy);
    if (lossy) throw std::runtime_error(std::string("not representable in ") + codePage);
    return out;
}
#else
std::string ToCodePage(const std::string &utf8, const char *codePage) {
    iconv_t cd = ::iconv_open(codePage, "UTF-8");
    if (cd == reinterpret_cast<iconv_t>(-1)) throw std::runtime_error("iconv_open failed");
    std::string in = utf8, out(utf8.size() * 4 + 4, '\0');
    char *inp = in.data(), *outp = out.data();
    std::size_t inLeft = in.size(), outLeft = out.size();
    const std::size_t rc = ::iconv(cd, &inp, &inLeft, &outp, &outLeft);
    ::iconv_close(cd);
    if (rc == static_cast<std::size_t>(-1)) throw std::runtime_error("iconv failed");
    out.resize(out.size() - outLeft);
    return out;
}
#endif

std::string ProfileKey(const std::string &file, const char *section, const char *key) {
    std::string value;
    ReadProfileText(section, key, "?", value, file);
    return value;
}

}  // namespace wbfax::test
