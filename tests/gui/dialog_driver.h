// Works the real dialogs from a second thread while the host's thread stays in their message
// loops; buttons are pressed with posted commands, so a modal window never holds the driver.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace wbfax::gui {

// A step that could not be done; the script stops and the dialogs are closed.
struct StepFailed : std::runtime_error {
    using std::runtime_error::runtime_error;
};

inline DWORD uiThread = 0;                  // the host's thread, whose dialogs are worked
inline std::string screenshots, language;  // pictures go to screenshots\NAME-LANGUAGE.bmp
constexpr auto kTimeout = std::chrono::seconds(15);

inline std::string Utf8(const std::wstring &text) {
    std::string out(text.size() * 3, '\0');
    out.resize(static_cast<std::size_t>(::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                                              out.data(), static_cast<int>(out.size()), nullptr, nullptr)));
    return out;
}

inline std::wstring Wide(const std::string &utf8) {
    std::wstring out(utf8.size(), L'\0');
    out.resize(static_cast<std::size_t>(
        ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), static_cast<int>(out.size()))));
    return out;
}

inline void Pause(int milliseconds = 50) { std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds)); }

// A plain function: the 32-bit build calls it stdcall, which a lambda cannot be.
inline BOOL CALLBACK CollectWindow(HWND window, LPARAM found) {
    reinterpret_cast<std::vector<HWND> *>(found)->push_back(window);
    return TRUE;
}

// The visible dialogs of the host's thread, message boxes included.
inline std::vector<HWND> Dialogs() {
    std::vector<HWND> windows, dialogs;
    ::EnumThreadWindows(uiThread, CollectWindow, reinterpret_cast<LPARAM>(&windows));
    for (HWND window : windows) {
        wchar_t name[16] = {};
        ::GetClassNameW(window, name, 16);
        if (std::wstring(name) == L"#32770" && ::IsWindowVisible(window)) dialogs.push_back(window);
    }
    return dialogs;
}

inline void WaitUntil(const std::function<bool()> &done, const std::string &what) {
    for (const auto end = std::chrono::steady_clock::now() + kTimeout; !done(); Pause())
        if (std::chrono::steady_clock::now() > end) throw StepFailed("timed out waiting for " + what);
}

inline void WaitGone(HWND window) { WaitUntil([&] { return !::IsWindowVisible(window); }, "a window to close"); }

inline HWND WaitForDialog(const std::function<bool(HWND)> &match, const std::string &what) {
    HWND found = nullptr;
    WaitUntil([&] {
        for (HWND window : Dialogs())
            if (match(window)) found = window;
        return found != nullptr;
    }, what);
    return found;
}

// The dialog with a control of this id, initialised and painted.
inline HWND WaitForDialog(int markerId) {
    const HWND found = WaitForDialog([&](HWND window) { return ::GetDlgItem(window, markerId) != nullptr; },
                                     "the dialog with control " + std::to_string(markerId));
    Pause();
    return found;
}

inline std::string Text(HWND window) {
    wchar_t text[1024] = {};
    ::GetWindowTextW(window, text, 1024);
    return Utf8(text);
}
inline std::string ItemText(HWND dialog, int id) { return Text(::GetDlgItem(dialog, id)); }

// Closes whatever the script left open, message boxes first, until the dialogs are gone.
inline void CloseEverything(const std::function<bool()> &finished) {
    for (const auto end = std::chrono::steady_clock::now() + kTimeout; !finished() && std::chrono::steady_clock::now() < end; Pause(200))
        for (HWND window : Dialogs()) ::PostMessageW(window, WM_COMMAND, IDCANCEL, 0);
}

inline void Notify(HWND dialog, int id, int code) {
    ::PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, code), reinterpret_cast<LPARAM>(::GetDlgItem(dialog, id)));
}
inline void Press(HWND dialog, int id) { Notify(dialog, id, BN_CLICKED); }
inline void SetText(HWND dialog, int id, const std::string &utf8) { ::SetWindowTextW(::GetDlgItem(dialog, id), Wide(utf8).c_str()); }

template <typename Item>
std::string ControlText(HWND control, UINT message, WPARAM which, Item item) {
    wchar_t text[512] = {};
    item.pszText = text;
    item.cchTextMax = 512;
    ::SendMessageW(control, message, which, reinterpret_cast<LPARAM>(&item));
    return Utf8(text);
}

inline int Rows(HWND list) { return static_cast<int>(::SendMessageW(list, LVM_GETITEMCOUNT, 0, 0)); }

inline std::string Cell(HWND list, int row, int column) {
    LVITEMW item{};
    item.iSubItem = column;
    return ControlText(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(row), item);
}

// The rows' first cells as "cell|cell row|row".
inline std::string Table(HWND list, int columns = 1) {
    std::string text;
    for (int row = 0; row < Rows(list); ++row)
        for (int column = 0; column < columns; ++column) text += (column ? "|" : row ? " " : "") + Cell(list, row, column);
    return text;
}

inline void SelectRow(HWND list, const std::string &firstCell) {
    int row = 0;
    while (row < Rows(list) && Cell(list, row, 0) != firstCell) ++row;
    if (row == Rows(list)) throw StepFailed("no row " + firstCell);
    LVITEMW state{};
    state.stateMask = state.state = LVIS_SELECTED | LVIS_FOCUSED;
    ::SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&state));
}

inline std::string ItemLabel(HWND tree, HTREEITEM item) {
    TVITEMW label{};
    label.mask = TVIF_TEXT | TVIF_HANDLE;
    label.hItem = item;
    return ControlText(tree, TVM_GETITEMW, 0, label);
}

inline HTREEITEM Child(HWND tree, HTREEITEM parent, const std::string &utf8) {
    for (HTREEITEM child = TreeView_GetChild(tree, parent); child; child = TreeView_GetNextSibling(tree, child))
        if (ItemLabel(tree, child) == utf8) return child;
    throw StepFailed("no folder " + utf8 + " in the tree");
}

// A real mouse click on the column's header (the list on top); two in a row would be a double click.
inline void ClickHeader(HWND list, int column) {
    static auto last = std::chrono::steady_clock::now() - std::chrono::seconds(10);
    const auto apart = std::chrono::milliseconds(::GetDoubleClickTime() + 100);
    if (std::chrono::steady_clock::now() - last < apart) std::this_thread::sleep_for(apart);
    last = std::chrono::steady_clock::now();
    const auto header = reinterpret_cast<HWND>(::SendMessageW(list, LVM_GETHEADER, 0, 0));
    RECT place{};
    ::SendMessageW(header, HDM_GETITEMRECT, static_cast<WPARAM>(column), reinterpret_cast<LPARAM>(&place));
    POINT middle{(place.left + place.right) / 2, (place.top + place.bottom) / 2};
    ::ClientToScreen(header, &middle);
    ::SetCursorPos(middle.x, middle.y);
    INPUT press[2] = {{INPUT_MOUSE, {}}, {INPUT_MOUSE, {}}};
    press[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN, press[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
    ::SendInput(2, press, sizeof(INPUT));
}

// The window as it stands on the screen, when screenshots were asked for.
inline void Screenshot(HWND window, const std::string &name) {
    if (screenshots.empty()) return;
    Pause(400);  // painted
    RECT frame{};
    ::GetWindowRect(window, &frame);
    BITMAPINFOHEADER info{sizeof info, frame.right - frame.left, frame.bottom - frame.top, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    std::vector<unsigned char> pixels(((static_cast<DWORD>(info.biWidth) * 3 + 3) & ~3u) * static_cast<DWORD>(info.biHeight));
    const HDC screen = ::GetDC(nullptr), memory = ::CreateCompatibleDC(screen);
    const HBITMAP bitmap = ::CreateCompatibleBitmap(screen, info.biWidth, info.biHeight);
    const HGDIOBJ old = ::SelectObject(memory, bitmap);
    ::BitBlt(memory, 0, 0, info.biWidth, info.biHeight, screen, frame.left, frame.top, SRCCOPY);
    ::SelectObject(memory, old);
    ::GetDIBits(memory, bitmap, 0, static_cast<UINT>(info.biHeight), pixels.data(), reinterpret_cast<BITMAPINFO *>(&info),
                DIB_RGB_COLORS);
    ::DeleteObject(bitmap);
    ::DeleteDC(memory);
    ::ReleaseDC(nullptr, screen);
    const DWORD offset = sizeof(BITMAPFILEHEADER) + sizeof info;
    const BITMAPFILEHEADER file{0x4D42, offset + static_cast<DWORD>(pixels.size()), 0, 0, offset};
    if (std::FILE *out = std::fopen((screenshots + "\\" + name + "-" + language + ".bmp").c_str(), "wb")) {
        std::fwrite(&file, sizeof file, 1, out);
        std::fwrite(&info, sizeof info, 1, out);
        std::fwrite(pixels.data(), 1, pixels.size(), out);
        std::fclose(out);
    }
}

}  // namespace wbfax::gui
