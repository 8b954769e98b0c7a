#pragma once
// The main window TfrmQuillmark: maps the main window's model to its controls.
#include <memory>
#include <string>

#include "app/layout.h"
#include "app/mainmodel.h"
#include "platform/unique.h"
#include "ui/basewindow.h"
#include "ui/panel.h"
#include "ui/splitter.h"

inline const wchar_t* const MainWindowClass = L"TfrmQuillmark";
inline const wchar_t* const MainWindowTitle = L"Quillmark";

struct MainWindowOptions {
    // Where quillmark.dat lives, with its trailing separator; empty: beside the executable.
    // Only in-process tests set it: the product takes no command line.
    std::wstring dataFolder;
    // The product's window ends the message loop when it goes; a test's window does not.
    bool endsApplication = true;
    // The module whose menu, accelerators and APPSCHEME the window uses; null: the
    // executable. A test passes the product's executable mapped as a data file.
    HMODULE resources = nullptr;
};

class TfrmQuillmark : public BaseWindow {
public:
    explicit TfrmQuillmark(MainWindowOptions options = {});
    ~TfrmQuillmark() override;

    // Creates the window (start-up runs inside) and shows it where it was last closed.
    void Create(HINSTANCE instance, int showCommand);

    void SettingsChanged(int ObjectIndex);
    TMainModel& Model() { return *model_; }

    HWND trvCategories() const { return trvCategories_; }
    HWND lstRestrList() const { return lstRestrList_; }
    HWND lblInfo() const { return lblInfo_; }
    HWND pnlAdvanced() const { return pnlAdvanced_.hwnd(); }
    HWND pnlAdditionalOpt() const { return pnlAdditionalOpt_.hwnd(); }
    HACCEL Accelerators() const { return accelerators_.get(); }

protected:
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    void FormCreate();
    void FormDestroy();
    bool FormCloseQuery();
    void SaveSettings();
    void mnuSaveClick();
    void Website1Click();

    void OnCreate();
    void OnClose();
    void OnCommand(int id);
    void OnDpiChanged(const RECT& suggested);
    void OnGetMinMaxInfo(MINMAXINFO& info);
    void CreateControls();
    void ApplyFont();
    void Relayout();
    void PlaceInitially(int showCommand);
    void SavePlacement();
    int Dpi() const;

    MainWindowOptions options_;
    HINSTANCE instance_ = nullptr;
    std::unique_ptr<TMainModel> model_;
    MainLayoutModel layout_;
    Unique<HFONT, &DeleteObject> font_;
    Unique<HACCEL, &DestroyAcceleratorTable> accelerators_;

    Panel pnlCategories_, pnlRestrictions_, pnlAdvanced_, pnlDescription_, pnlAdditionalOpt_;
    Splitter categoriesSplitter_, optSplitter_;
    // Children of the panels above: destroyed with them.
    HWND trvCategories_ = nullptr;
    HWND lstRestrList_ = nullptr;
    HWND lblInfo_ = nullptr;
};

// The one main window of the process, for frames and dialogs that reach it.
extern TfrmQuillmark* frmQuillmark;

// Entry sequence after the common controls are set up: create the main window, run the
// message loop; the exit code of the loop.
int RunQuillmark(HINSTANCE instance, int showCommand);
