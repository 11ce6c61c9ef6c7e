// Window 110, the error log: the failed PC notifications of sqb_NTFY.log, read by ui/error_log.
// Modeless; several may be open, each with rows of its own.
#include "base/module.h"
#include "platform/win32/ui/controls.h"
#include "platform/win32/ui/dialogs.h"
#include "resources/dialog_ids.h"
#include "ui/error_log.h"
#include "ui/messages.h"

namespace wbfax::win32ui {
namespace {

constexpr int kColumnWidth = 10;
constexpr int kWidthMargin = 30;
constexpr int kHeightMargin = 70;

struct ErrorLogWindow {
    ReportList list;
    HWND status = nullptr;
    std::vector<std::vector<std::string>> rows;
};

// The user's short date, a space and the time without seconds.
std::string WhenOf(const ErrorLogRow &row) {
    SYSTEMTIME time{};
    time.wYear = static_cast<WORD>(row.year);
    time.wMonth = static_cast<WORD>(row.month);
    time.wDay = static_cast<WORD>(row.day);
    time.wHour = static_cast<WORD>(row.hour);
    time.wMinute = static_cast<WORD>(row.minute);
    char date[64] = {}, clock[64] = {};
    ::GetDateFormatA(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &time, nullptr, date, sizeof date);
    ::GetTimeFormatA(LOCALE_USER_DEFAULT, TIME_NOSECONDS | LOCALE_NOUSEROVERRIDE, &time, nullptr, clock, sizeof clock);
    return std::string(date) + " " + clock;
}

std::string StatusOf(int status) {
    if (const int id = ErrorLogStatusStringId(status)) return platform::LoadResourceString(Module().resourceInstance, id);
    return ErrorLogStatusText(status);
}

void OnInit(HWND window, ErrorLogWindow &w) {
    w.status = ::CreateWindowExA(0, STATUSCLASSNAMEA, "", WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, window,
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_STATUS_BAR)), Resources(), nullptr);
    w.list = ReportList(::GetDlgItem(window, IDC_WINDOW_LIST));
    w.list.SetFullRowSelect();
    w.list.SetColumns({LoadLabel(kLabelDateTime), LoadLabel(kLabelPcList), LoadLabel(kLabelStatus), LoadLabel(kLabelFileName)},
                      {kColumnWidth, kColumnWidth, kColumnWidth, kColumnWidth});
    for (const ErrorLogRow &row : ReadErrorLog(ErrorLogPath()))
        w.rows.push_back({WhenOf(row), row.pcAddress, StatusOf(row.status), row.fileName});
    w.list.Show(w.rows, [](const std::vector<std::string> &cells) { return cells; });
}

void OnSize(HWND window, ErrorLogWindow &w) {
    if (!w.status) return;  // sizes arrive before the controls exist
    ::SendMessageA(w.status, WM_SIZE, 0, 0);
    RECT frame{};
    ::GetWindowRect(window, &frame);
    ::SetWindowPos(w.list.handle(), nullptr, 0, 0, frame.right - frame.left - kWidthMargin,
                   frame.bottom - frame.top - kHeightMargin, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

INT_PTR CALLBACK ErrorLogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto *w = reinterpret_cast<ErrorLogWindow *>(::GetWindowLongPtrA(window, DWLP_USER));
    switch (message) {
    case WM_INITDIALOG:
        w = new ErrorLogWindow;
        ::SetWindowLongPtrA(window, DWLP_USER, reinterpret_cast<LONG_PTR>(w));
        OnInit(window, *w);
        return TRUE;
    case WM_SIZE:
        if (w) OnSize(window, *w);
        return FALSE;
    case WM_NOTIFY: {
        const auto &header = *reinterpret_cast<const NMHDR *>(lParam);
        if (w && header.idFrom == IDC_WINDOW_LIST && header.code == LVN_COLUMNCLICK)
            w->list.SortByColumn(w->rows, reinterpret_cast<const NMLISTVIEW &>(header).iSubItem);
        return FALSE;
    }
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
            ::DestroyWindow(window);
            return TRUE;
        }
        return FALSE;
    case WM_DESTROY:
        RemoveModeless(window);
        ::SetWindowLongPtrA(window, DWLP_USER, 0);
        delete w;
        return FALSE;
    default: return FALSE;
    }
}

}  // namespace

HWND OpenErrorLog(HWND owner) {
    const HWND window = ::CreateDialogParamA(Resources(), MAKEINTRESOURCEA(IDD_ERROR_LOG), owner, ErrorLogProc, 0);
    if (!window) return nullptr;
    AddModeless(window);
    ::ShowWindow(window, SW_SHOW);
    return window;
}

}  // namespace wbfax::win32ui
