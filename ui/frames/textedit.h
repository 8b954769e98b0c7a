#pragma once
// The text value frames: a text, a folder path or a file path, edited into the entry's cValue.
#include <windows.h>

#include <shellapi.h>

#include "ui/frames/optionframe.h"

// The three frames share their layout and behaviour and differ in title and browse button.
class TframeTextEdit : public TOptionFrame {
public:
    enum class Browse { None, Folder, File };

    void SetValue(int ObjectIndex) override;
    void SetEnabled(bool aEnabled) override;

    HWND lblTitle() const { return lblTitle_; }
    HWND edit() const { return edit_; }
    HWND btnClear() const { return btnClear_; }
    HWND btnBrowse() const { return btnBrowse_; }  // null for the plain text frame

    enum ControlId { IdTitle = 100, IdEdit, IdBrowse, IdClear };

protected:
    TframeTextEdit(HWND parent, OptionFrameHost& host, const wchar_t* title, Browse browse);
    ~TframeTextEdit() override;

    void Layout(int width, int height) override;
    void OnCommand(int id, int code) override;
    COLORREF TextColor(HWND control) const override;

private:
    void edtChange();
    void btnClearClick();
    void btnBrowseClick();
    void BrowseFolder();
    void BrowseFile();
    void TakeDroppedFile(HDROP drop);
    std::wstring EditText() const;
    static LRESULT CALLBACK EditProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                     DWORD_PTR data);

    Browse browse_;
    HWND lblTitle_ = nullptr, edit_ = nullptr, btnBrowse_ = nullptr, btnClear_ = nullptr;
    UniqueIcon clearIcon_;
};

class TframeStringEdit : public TframeTextEdit {
public:
    TframeStringEdit(HWND parent, OptionFrameHost& host);
    HWND edtString() const { return edit(); }
};

class TframeDirEdit : public TframeTextEdit {
public:
    TframeDirEdit(HWND parent, OptionFrameHost& host);
    HWND edtDirEdit() const { return edit(); }
};

class TframeFileEdit : public TframeTextEdit {
public:
    TframeFileEdit(HWND parent, OptionFrameHost& host);
    HWND edtFileEdit() const { return edit(); }
};
