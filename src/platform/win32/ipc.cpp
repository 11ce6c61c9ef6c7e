// Shared memory, windows and messages: named file mappings and real windows.
#include "platform/platform.h"
#include "platform/win32/win32_internal.h"

namespace wbfax::platform {
namespace {

HWND AsWindow(WindowHandle window) { return reinterpret_cast<HWND>(window); }
WindowHandle AsHandle(HWND window) { return reinterpret_cast<WindowHandle>(window); }

WindowProcedure ProcedureOf(HWND window, int slot) {
    return reinterpret_cast<WindowProcedure>(::GetWindowLongPtrA(window, slot));
}

INT_PTR CALLBACK DialogTrampoline(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        ::SetWindowLongPtrA(window, DWLP_USER, lParam);
        return reinterpret_cast<WindowProcedure>(lParam)(AsHandle(window), message, wParam, 0);
    }
    const WindowProcedure procedure = ProcedureOf(window, DWLP_USER);
    return procedure ? procedure(AsHandle(window), message, wParam, lParam) : FALSE;
}

// The procedure sees the messages that programs send each other (WM_USER and up); the system's
// own go to the default handling, which a window needs to be created and destroyed.
LRESULT CALLBACK WindowTrampoline(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        const auto *create = reinterpret_cast<const CREATESTRUCTA *>(lParam);
        ::SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    const WindowProcedure procedure = ProcedureOf(window, GWLP_USERDATA);
    if (procedure && message >= WM_USER) return procedure(AsHandle(window), message, wParam, lParam);
    return ::DefWindowProcA(window, message, wParam, lParam);
}

HINSTANCE Instance() { return reinterpret_cast<HINSTANCE>(ThisModule()); }

}  // namespace

SharedMemoryHandle CreateSharedMemory(const char *name, std::uint32_t size) {
    return reinterpret_cast<SharedMemoryHandle>(
        ::CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, size, name));
}

SharedView SharedView::Map(SharedMemoryHandle block, std::uint32_t size) {
    SharedView view;
    if (block == 0) return view;
    view.data_ = static_cast<std::uint8_t *>(
        ::MapViewOfFile(reinterpret_cast<HANDLE>(block), FILE_MAP_READ | FILE_MAP_WRITE, 0, 0, size));
    view.size_ = view.data_ ? size : 0;
    return view;
}

SharedView::SharedView(SharedView &&other) noexcept : data_(other.data_), size_(other.size_) { other.data_ = nullptr; }

SharedView &SharedView::operator=(SharedView &&other) noexcept {
    if (this != &other) {
        if (data_) ::UnmapViewOfFile(data_);
        data_ = other.data_;
        size_ = other.size_;
        other.data_ = nullptr;
    }
    return *this;
}

SharedView::~SharedView() {
    if (data_) ::UnmapViewOfFile(data_);
}

WindowHandle CreateHiddenDialog(ModuleHandle resources, int templateId, WindowProcedure procedure) {
    return AsHandle(::CreateDialogParamA(reinterpret_cast<HINSTANCE>(resources), MAKEINTRESOURCEA(templateId), nullptr,
                                         DialogTrampoline, reinterpret_cast<LPARAM>(procedure)));
}

void DiscardWindow(WindowHandle window) {
    if (window) ::DestroyWindow(AsWindow(window));
}

WindowHandle FindWindowOfClass(const char *className) { return AsHandle(::FindWindowA(className, nullptr)); }

bool WindowExists(WindowHandle window) { return window != 0 && ::IsWindow(AsWindow(window)); }

std::intptr_t SendMessageTo(WindowHandle window, std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) {
    return ::SendMessageA(AsWindow(window), message, wParam, lParam);
}

WindowHandle CreateMessageWindow(const char *className, WindowProcedure procedure) {
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = WindowTrampoline;
    windowClass.hInstance = Instance();
    windowClass.lpszClassName = className;
    if (!::RegisterClassA(&windowClass) && ::GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return 0;
    // Top-level, never shown: FindWindowA sees top-level windows only.
    return AsHandle(::CreateWindowExA(0, className, "", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, Instance(),
                                      reinterpret_cast<void *>(procedure)));
}

void ProcessMessages(std::uint32_t milliseconds) {
    const ULONGLONG end = ::GetTickCount64() + milliseconds;
    for (;;) {
        MSG message;
        while (::PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&message);
            ::DispatchMessageA(&message);
        }
        const ULONGLONG now = ::GetTickCount64();
        if (now >= end) return;
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(end - now), QS_ALLINPUT);
    }
}

}  // namespace wbfax::platform
