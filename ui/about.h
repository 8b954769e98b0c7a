#pragma once
// TfrmAbout: the product name, the version line and a link to the product's web page.
#include <windows.h>

#include <string>

#include "base/win/handles.h"

inline const wchar_t* const ProductWebPage = L"https://quillmark.example.com/";

class TfrmAbout {
public:
    // versionFile: whose version resource the line shows; empty for the running executable.
    TfrmAbout(HMODULE resources, std::wstring versionFile = {});
    // Shows the box modally, centred on the owner; every call builds a new one.
    INT_PTR ShowModal(HWND owner);

private:
    static INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK LinkProc(HWND link, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                     DWORD_PTR self);
    void FormCreate(HWND dialog);
    INT_PTR OnCtlColorStatic(HDC dc, HWND control);
    void lblWebSiteClick();

    HMODULE resources_;
    std::wstring versionFile_;
    HWND dialog_ = nullptr;
    bool linkHot_ = false;
    UniqueGdi<HFONT> titleFont_, linkFont_;
};

// Help > About ...
void About1Click(HMODULE resources, HWND owner);

// The product version of a file's version resource as "A.B.C.D"; "0.0.0.0" when the file
// has no readable version. An empty name means the running executable.
std::wstring GetAppVersion(const std::wstring& FileName = {});
