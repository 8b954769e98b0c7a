#include "ui/frames/optionframe.h"

#include <commctrl.h>

#include "base/win/win32_error.h"
#include "ui/frames/applications.h"
#include "ui/frames/drives.h"
#include "ui/frames/textedit.h"

namespace {

const wchar_t* const FrameClass = L"QuillmarkOptionFrame";
constexpr UINT_PTR FollowParentId = 0x51464D;  // any id unique among the parent's subclasses

HFONT createMessageFont(int dpi) {
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    if (!SystemParametersInfoForDpi(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0, static_cast<UINT>(dpi)))
        throwLastError("SystemParametersInfoForDpi");
    const HFONT font = CreateFontIndirectW(&metrics.lfMessageFont);
    if (!font) throwLastError("CreateFontIndirectW");
    return font;
}

}  // namespace

TOptionFrame::~TOptionFrame() {
    fLoading = true;  // the controls going away report nothing
    if (parent_) RemoveWindowSubclass(parent_, FollowParent, FollowParentId);
}

void TOptionFrame::CreateFrame(HWND parent) {
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    registerClass(instance, FrameClass, LoadCursorW(nullptr, IDC_ARROW), GetSysColorBrush(COLOR_BTNFACE));
    const UINT dpi = GetDpiForWindow(parent);
    dpi_ = dpi ? static_cast<int>(dpi) : 96;
    font_.reset(createMessageFont(dpi_));
    createWindow(WS_EX_CONTROLPARENT, FrameClass, L"", WS_CHILD | WS_CLIPCHILDREN | WS_CLIPSIBLINGS, parent, nullptr,
                 instance);
    parent_ = parent;
    if (!SetWindowSubclass(parent, FollowParent, FollowParentId, reinterpret_cast<DWORD_PTR>(this)))
        throwLastError("SetWindowSubclass");
}

void TOptionFrame::Place() {
    RECT client{};
    GetClientRect(parent_, &client);
    SetWindowPos(hwnd(), HWND_TOP, 0, 0, client.right, client.bottom, SWP_SHOWWINDOW);
}

HWND TOptionFrame::AddControl(const wchar_t* className, const wchar_t* text, DWORD style, int id, DWORD exStyle) {
    const HWND control = CreateWindowExW(exStyle, className, text, WS_CHILD | WS_VISIBLE | style, 0, 0, 0, 0, hwnd(),
                                         reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                         GetModuleHandleW(nullptr), nullptr);
    if (!control) throwLastError("CreateWindowExW");
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), FALSE);
    return control;
}

int TOptionFrame::Scale(int pixels) const { return MulDiv(pixels, dpi_, 96); }

LRESULT TOptionFrame::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_SIZE:
        Layout(LOWORD(lParam), HIWORD(lParam));
        return 0;
    case WM_COMMAND:
        if (lParam) OnCommand(LOWORD(wParam), HIWORD(wParam));
        return 0;
    case WM_NOTIFY:
        return OnNotify(*reinterpret_cast<const NMHDR*>(lParam));
    case WM_CTLCOLORSTATIC: {
        const COLORREF color = TextColor(reinterpret_cast<HWND>(lParam));
        if (color == CLR_INVALID) break;
        const HDC dc = reinterpret_cast<HDC>(wParam);
        SetTextColor(dc, IsWindowEnabled(reinterpret_cast<HWND>(lParam)) ? color : GetSysColor(COLOR_GRAYTEXT));
        SetBkMode(dc, TRANSPARENT);
        return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
    }
    }
    return defaultHandling(message, wParam, lParam);
}

LRESULT CALLBACK TOptionFrame::FollowParent(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                            DWORD_PTR data) {
    if (message == WM_SIZE) {
        const auto* self = reinterpret_cast<TOptionFrame*>(data);
        if (self->hwnd())
            SetWindowPos(self->hwnd(), nullptr, 0, 0, LOWORD(lParam), HIWORD(lParam), SWP_NOZORDER | SWP_NOACTIVATE);
    }
    return DefSubclassProc(hwnd, message, wParam, lParam);
}

std::unique_ptr<TOptionFrame> CreateOptionFrame(FrameKind kind, HWND parent, OptionFrameHost& host, int BindIndex) {
    std::unique_ptr<TOptionFrame> frame;
    switch (kind) {
    case FrameKind::StringEdit: frame = std::make_unique<TframeStringEdit>(parent, host); break;
    case FrameKind::DirEdit: frame = std::make_unique<TframeDirEdit>(parent, host); break;
    case FrameKind::FileEdit: frame = std::make_unique<TframeFileEdit>(parent, host); break;
    case FrameKind::Drives: frame = std::make_unique<TframeDrives>(parent, host); break;
    case FrameKind::Applications: frame = std::make_unique<TframeApplications>(parent, host); break;
    case FrameKind::None: return nullptr;
    }
    if (BindIndex >= 0) frame->SetValue(BindIndex);
    frame->Place();
    return frame;
}
