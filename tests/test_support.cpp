#include "test_support.h"

#include "entry/module.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>

namespace fs = std::filesystem;

namespace wbfax::test {

std::string ReadFile(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFile(const std::string &path, const std::string &content) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
}

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
    _putenv_s(name, value ? value : "");
#else
    if (value) ::setenv(name, value, 1);
    else ::unsetenv(name);
#endif
}

void ScratchInstall::SetUp() {
    root = MakeTempDir();
    fs::create_directories(DataDir());
    for (const char *name : {"WBFAX_COMMON_APPDATA", "WBFAX_ACP", "WBFAX_LANGID", "WBFAX_TRACE"}) {
        const char *old = std::getenv(name);
        savedEnvironment_.emplace_back(name, old ? old : std::string("\x01unset"));
    }
    SetEnv("WBFAX_COMMON_APPDATA", root.c_str());
    SetEnv("WBFAX_ACP", nullptr);
    SetEnv("WBFAX_LANGID", nullptr);
    SetEnv("WBFAX_TRACE", nullptr);
    ModuleStartup(platform::ThisModule());
}

void ScratchInstall::TearDown() {
    ModuleShutdown();
    for (const auto &[name, value] : savedEnvironment_) SetEnv(name.c_str(), value == "\x01unset" ? nullptr : value.c_str());
    RemoveTree(root);
}

std::string ScratchInstall::DataDir() const { return root + "/Corvane/Quillbox"; }
std::string ScratchInstall::ConfigFile() const { return DataDir() + "/wbcatch.ini"; }

}  // namespace wbfax::test

#if !defined(_WIN32)
#include <iconv.h>

namespace wbfax::test {

std::string ToCodePage(const std::string &utf8, const char *codePage) {
    iconv_t cd = ::iconv_open(codePage, "UTF-8");
    if (cd == reinterpret_cast<iconv_t>(-1)) throw std::runtime_error("iconv_open failed");
    std::string in = utf8;
    std::string out(in.size() * 4 + 4, '\0');
    char *inp = in.data(), *outp = out.data();
    std::size_t inLeft = in.size(), outLeft = out.size();
    const std::size_t rc = ::iconv(cd, &inp, &inLeft, &outp, &outLeft);
    ::iconv_close(cd);
    if (rc == static_cast<std::size_t>(-1)) throw std::runtime_error("iconv failed");
    out.resize(out.size() - outLeft);
    return out;
}

}  // namespace wbfax::test
#endif
