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

void Pause() { std::this_thread::sleep_for(std::chrono::milliseconds(50)); }

}  // namespace

std::string Utf8(const std::wstring &text) {
    if (text.empty()) return {};
    const int n = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(n), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
    return out;
}

std::wstring Wide(const std::string &utf8) {
    if (utf8.empty()) return {};
    const int n = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring out(static_cast<std::size_t>(n), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), n);
    return out;
}

namespace {

// A plain function: the 32-bit build calls it stdcall, which a lambda cannot be.
BOOL CALLBACK CollectWindow(HWND window, LPARAM found) {
    reinterpret_cast<std::vector<HWND> *>(found)->push_back(window);
    return TRUE;
}

}  // namespace

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

HWND Driver::WaitForDialog(int markerId, HWND other) {
    HWND found = nullptr;
    WaitUntil(
        [&] {
            for (HWND window : Windows())
                if (window != other && IsDialog(window) && ::GetDlgItem(window, markerId)) found = window;
            return found != nullptr;
        },
        ("the dialog with control " + std::to_string(markerId)).c_str());
    Pause();  // its initialisation is done, let it paint
    return found;
}

HWND Driver::WaitForMessageBox(std::string &text) {
    HWND found = nullptr;
    WaitUntil(
        [&] {
            for (HWND window : Windows()) {
                wchar_t caption[64] = {};
                ::GetWindowTextW(window, caption, 64);
                if (IsDialog(window) && std::wstring(caption) == kMessageCaption && ::GetDlgItem(window, kMessageTextId))
                    found = window;
            }
            return found != nullptr;
        },
        "a message box");
    text = Text(::GetDlgItem(found, kMessageTextId));
    return found;
}

void Driver::WaitGone(HWND window) {
    WaitUntil([&] { return !::IsWindow(window) || !::IsWindowVisible(window); }, "a window to close");
}

void Driver::CloseEverything(const std::function<bool()> &finished) {
    const auto end = std::chrono::steady_clock::now() + timeout_;
    while (!finished() && std::chrono::steady_clock::now() < end) {
        for (HWND window : Windows())
            if (IsDialog(window)) ::PostMessageW(window, WM_COMMAND, IDCANCEL, 0);
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
}

void Driver::Press(HWND dialog, int id) {
    ::PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(::GetDlgItem(dialog, id)));
}

void Driver::Notify(HWND dialog, int id, int code) {
    ::PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, code), reinterpret_cast<LPARAM>(::GetDlgItem(dialog, id)));
}

void Driver::SetText(HWND dialog, int id, const std::string &utf8) {
    ::SetWindowTextW(::GetDlgItem(dialog, id), Wide(utf8).c_str());
}

std::string Driver::Text(HWND window) {
    wchar_t text[1024] = {};
    ::GetWindowTextW(window, text, 1024);
    return Utf8(text);
}

int Driver::Rows(HWND list) { return static_cast<int>(::SendMessageW(list, LVM_GETITEMCOUNT, 0, 0)); }

std::string Driver::Cell(HWND list, int row, int column) {
    wchar_t text[512] = {};
    LVITEMW item{};
    item.iSubItem = column;
    item.pszText = text;
    item.cchTextMax = 512;
    ::SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
    return Utf8(text);
}

std::string Driver::Header(HWND list, int column) {
    wchar_t text[256] = {};
    LVCOLUMNW header{};
    header.mask = LVCF_TEXT;
    header.pszText = text;
    header.cchTextMax = 256;
    if (!::SendMessageW(list, LVM_GETCOLUMNW, static_cast<WPARAM>(column), reinterpret_cast<LPARAM>(&header)))
        throw StepFailed("no column " + std::to_string(column));
    return Utf8(text);
}

int Driver::FindRow(HWND list, const std::string &utf8) {
    for (int row = 0; row < Rows(list); ++row)
        if (Cell(list, row, 0) == utf8) return row;
    return -1;
}

void Driver::SelectRow(HWND list, int row) {
    if (row < 0) throw StepFailed("no such row");
    LVITEMW state{};
    state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    state.state = LVIS_SELECTED | LVIS_FOCUSED;
    ::SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&state));
}

std::string Driver::ItemLabel(HWND tree, HTREEITEM item) {
    wchar_t text[512] = {};
    TVITEMW label{};
    label.mask = TVIF_TEXT | TVIF_HANDLE;
    label.hItem = item;
    label.pszText = text;
    label.cchTextMax = 512;
    ::SendMessageW(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&label));
    return Utf8(text);
}

std::vector<std::string> Driver::Children(HWND tree, HTREEITEM item) {
    std::vector<std::string> names;
    for (HTREEITEM child = TreeView_GetChild(tree, item); child; child = TreeView_GetNextSibling(tree, child))
        names.push_back(ItemLabel(tree, child));
    return names;
}

HTREEITEM Driver::Child(HWND tree, HTREEITEM parent, const std::string &utf8) {
    for (HTREEITEM child = TreeView_GetChild(tree, parent); child; child = TreeView_GetNextSibling(tree, child))
        if (ItemLabel(tree, child) == utf8) return child;
    throw StepFailed("no folder " + utf8 + " in the tree");
}

void Driver::Click(HWND window, POINT client, bool right) {
    // Two clicks in a row would be a double click.
    static auto last = std::chrono::steady_clock::now() - std::chrono::seconds(10);
    const auto apart = std::chrono::milliseconds(::GetDoubleClickTime() + 100);
    if (std::chrono::steady_clock::now() - last < apart) std::this_thread::sleep_for(apart);
    last = std::chrono::steady_clock::now();
    ::ClientToScreen(window, &client);
    ::SetCursorPos(client.x, client.y);
    INPUT press[2] = {};
    for (INPUT &input : press) input.type = INPUT_MOUSE;
    press[0].mi.dwFlags = right ? MOUSEEVENTF_RIGHTDOWN : MOUSEEVENTF_LEFTDOWN;
    press[1].mi.dwFlags = right ? MOUSEEVENTF_RIGHTUP : MOUSEEVENTF_LEFTUP;
    ::SendInput(2, press, sizeof(INPUT));
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
    WaitUntil(
        [&] {
            // Popup menus are top-level windows of the system's menu class, owned by no thread's dialog.
            window = ::FindWindowW(L"#32768", nullptr);
            if (window && ::IsWindowVisible(window))
                menu = reinterpret_cast<HMENU>(::SendMessageW(window, MN_GETHMENU, 0, 0));
            return menu != nullptr;
        },
        "the folder menu");
    return menu;
}

void Driver::PressKey(WORD key) {
    INPUT press[2] = {};
    for (INPUT &input : press) {
        input.type = INPUT_KEYBOARD;
        input.ki.wVk = key;
    }
    press[1].ki.dwFlags = KEYEVENTF_KEYUP;
    ::SendInput(2, press, sizeof(INPUT));
}

void Driver::Screenshot(HWND window, const std::string &name) {
    if (screenshots_.empty()) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(400));  // painted
    RECT frame{};
    ::GetWindowRect(window, &frame);
    const int width = frame.right - frame.left, height = frame.bottom - frame.top;
    HDC screen = ::GetDC(nullptr);
    HDC memory = ::CreateCompatibleDC(screen);
    HBITMAP bitmap = ::CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ old = ::SelectObject(memory, bitmap);
    ::BitBlt(memory, 0, 0, width, height, screen, frame.left, frame.top, SRCCOPY);
    ::SelectObject(memory, old);

    BITMAPINFOHEADER info{};
    info.biSize = sizeof info;
    info.biWidth = width;
    info.biHeight = height;
    info.biPlanes = 1;
    info.biBitCount = 24;
    info.biCompression = BI_RGB;
    const DWORD stride = (static_cast<DWORD>(width) * 3 + 3) & ~3u;
    std::vector<unsigned char> pixels(stride * static_cast<DWORD>(height));
    ::GetDIBits(memory, bitmap, 0, static_cast<UINT>(height), pixels.data(), reinterpret_cast<BITMAPINFO *>(&info),
                DIB_RGB_COLORS);
    ::DeleteObject(bitmap);
    ::DeleteDC(memory);
    ::ReleaseDC(nullptr, screen);

    BITMAPFILEHEADER file{};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof file + sizeof info;
    file.bfSize = file.bfOffBits + static_cast<DWORD>(pixels.size());
    const std::string path = screenshots_ + "\\" + name + "-" + language_ + ".bmp";
    if (std::FILE *out = std::fopen(path.c_str(), "wb")) {
        std::fwrite(&file, sizeof file, 1, out);
        std::fwrite(&info, sizeof info, 1, out);
        std::fwrite(pixels.data(), 1, pixels.size(), out);
        std::fclose(out);
    }
}

}  // namespace wbfax::gui
