#include "ui/basewindow.h"

#include <string>

#include "base/win/win32_error.h"

BaseWindow::~BaseWindow()
{
    if (!hwnd_) return;
    // The derived object is gone: its window ends without reaching it.
    SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
    DestroyWindow(hwnd_);
}

void BaseWindow::registerClass(HINSTANCE instance, const wchar_t* className, HCURSOR cursor, HBRUSH background,
                               const wchar_t* menuName)
{
    WNDCLASSEXW wc{};
    if (GetClassInfoExW(instance, className, &wc)) return;
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = instance;
    wc.hCursor = cursor;
    wc.hbrBackground = background;
    wc.lpszClassName = className;
    wc.lpszMenuName = menuName;  // a class menu is loaded and freed with each window
    if (!RegisterClassExW(&wc)) throwLastError("RegisterClassExW");
}

void BaseWindow::createWindow(DWORD exStyle, const wchar_t* className, const wchar_t* title, DWORD style,
                              HWND parent, HMENU menuOrId, HINSTANCE instance)
{
    const bool child = (style & WS_CHILD) != 0;
    const int position = child ? 0 : CW_USEDEFAULT;
    if (!CreateWindowExW(exStyle, className, title, style, position, position, child ? 0 : CW_USEDEFAULT,
                         child ? 0 : CW_USEDEFAULT, parent, menuOrId, instance, this))
        throwLastError("CreateWindowExW");
}

LRESULT CALLBACK BaseWindow::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    BaseWindow* self = nullptr;
    if (message == WM_NCCREATE) {
        self = static_cast<BaseWindow*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        self->hwnd_ = hwnd;
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    } else {
        self = reinterpret_cast<BaseWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    }
    if (!self) return DefWindowProcW(hwnd, message, wParam, lParam);

    LRESULT result = 0;
    try {
        result = self->HandleMessage(message, wParam, lParam);
    } catch (const std::exception& error) {
        // No exception may cross the system's code: it ends here in the error box.
        showErrorBox(hwnd, errorText(error));
    }
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        self->hwnd_ = nullptr;
    }
    return result;
}

void showErrorBox(HWND hwnd, const std::wstring& text)
{
    const HWND owner = hwnd ? GetAncestor(hwnd, GA_ROOT) : nullptr;
    MessageBoxW(owner, text.c_str(), L"Quillmark", MB_OK | MB_ICONERROR);
}
