// Drives the real settings dialogs from a second thread, as a person at the screen would: finds
// the dialogs by their controls, types into fields, presses buttons, picks list rows and tree
// items, answers message boxes. The host's thread stays in the dialogs' own message loops.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <chrono>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

namespace wbfax::gui {

// A step that could not be done; the script stops and the dialogs are closed.
struct StepFailed : std::runtime_error {
    using std::runtime_error::runtime_error;
};

std::string Utf8(const std::wstring &text);
std::wstring Wide(const std::string &utf8);

class Driver {
public:
    explicit Driver(DWORD uiThread, std::string screenshots, std::string language)
        : uiThread_(uiThread), screenshots_(std::move(screenshots)), language_(std::move(language)) {}

    // The visible dialog of the host's thread that has a control with this id.
    HWND WaitForDialog(int markerId);
    // The message box of the settings ("Scanner Quillbox"); its text in UTF-8.
    HWND WaitForMessageBox(std::string &text);
    void WaitGone(HWND window);
    void WaitUntil(const std::function<bool()> &done, const char *what);
    // Closes whatever the script left open, message boxes first, until the dialogs are gone.
    void CloseEverything(const std::function<bool()> &finished);

    // Posted, so that a button that opens a modal window does not hold this thread.
    static void Notify(HWND dialog, int id, int code);
    static void Press(HWND dialog, int id) { Notify(dialog, id, BN_CLICKED); }
    static void SetText(HWND dialog, int id, const std::string &utf8);
    static std::string Text(HWND window);
    static std::string ItemText(HWND dialog, int id) { return Text(::GetDlgItem(dialog, id)); }

    // List views.
    static int Rows(HWND list);
    static std::string Cell(HWND list, int row, int column);
    static std::string Header(HWND list, int column);
    static int FindRow(HWND list, const std::string &utf8);
    static void SelectRow(HWND list, int row);

    // Tree views.
    static HTREEITEM Root(HWND tree) { return TreeView_GetRoot(tree); }
    static std::string ItemLabel(HWND tree, HTREEITEM item);
    static std::vector<std::string> Children(HWND tree, HTREEITEM item);
    static HTREEITEM Child(HWND tree, HTREEITEM parent, const std::string &utf8);
    static HTREEITEM Selection(HWND tree) { return TreeView_GetSelection(tree); }

    // Real mouse clicks at a point of a window's client area (the window must be on top).
    static void Click(HWND window, POINT client, bool right = false);
    static void ClickHeader(HWND list, int column);
    static void RightClickItem(HWND tree, HTREEITEM item);
    // The open popup menu of the host's thread; its menu handle, null when none is open.
    HMENU WaitForPopupMenu(HWND &window);
    static void PressKey(WORD key);

    // The window as it stands on the screen, when screenshots were asked for.
    void Screenshot(HWND window, const std::string &name);

private:
    std::vector<HWND> Windows() const;

    DWORD uiThread_;
    std::string screenshots_;
    std::string language_;
    std::chrono::milliseconds timeout_{15000};
};

}  // namespace wbfax::gui
