// Works the real dialogs from a second thread as a person would, while the host's thread stays in
// the dialogs' own message loops.
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

    HWND WaitForDialog(int markerId);  // the visible dialog with a control of this id
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

    static int Rows(HWND list);
    static std::string Cell(HWND list, int row, int column);
    static std::string Header(HWND list, int column);
    // The rows' first cells as "cell|cell row|row".
    static std::string Table(HWND list, int columns = 1);
    static void SelectRow(HWND list, const std::string &firstCell);
    static HTREEITEM Root(HWND tree) { return TreeView_GetRoot(tree); }
    static std::string ItemLabel(HWND tree, HTREEITEM item);
    static HTREEITEM Child(HWND tree, HTREEITEM parent, const std::string &utf8);
    static HTREEITEM Selection(HWND tree) { return TreeView_GetSelection(tree); }

    // Real input: the window must be on top.
    static void ClickHeader(HWND list, int column);
    static void RightClickItem(HWND tree, HTREEITEM item);
    HMENU WaitForPopupMenu(HWND &window);
    static void PressKey(WORD key);

    void Screenshot(HWND window, const std::string &name);

private:
    std::vector<HWND> Windows() const;
    HWND WaitForDialog(const std::function<bool(HWND)> &match, const std::string &what);

    DWORD uiThread_;
    std::string screenshots_, language_;
    std::chrono::milliseconds timeout_{15000};
};

}  // namespace wbfax::gui
