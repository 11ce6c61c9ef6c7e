// Shared scaffolding: a scratch installation in a temporary folder.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace wbfax::test {

// A fresh folder that stands for the common application data folder; the module is started
// against it, so wbcatch.ini and the data folder lie below it. Removed afterwards.
class ScratchInstall : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // <root>/Corvane/Quillbox
    std::string DataDir() const;
    // <root>/Corvane/Quillbox/wbcatch.ini
    std::string ConfigFile() const;
    std::string root;

private:
    std::vector<std::pair<std::string, std::string>> savedEnvironment_;
};

// Whole-file helpers working on native paths.
std::string ReadFile(const std::string &path);
void WriteFile(const std::string &path, const std::string &content);
bool Exists(const std::string &path);
std::string MakeTempDir();
void RemoveTree(const std::string &path);
// Sets or (with null) removes an environment variable.
void SetEnv(const char *name, const char *value);

}  // namespace wbfax::test

namespace wbfax::test {
// UTF-8 text in another code page, by the system's converter (iconv names: "CP932", "CP1252").
std::string ToCodePage(const std::string &utf8, const char *codePage);
}  // namespace wbfax::test
