// A scratch installation whose shared memory and windows no other test run can meet: its own
// IPC prefix, its own share list, removed again afterwards.
#pragma once

#include "notification/sender.h"
#include "platform/platform.h"
#include "test_support.h"

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace wbfax::test {

class IpcScratch : public ScratchInstall {
protected:
    void SetUp() override {
        ScratchInstall::SetUp();
        for (const char *name : {"WBFAX_IPC_PREFIX", "WBFAX_SMB_CONF"}) saved_.emplace_back(name, platform::GetEnvironment(name));
        static std::mt19937 random{std::random_device{}()};
        prefix = "wbt" + std::to_string(random() % 1000000000u) + "-";
        SetEnv("WBFAX_IPC_PREFIX", prefix.c_str());
        // No share of the machine may turn a test's folder into a network name by accident.
        SetEnv("WBFAX_SMB_CONF", (root + "/smb.conf").c_str());
        // Blocks another test opened belong to another prefix.
        ResetSenderState();
#if defined(_WIN32)
        WipeStatusBlocks();
#endif
    }

    void TearDown() override {
        ResetSenderState();
#if !defined(_WIN32)
        std::error_code ignored;
        for (const auto &entry : std::filesystem::directory_iterator("/dev/shm", ignored))
            if (entry.path().filename().string().rfind(prefix, 0) == 0) std::filesystem::remove(entry.path(), ignored);
        const std::string runtime = platform::GetEnvironment("XDG_RUNTIME_DIR").value_or("/tmp");
        std::filesystem::remove_all(runtime + "/wbfax-windows-" + prefix, ignored);
#endif
        for (const auto &[name, value] : saved_) SetEnv(name.c_str(), value ? value->c_str() : nullptr);
        ScratchInstall::TearDown();
    }

    // The whole block of the mode, as the sender programs see it.
    std::vector<std::uint8_t> Block(NotifyMode mode) {
        const platform::SharedView view = View(mode);
        if (!view) return {};
        return std::vector<std::uint8_t>(view.data(), view.data() + kStatusBlockSize);
    }
    static std::string StatusText(const std::vector<std::uint8_t> &block) {
        return block.empty() ? "(no block)" : std::string(reinterpret_cast<const char *>(block.data()));
    }
    void SetBlock(NotifyMode mode, const char *status, std::uint32_t running, std::uint32_t window) {
        const platform::SharedView view = View(mode);
        ASSERT_TRUE(view);
        std::memset(view.data(), 0, 32);
        std::memcpy(view.data(), status, std::strlen(status) + 1);
        WriteField(view.data(), kSenderRunning, running);
        WriteField(view.data(), kSenderWindow, window);
    }

    void WriteConfig(const std::string &rcvfax) {
        WriteFile(ConfigFile(), "[PATH]\r\nCONF=" + root + "/program\r\n[RCVFAX]\r\n" + rcvfax);
    }
    std::string ReadList(NotifyMode mode) { return ReadFile(DataDir() + "/" + JobListName(mode)); }

    std::string prefix;

private:
    // Opened apart from the module's handles, as a sender program opens them.
    platform::SharedView View(NotifyMode mode) {
        platform::SharedMemoryHandle &handle = blocks_[mode == NotifyMode::Mail ? 1 : 0];
        if (!handle) handle = platform::CreateSharedMemory(StatusBlockName(mode), kStatusBlockSize);
        return platform::SharedView::Map(handle, kStatusBlockSize);
    }
    // Windows knows no prefix: there the blocks are the system's own and start each test blank.
    void WipeStatusBlocks() {
        for (NotifyMode mode : {NotifyMode::Mail, NotifyMode::Pc})
            if (const platform::SharedView view = View(mode)) std::memset(view.data(), 0, kStatusBlockSize);
    }

    std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
    platform::SharedMemoryHandle blocks_[2] = {0, 0};
};

}  // namespace wbfax::test
