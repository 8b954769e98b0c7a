#pragma once
// One C++ object per window: the object is stored at WM_NCCREATE and every message goes to
// its HandleMessage. The object owns its window and destroys it with itself.
#include <windows.h>

#include <string>

class BaseWindow {
public:
    BaseWindow() = default;
    virtual ~BaseWindow();
    BaseWindow(const BaseWindow&) = delete;
    BaseWindow& operator=(const BaseWindow&) = delete;

    HWND hwnd() const { return hwnd_; }

protected:
    // The class must have been registered with WindowProc (registerClass).
    void createWindow(DWORD exStyle, const wchar_t* className, const wchar_t* title, DWORD style, HWND parent,
                      HMENU menuOrId, HINSTANCE instance);
    virtual LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) = 0;
    LRESULT defaultHandling(UINT message, WPARAM wParam, LPARAM lParam)
    {
        return DefWindowProcW(hwnd_, message, wParam, lParam);
    }
    static void registerClass(HINSTANCE instance, const wchar_t* className, HCURSOR cursor, HBRUSH background,
                              const wchar_t* menuName = nullptr);

private:
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    HWND hwnd_ = nullptr;
};

// The application's standard error box, owned by the top-level window of `hwnd`.
void showErrorBox(HWND hwnd, const std::wstring& text);
