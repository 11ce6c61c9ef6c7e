#include "gui/dialog_driver.h"

#include <cstdio>
#include <cstring>
#include <thread>

namespace wbfax::gui {
namespace {

constexpr int kMessageTextId = 0xFFFF;  // the text of a message box
constexpr wchar_t kMessageCaption[] = L"Scanner Quillbox";

bool IsDialog(HWND window) {
    wchar_t name[16] = {};
    ::GetClassNameW(window, name, 16);
    return std::wstring(name) == L"#32770" && ::IsWindowVisible(window);
}

void Pause(int milliseconds = 50) { std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds)); }

// A plain function: the 32-bit build calls it stdcall, which a lambda cannot be.
BOOL CALLBACK CollectWindow(HWND window, LPARAM found) {
    reinterpret_cast<std::vector<HWND> *>(found)->push_back(window);
    return TRUE;
}

template <typename Item>
std::string ControlText(HWND control, UINT message, WPARAM which, Item item) {
    wchar_t text[512] = {};
    item.pszText = text;
    item.cchTextMax = 512;
    if (!::SendMessageW(control, message, which, reinterpret_cast<LPARAM>(&item)) && message == LVM_GETCOLUMNW)
        throw StepFailed("no column " + std::to_string(which));
    return Utf8(text);
}

// A real mouse click at a point of the window's client area.
void Click(HWND window, POINT client, bool right = false) {
    // Two clicks in a row would be a double click.
    static auto last = std::chrono::steady_clock::now() - std::chrono::seconds(10);
    const auto apart = std::chrono::milliseconds(::GetDoubleClickTime() + 100);
    if (std::chrono::steady_clock::now() - last < apart) std::this_thread::sleep_for(apart);
    last = std::chrono::steady_clock::now();
    ::ClientToScreen(window, &client);
    ::SetCursorPos(client.x, client.y);
    INPUT press[2] = {{INPUT_MOUSE, {}}, {INPUT_MOUSE, {}}};
    press[0].mi.dwFlags = right ? MOUSEEVENTF_RIGHTDOWN : MOUSEEVENTF_LEFTDOWN;
    press[1].mi.dwFlags = right ? MOUSEEVENTF_RIGHTUP : MOUSEEVENTF_LEFTUP;
    ::SendInput(2, press, sizeof(INPUT));
}

}  // namespace

std::string Utf8(const std::wstring &text) {
    std::string out(text.size() * 3, '\0');
    out.resize(static_cast<std::size_t>(::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                                              out.data(), static_cast<int>(out.size()), nullptr, nullptr)));
    return out;
}

std::wstring Wide(const std::string &utf8) {
    std::wstring out(utf8.size(), L'\0');
    out.resize(static_cast<std::size_t>(
        ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), static_cast<int>(out.size()))));
    return out;
}

std::vector<HWND> Driver::Windows() const {
    std::vector<HWND> windows;
    ::EnumThreadWindows(uiThread_, CollectWindow, reinterpret_cast<LPARAM>(&windows));
    return windows;
}

void Driver::WaitUntil(const std::function<bool()> &done, const char *what) {
    const auto end = std::chrono::steady_clock::now() + timeout_;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) throw StepFailed(std::string("timed out waiting for ") + what);
        Pause();
    }
}

HWND Driver::WaitForDialog(const std::function<bool(HWND)> &match, const std::string &what) {
    HWND found = nullptr;
    WaitUntil([&] {
        for (HWND window : Windows())
            if (IsDialog(window) && match(window)) found = window;
        return found != nullptr;
    }, what.c_str());
    return found;
}

HWND Driver::WaitForDialog(int markerId) {
    const HWND found = WaitForDialog([&](HWND window) { return ::GetDlgItem(window, markerId) != nullptr; },
                                     "the dialog with control " + std::to_string(markerId));
    Pause();  // its initialisation is done, let it paint
    return found;
}

HWND Driver::WaitForMessageBox(std::string &text) {
    const HWND found = WaitForDialog(
        [](HWND window) { return Wide(Text(window)) == kMessageCaption && ::GetDlgItem(window, kMessageTextId); }, "a message box");
    text = Text(::GetDlgItem(found, kMessageTextId));
    return found;
}

void Driver::WaitGone(HWND window) { WaitUntil([&] { return !::IsWindowVisible(window); }, "a window to close"); }

void Driver::CloseEverything(const std::function<bool()> &finished) {
    for (const auto end = std::chrono::steady_clock::now() + timeout_; !finished() && std::chrono::steady_clock::now() < end;
         Pause(200))
        for (HWND window : Windows())
            if (IsDialog(window)) ::PostMessageW(window, WM_COMMAND, IDCANCEL, 0);
}

void Driver::Notify(HWND dialog, int id, int code) {
    ::PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, code), reinterpret_cast<LPARAM>(::GetDlgItem(dialog, id)));
}

void Driver::SetText(HWND dialog, int id, const std::string &utf8) { ::SetWindowTextW(::GetDlgItem(dialog, id), Wide(utf8).c_str()); }

std::string Driver::Text(HWND window) {
    wchar_t text[1024] = {};
    ::GetWindowTextW(window, text, 1024);
    return Utf8(text);
}

int Driver::Rows(HWND list) { return static_cast<int>(::SendMessageW(list, LVM_GETITEMCOUNT, 0, 0)); }

std::string Driver::Cell(HWND list, int row, int column) {
    LVITEMW item{};
    item.iSubItem = column;
    return ControlText(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(row), item);
}

std::string Driver::Header(HWND list, int column) {
    LVCOLUMNW header{};
    header.mask = LVCF_TEXT;
    return ControlText(list, LVM_GETCOLUMNW, static_cast<WPARAM>(column), header);
}

std::string Driver::Table(HWND list, int columns) {
    std::string text;
    for (int row = 0; row < Rows(list); ++row)
        for (int column = 0; column < columns; ++column) text += (column ? "|" : row ? " " : "") + Cell(list, row, column);
    return text;
}

void Driver::SelectRow(HWND list, const std::string &firstCell) {
    int row = 0;
    while (row < Rows(list) && Cell(list, row, 0) != firstCell) ++row;
    if (row == Rows(list)) throw StepFailed("no row " + firstCell);
    LVITEMW state{};
    state.stateMask = state.state = LVIS_SELECTED | LVIS_FOCUSED;
    ::SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&state));
}

std::string Driver::ItemLabel(HWND tree, HTREEITEM item) {
    TVITEMW label{};
    label.mask = TVIF_TEXT | TVIF_HANDLE;
    label.hItem = item;
    return ControlText(tree, TVM_GETITEMW, 0, label);
}

HTREEITEM Driver::Child(HWND tree, HTREEITEM parent, const std::string &utf8) {
    for (HTREEITEM child = TreeView_GetChild(tree, parent); child; child = TreeView_GetNextSibling(tree, child))
        if (ItemLabel(tree, child) == utf8) return child;
    throw StepFailed("no folder " + utf8 + " in the tree");
}

void Driver::ClickHeader(HWND list, int column) {
    const auto header = reinterpret_cast<HWND>(::SendMessageW(list, LVM_GETHEADER, 0, 0));
    RECT place{};
    ::SendMessageW(header, HDM_GETITEMRECT, static_cast<WPARAM>(column), reinterpret_cast<LPARAM>(&place));
    Click(header, {(place.left + place.right) / 2, (place.top + place.bottom) / 2});
}

void Driver::RightClickItem(HWND tree, HTREEITEM item) {
    RECT place{};
    std::memcpy(&place, &item, sizeof item);  // the item goes in where the rectangle comes out
    ::SendMessageW(tree, TVM_GETITEMRECT, TRUE, reinterpret_cast<LPARAM>(&place));
    Click(tree, {(place.left + place.right) / 2, (place.top + place.bottom) / 2}, true);
}

HMENU Driver::WaitForPopupMenu(HWND &window) {
    HMENU menu = nullptr;
    // Popup menus are top-level windows of the system's menu class, owned by no thread's dialog.
    WaitUntil([&] {
        window = ::FindWindowW(L"#32768", nullptr);
        return window && ::IsWindowVisible(window) && (menu = reinterpret_cast<HMENU>(::SendMessageW(window, MN_GETHMENU, 0, 0)));
    }, "the folder menu");
    return menu;
}

void Driver::PressKey(WORD key) {
    INPUT press[2] = {{INPUT_KEYBOARD, {}}, {INPUT_KEYBOARD, {}}};
    press[0].ki.wVk = press[1].ki.wVk = key;
    press[1].ki.dwFlags = KEYEVENTF_KEYUP;
    ::SendInput(2, press, sizeof(INPUT));
}

void Driver::Screenshot(HWND window, const std::string &name) {
    if (screenshots_.empty()) return;
    Pause(400);  // painted
    RECT frame{};
    ::GetWindowRect(window, &frame);
    BITMAPINFOHEADER info{sizeof info, frame.right - frame.left, frame.bottom - frame.top, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    const DWORD stride = (static_cast<DWORD>(info.biWidth) * 3 + 3) & ~3u;
    std::vector<unsigned char> pixels(stride * static_cast<DWORD>(info.biHeight));
    HDC screen = ::GetDC(nullptr);
    HDC memory = ::CreateCompatibleDC(screen);
    HBITMAP bitmap = ::CreateCompatibleBitmap(screen, info.biWidth, info.biHeight);
    HGDIOBJ old = ::SelectObject(memory, bitmap);
    ::BitBlt(memory, 0, 0, info.biWidth, info.biHeight, screen, frame.left, frame.top, SRCCOPY);
    ::SelectObject(memory, old);
    ::GetDIBits(memory, bitmap, 0, static_cast<UINT>(info.biHeight), pixels.data(), reinterpret_cast<BITMAPINFO *>(&info),
                DIB_RGB_COLORS);
    ::DeleteObject(bitmap);
    ::DeleteDC(memory);
    ::ReleaseDC(nullptr, screen);

    const DWORD offset = sizeof(BITMAPFILEHEADER) + sizeof info;
    const BITMAPFILEHEADER file{0x4D42, offset + static_cast<DWORD>(pixels.size()), 0, 0, offset};
    if (std::FILE *out = std::fopen((screenshots_ + "\\" + name + "-" + language_ + ".bmp").c_str(), "wb")) {
        std::fwrite(&file, sizeof file, 1, out);
        std::fwrite(&info, sizeof info, 1, out);
        std::fwrite(pixels.data(), 1, pixels.size(), out);
        std::fclose(out);
    }
}

}  // namespace wbfax::gui
