// A host that is not ours: it knows only the DLL's file and export name, as the host's loader
// does, and the 32-bit build calls the entry with the stack aligned to 4 bytes only, as code
// from compilers that keep no 16-byte alignment does. The module is loaded, handed one fax and
// freed a hundred times; it must be unmapped after every FreeLibrary and leave no thread or
// window behind, and no more handles or heap memory than the C and C++ runtimes alone, linked the
// same way (foreign_host_runtime.cpp), leave. Needs WBFAX_TEST_OWNS_APPDATA=1 (a Wine prefix of its own).
#include "quillbox-host/description.h"

#include <windows.h>
#include <shlobj.h>
#include <tlhelp32.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

using Entry = std::int32_t(__cdecl *)(std::int32_t, std::uint32_t *, std::uintptr_t *);

int failures = 0;
#define CHECK(condition, ...) \
    ((condition) ? void() : (std::printf("FAILED line %d: %s: ", __LINE__, #condition), std::printf(__VA_ARGS__), std::printf("\n"), void(++failures)))

#if defined(__i386__)
// wbfax_call_skewed(entry, args, count, skew): pushes the count argument words and calls entry
// with the stack pointer `skew` bytes above a 16-byte boundary. Returns the entry's result; the
// stack pointer after the call (a cdecl callee pops nothing) and the callee-saved registers are
// checked, and *broken gets a bit for each that differs.
extern "C" std::int32_t wbfax_call_skewed(Entry entry, const std::uint32_t *args, std::uint32_t count,
                                          std::uint32_t skew, std::uint32_t *broken);
__asm__(".text\n.globl _wbfax_call_skewed\n_wbfax_call_skewed:\n"
        "  pushl %ebp\n  movl %esp, %ebp\n  pushl %ebx\n  pushl %esi\n  pushl %edi\n"
        // The skew plus the argument bytes left above the boundary: after the pushes esp is skew mod 16.
        "  movl 16(%ebp), %ecx\n  leal (,%ecx,4), %eax\n  addl 20(%ebp), %eax\n  andl $15, %eax\n"
        "  andl $-16, %esp\n  addl %eax, %esp\n  subl $16, %esp\n  movl 12(%ebp), %esi\n"
        "1: testl %ecx, %ecx\n  jz 2f\n  pushl -4(%esi,%ecx,4)\n  decl %ecx\n  jmp 1b\n"
        // edi, ebx and esi are the callee's to keep.
        "2: movl %esp, %edi\n  movl $0x5A5A1234, %ebx\n  movl $0x1234A5A5, %esi\n  call *8(%ebp)\n"
        "  xorl %ecx, %ecx\n  cmpl %esp, %edi\n  je 3f\n  orl $1, %ecx\n"
        "3: cmpl $0x5A5A1234, %ebx\n  je 4f\n  orl $2, %ecx\n"
        "4: cmpl $0x1234A5A5, %esi\n  je 5f\n  orl $4, %ecx\n"
        "5: movl 24(%ebp), %edx\n  movl %ecx, (%edx)\n"
        "  leal -12(%ebp), %esp\n  popl %edi\n  popl %esi\n  popl %ebx\n  popl %ebp\n  ret\n");
#endif

std::int32_t CallEntry(Entry entry, std::int32_t command, std::uint32_t *result, std::uintptr_t *slots, int round) {
#if defined(__i386__)
    const std::uint32_t args[3] = {static_cast<std::uint32_t>(command), reinterpret_cast<std::uint32_t>(result),
                                   reinterpret_cast<std::uint32_t>(slots)};
    const std::uint32_t skew = 4u * static_cast<std::uint32_t>(1 + round % 3);  // 4, 8, 12: never aligned
    std::uint32_t broken = 0;
    const std::int32_t answer = wbfax_call_skewed(entry, args, 3, skew, &broken);
    CHECK(broken == 0, "round %d: the call broke the caller's frame (%u: 1 stack, 2 ebx, 4 esi)", round, broken);
    return answer;
#else
    (void)round;
    return entry(command, result, slots);
#endif
}

std::string CommonAppData() {
    char path[MAX_PATH] = {};
    return SUCCEEDED(::SHGetFolderPathA(nullptr, CSIDL_COMMON_APPDATA, nullptr, 0, path)) ? path : "";
}

void WriteFile(const std::string &path, const std::string &content) { std::ofstream(path, std::ios::binary) << content; }

std::string ReadFile(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

struct Usage {
    long long handles = 0, threads = 0, windows = 0, heapBytes = 0;
    Usage operator-(const Usage &o) const { return {handles - o.handles, threads - o.threads, windows - o.windows, heapBytes - o.heapBytes}; }
};

BOOL CALLBACK CountWindow(HWND window, LPARAM count) {
    DWORD process = 0;
    ::GetWindowThreadProcessId(window, &process);
    if (process == ::GetCurrentProcessId()) ++*reinterpret_cast<long long *>(count);
    return TRUE;
}

Usage Measure() {
    Usage usage;
    // Wine's GetProcessHandleCount answers 0: the open handles are counted one by one.
    for (std::uintptr_t value = 4; value < 0x10000; value += 4) {
        DWORD flags = 0;
        if (::GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags)) ++usage.handles;
    }
    const HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    THREADENTRY32 thread{};
    thread.dwSize = sizeof thread;
    for (BOOL more = ::Thread32First(snapshot, &thread); more; more = ::Thread32Next(snapshot, &thread))
        if (thread.th32OwnerProcessID == ::GetCurrentProcessId()) ++usage.threads;
    ::CloseHandle(snapshot);
    ::EnumWindows(CountWindow, reinterpret_cast<LPARAM>(&usage.windows));
    // Message-only windows are not top-level: they are found below HWND_MESSAGE.
    for (HWND window = nullptr; (window = ::FindWindowExA(HWND_MESSAGE, window, nullptr, nullptr));)
        CountWindow(window, reinterpret_cast<LPARAM>(&usage.windows));
    HANDLE heaps[64];
    const DWORD count = ::GetProcessHeaps(64, heaps);
    for (DWORD i = 0; i < count && i < 64; ++i) {
        PROCESS_HEAP_ENTRY entry{};
        ::HeapLock(heaps[i]);
        while (::HeapWalk(heaps[i], &entry))
            if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) usage.heapBytes += entry.cbData;
        ::HeapUnlock(heaps[i]);
    }
    return usage;
}

struct Scratch {
    std::string in, store;
    std::vector<std::uint8_t> block;
};

constexpr int kRounds = 100, kWarmUp = 5;

// Loads, uses and frees the DLL kRounds times: the growth after the first rounds, in which the
// system DLLs it pulls in are loaded for good.
Usage LoadAndFree(const std::string &dll, const Scratch &s) {
    Usage before;
    for (int round = 0; round < kRounds && failures <= 10; ++round) {
        if (round == kWarmUp) before = Measure();
        const std::string name = "fax" + std::to_string(round) + ".tif";
        WriteFile(s.in + "\\" + name, "fax");
        const HMODULE module = ::LoadLibraryA(dll.c_str());
        CHECK(module != nullptr, "round %d: LoadLibrary %s: error %lu", round, dll.c_str(), ::GetLastError());
        if (!module) break;
        const auto entry = reinterpret_cast<Entry>(reinterpret_cast<void *>(::GetProcAddress(module, "wbCatchExtExpFunc")));
        CHECK(entry != nullptr, "round %d: no wbCatchExtExpFunc", round);
        std::array<char, 260> path{};
        std::snprintf(path.data(), path.size(), "%s\\%s", s.in.c_str(), name.c_str());
        std::array<char, 256> remoteName{};
        std::uint32_t result = 0;
        std::uintptr_t slots[6] = {0, 0, reinterpret_cast<std::uintptr_t>(path.data()), reinterpret_cast<std::uintptr_t>(s.block.data()),
                                   reinterpret_cast<std::uintptr_t>(remoteName.data()), 7};
        if (entry) CHECK(CallEntry(entry, 2, &result, slots, round) == 1, "round %d: command 2 failed", round);
        const std::string stored = s.store + "\\Sales\\" + name;
        if (entry && dll.find("WbFaxRcvExt") != std::string::npos) {
            CHECK(path.data() == stored, "round %d: the host was told %s", round, path.data());
            CHECK(ReadFile(stored) == "fax", "round %d: %s is not the fax", round, stored.c_str());
        }
        const DWORD started = ::GetTickCount();
        CHECK(::FreeLibrary(module), "round %d: FreeLibrary: error %lu", round, ::GetLastError());
        CHECK(::GetTickCount() - started < 5000, "round %d: detaching took %lu ms", round, ::GetTickCount() - started);
        CHECK(::GetModuleHandleA(dll.c_str()) == nullptr, "round %d: the module is still loaded", round);
        MEMORY_BASIC_INFORMATION mapped{};
        ::VirtualQuery(module, &mapped, sizeof mapped);
        CHECK(mapped.Type != MEM_IMAGE, "round %d: the module's image is still mapped", round);
    }
    return Measure() - before;
}

}  // namespace

int main() {
    const char *owns = std::getenv("WBFAX_TEST_OWNS_APPDATA");
    if (!owns || std::strcmp(owns, "1") != 0)
        return std::printf("would clear Corvane\\Quillbox in the common application data folder: set WBFAX_TEST_OWNS_APPDATA=1\n"), 1;
    char self[MAX_PATH] = {};
    ::GetModuleFileNameA(nullptr, self, sizeof self);
    const std::string folder = std::string(self).substr(0, std::string(self).find_last_of('\\') + 1);
    const std::string appData = CommonAppData();
    const std::string company = appData + "\\Corvane", data = company + "\\Quillbox";
    const bool companyWasThere = ::GetFileAttributesA(company.c_str()) != INVALID_FILE_ATTRIBUTES;
    std::error_code ignored;
    std::filesystem::remove_all(data, ignored);  // left by a run that crashed
    char temp[MAX_PATH] = {};
    ::GetTempPathA(MAX_PATH, temp);
    const std::string scratch = std::string(temp) + "wbfax-foreign-" + std::to_string(::GetCurrentProcessId());
    Scratch s{scratch + "\\in", scratch + "\\store", quillbox::BuildDescription(quillbox::Description{})};
    for (const std::string &f : {data, s.in, s.store + "\\Sales"}) std::filesystem::create_directories(f);
    WriteFile(data + "\\qvscan_f.bin", "7;" + s.store + ";x\r\n");
    WriteFile(data + "\\WbFaxRcv007.rfd", "[OTHER]\r\nOtherFile=Sales;;\r\n");
    WriteFile(data + "\\wbcatch.ini", "[MANAGEMENT]\r\nOverWrite=0\r\n");

    const Usage runtime = LoadAndFree(folder + "foreign_host_runtime.dll", s);
    const Usage module = LoadAndFree(folder + "WbFaxRcvExt.dll", s);
    std::printf("left behind by %d loads: the runtimes alone %lld heap bytes, %lld handles; the module %lld heap bytes, "
                "%lld handles, %lld threads, %lld windows\n", kRounds - kWarmUp, runtime.heapBytes, runtime.handles,
                module.heapBytes, module.handles, module.threads, module.windows);
    CHECK(module.handles <= runtime.handles, "handles left behind");
    CHECK(module.threads <= 0, "threads left behind");
    CHECK(module.windows <= 0, "windows left behind");
    // Less than 64 bytes a load beyond the runtimes' own: a block the module loses on each shows.
    CHECK(module.heapBytes <= runtime.heapBytes + 64 * (kRounds - kWarmUp), "heap memory left behind");

    std::filesystem::remove_all(scratch, ignored);
    std::filesystem::remove_all(companyWasThere ? data : company, ignored);
    std::printf(failures ? "%d checks FAILED\n" : "passed\n", failures);
    return failures ? 1 : 0;
}
