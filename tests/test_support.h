// Shared scaffolding: a scratch installation in a temporary folder.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace wbfax::test {

// A fresh folder, removed afterwards, that stands for the common application data folder the
// module is started against. Windows cannot redirect that folder: there root is the system's own,
// which the tests may clear only when WBFAX_TEST_OWNS_APPDATA=1 says that it is theirs (a Wine
// prefix of their own); each test starts without Corvane\Quillbox and leaves root as it was.
class ScratchInstall : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    std::string DataDir() const;     // <root>/Corvane/Quillbox
    std::string ConfigFile() const;  // <root>/Corvane/Quillbox/wbcatch.ini
    std::string root;

private:
    std::vector<std::pair<std::string, std::optional<std::string>>> savedEnvironment_;
    std::vector<std::string> rootEntries_;  // Windows: what root held before the test
    bool prepared_ = false;
};

// A scratch installation whose ANSI code page is 932; skipped where the system cannot be told so
// (Windows takes it from the locale the tests run in).
class CodePage932Install : public ScratchInstall {
protected:
    void SetUp() override;
    void TearDown() override;
};

// Whole-file helpers working on native paths.
std::string ReadFile(const std::string &path);
void WriteFile(const std::string &path, const std::string &content);
bool Exists(const std::string &path);
std::string MakeTempDir();
void RemoveTree(const std::string &path);
// A key's value in a profile file, "?" when the key is missing.
std::string ProfileKey(const std::string &file, const char *section, const char *key);
// Sets or (with null) removes an environment variable.
void SetEnv(const char *name, const char *value);

// UTF-8 text in another code page, by the system's converter ("CP932", "CP1252").
std::string ToCodePage(const std::string &utf8, const char *codePage);

}  // namespace wbfax::test
