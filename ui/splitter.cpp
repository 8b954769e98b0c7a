#include "ui/splitter.h"

#include <windowsx.h>

static const wchar_t* const SplitterClass = L"QuillmarkSplitter";

void Splitter::create(HWND parent, int id, HINSTANCE instance, Axis axis, std::function<void(int)> onDrag)
{
    axis_ = axis;
    onDrag_ = std::move(onDrag);
    registerClass(instance, SplitterClass, nullptr, GetSysColorBrush(COLOR_BTNFACE));
    createWindow(0, SplitterClass, L"", WS_CHILD | WS_VISIBLE, parent,
                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance);
}

void Splitter::MoveByKeyboard(int step)
{
    step_ = step;
    const HWND focused = GetFocus();
    if (focused != hwnd()) focusBefore_ = focused;
    SetFocus(hwnd());
}

int Splitter::along(LPARAM lParam) const
{
    return axis_ == Axis::Vertical ? GET_X_LPARAM(lParam) : GET_Y_LPARAM(lParam);
}

LRESULT Splitter::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_SETCURSOR:
        SetCursor(LoadCursorW(nullptr, axis_ == Axis::Vertical ? IDC_SIZEWE : IDC_SIZENS));
        return TRUE;
    case WM_LBUTTONDOWN:
        grabOffset_ = along(lParam);
        SetCapture(hwnd());
        return 0;
    case WM_MOUSEMOVE:
        if (GetCapture() == hwnd() && onDrag_) {
            POINT p{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
            MapWindowPoints(hwnd(), GetParent(hwnd()), &p, 1);
            onDrag_((axis_ == Axis::Vertical ? p.x : p.y) - grabOffset_);
        }
        return 0;
    case WM_LBUTTONUP:
        if (GetCapture() == hwnd()) ReleaseCapture();
        return 0;
    case WM_GETDLGCODE:
        return DLGC_WANTALLKEYS;  // the arrows, Enter and Esc belong to the bar while it has the focus
    case WM_KEYDOWN: {
        const bool back = wParam == VK_LEFT || wParam == VK_UP, forward = wParam == VK_RIGHT || wParam == VK_DOWN;
        if ((back || forward) && onDrag_) {
            RECT bar;
            GetWindowRect(hwnd(), &bar);
            MapWindowPoints(nullptr, GetParent(hwnd()), reinterpret_cast<POINT*>(&bar), 2);
            const int edge = axis_ == Axis::Vertical ? bar.left : bar.top;
            onDrag_(edge + (forward ? step_ : -step_));
        } else if (wParam == VK_RETURN || wParam == VK_ESCAPE || wParam == VK_TAB) {
            SetFocus(IsWindow(focusBefore_) ? focusBefore_ : GetParent(hwnd()));
        }
        return 0;
    }
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
        InvalidateRect(hwnd(), nullptr, TRUE);
        return 0;
    case WM_PAINT: {
        PAINTSTRUCT paint;
        const HDC dc = BeginPaint(hwnd(), &paint);
        FillRect(dc, &paint.rcPaint, GetSysColorBrush(GetFocus() == hwnd() ? COLOR_HIGHLIGHT : COLOR_BTNFACE));
        EndPaint(hwnd(), &paint);
        return 0;
    }
    }
    return defaultHandling(message, wParam, lParam);
}
