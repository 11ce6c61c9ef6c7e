// A scratch installation whose shared memory and windows no other test run meets: its own IPC
// prefix and share list, removed again afterwards.
#pragma once

#include "base/text.h"
#include "notification/sender.h"
#include "platform/platform.h"
#include "test_support.h"

#include <cstring>
#include <filesystem>
#include <random>

namespace wbfax::test {

class IpcScratch : public ScratchInstall {
protected:
    void SetUp() override {
        ScratchInstall::SetUp();
        for (const char *name : {"WBFAX_IPC_PREFIX", "WBFAX_SMB_CONF"}) saved_.emplace_back(name, platform::GetEnvironment(name));
        static std::mt19937 random{std::random_device{}()};
        prefix = "wbt" + std::to_string(random() % 1000000000u) + "-";
        SetEnv("WBFAX_IPC_PREFIX", prefix.c_str());
        SetEnv("WBFAX_SMB_CONF", (root + "/smb.conf").c_str());  // no share of this machine
        ResetSenderState();  // the module's blocks of an earlier test have another prefix
#if defined(_WIN32)
        // Windows knows no prefix: the blocks are the system's own and start each test blank.
        for (NotifyMode mode : {NotifyMode::Mail, NotifyMode::Pc})
            if (const platform::SharedView view = View(mode)) std::memset(view.data(), 0, kStatusBlockSize);
#endif
    }

    void TearDown() override {
        ResetSenderState();
#if !defined(_WIN32)
        std::error_code ignored;
        for (const auto &entry : std::filesystem::directory_iterator("/dev/shm", ignored))
            if (entry.path().filename().string().rfind(prefix, 0) == 0) std::filesystem::remove(entry.path(), ignored);
        std::filesystem::remove_all(platform::GetEnvironment("XDG_RUNTIME_DIR").value_or("/tmp") + "/wbfax-windows-" + prefix,
                                    ignored);
#endif
        for (const auto &[name, value] : saved_) SetEnv(name.c_str(), value ? value->c_str() : nullptr);
        ScratchInstall::TearDown();
    }

    // The block as a sender program sees it, through a handle of its own.
    std::vector<std::uint8_t> Block(NotifyMode mode) {
        const platform::SharedView view = View(mode);
        return view ? std::vector<std::uint8_t>(view.data(), view.data() + kStatusBlockSize) : std::vector<std::uint8_t>();
    }
    static std::string StatusText(const std::vector<std::uint8_t> &block) {
        return block.empty() ? "(no block)" : reinterpret_cast<const char *>(block.data());
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
    // The job file of the number; its name begins with the eight digits of the time it was made.
    std::string JobFile(std::uint32_t job) {
        const std::string tail = "_" + std::to_string(job) + ".tmp";
        for (const auto &entry : std::filesystem::directory_iterator(DataDir())) {
            const std::string name = entry.path().filename().string();
            if (name.size() == 8 + tail.size() && name.compare(8, std::string::npos, tail) == 0) return entry.path().string();
        }
        return "(no job file " + std::to_string(job) + ")";
    }
    std::string ListEntry(std::uint32_t job) { return Format("JOB_ID=%04u\r\nINFO_FNAME=%s\r\n\r\n", job, JobFile(job).c_str()); }

    std::string prefix;

private:
    platform::SharedView View(NotifyMode mode) {
        platform::SharedMemoryHandle &handle = blocks_[mode == NotifyMode::Mail ? 1 : 0];
        if (!handle) handle = platform::CreateSharedMemory(StatusBlockName(mode), kStatusBlockSize);
        return platform::SharedView::Map(handle, kStatusBlockSize);
    }

    std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
    platform::SharedMemoryHandle blocks_[2] = {0, 0};
};

}  // namespace wbfax::test
