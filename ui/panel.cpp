#include "ui/panel.h"

static const wchar_t* const PanelClass = L"QuillmarkPanel";

void Panel::create(HWND parent, int id, HINSTANCE instance, bool visible)
{
    registerClass(instance, PanelClass, LoadCursorW(nullptr, IDC_ARROW), GetSysColorBrush(COLOR_BTNFACE));
    createWindow(WS_EX_CONTROLPARENT, PanelClass, L"",
                 WS_CHILD | WS_CLIPCHILDREN | WS_CLIPSIBLINGS | (visible ? WS_VISIBLE : 0), parent,
                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance);
}

LRESULT Panel::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_COMMAND:
    case WM_NOTIFY:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORLISTBOX:
    case WM_DRAWITEM:
    case WM_MEASUREITEM:
    case WM_CONTEXTMENU:  // as the control sent it: the system's handling would name the panel instead
        return SendMessageW(GetParent(hwnd()), message, wParam, lParam);
    }
    return defaultHandling(message, wParam, lParam);
}
