#pragma once
// The main window TfrmQuillmark: maps the main window's model to its controls.
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/layout.h"
#include "app/mainmodel.h"
#include "app/search.h"
#include "base/win/handles.h"
#include "ui/advertpanel.h"
#include "ui/basewindow.h"
#include "ui/frames/optionframe.h"
#include "ui/imagelists.h"
#include "ui/panel.h"
#include "ui/splitter.h"
#include "ui/userbar.h"

inline const wchar_t* const MainWindowClass = L"TfrmQuillmark";
inline const wchar_t* const MainWindowTitle = L"Quillmark";

struct MainWindowOptions {
    // Where quillmark.dat lives, with its trailing separator; empty: beside the executable.
    // Only in-process tests set it.
    std::wstring dataFolder;
    // The product's window ends the message loop when it goes; a test's window does not.
    bool endsApplication = true;
    // The module whose menu, accelerators and APPSCHEME the window uses; null: the
    // executable. A test passes the product's executable mapped as a data file.
    HMODULE resources = nullptr;
    // The administrator test of the category tree; null: the process's access token.
    std::function<bool()> isAdministrator;
    // Where File > Export writes: a .reg file (folder false) or the Registry.pol folder; none:
    // cancelled. Null: the system's file and folder dialogs. Only in-process tests set it.
    // The values of no tweak that File > Open profile found go to a .reg file through it too.
    std::function<std::optional<std::wstring>(bool folder)> chooseExportPath;
    // What File > Export puts in; none: cancelled. Null: the question asked in a task dialog.
    // Only in-process tests set it.
    std::function<std::optional<ExportContent>()> chooseExportContent;
    // The file File > Open profile reads; none: cancelled. Null: the system's file dialog.
    // Only in-process tests set it.
    std::function<std::optional<std::wstring>()> chooseProfilePath;
    // The command line's "/user <who>": the window starts on that user's restrictions.
    std::optional<std::wstring> startUser;
    // Whether the process is elevated; null: its access token. Tests answer no, which Wine
    // cannot.
    std::function<bool()> isElevated;
    // Starts Quillmark elevated with these parameters; false when declined. Null: the
    // system's elevation prompt.
    std::function<bool(const std::wstring& parameters)> restartElevated;
    // Shows the list's context menu and returns the command chosen (0: none). Null: the menu
    // tracked at the pointer or the focused row. Only in-process tests set it.
    std::function<int(HMENU menu)> trackContextMenu;
    // The command line's "/restarted": started by another copy's restart, which this one
    // waits for instead of ending at once. Only RunQuillmark reads it.
    bool restarted = false;
};

class TfrmQuillmark : public BaseWindow, public OptionFrameHost {
public:
    explicit TfrmQuillmark(MainWindowOptions options = {});
    ~TfrmQuillmark() override;

    // Creates the window (start-up runs inside) and shows it where it was last closed.
    void Create(HINSTANCE instance, int showCommand);

    // What the option frames reach: their entry, and the report of a change.
    TRestrListRec& Entry(int ObjectIndex) override { return model_->FAppObjectsList[ObjectIndex]; }
    void OnSettingsChanged(int ObjectIndex) override;
    TMainModel& Model() { return *model_; }
    TOptionFrame* FLastFrame() const { return FLastFrame_.get(); }

    HWND trvCategories() const { return trvCategories_; }
    HWND lstRestrList() const { return lstRestrList_; }
    HWND lblInfo() const { return lblInfo_; }
    HWND lblSupported() const { return lblSupported_; }
    HWND edtSearch() const { return edtSearch_; }
    HWND edtLocation() const { return edtLocation_; }
    HWND stbStatus() const { return stbStatus_; }
    HWND cmbUser() const { return userBar_.cmbUser(); }
    HWND lblElevation() const { return userBar_.lblElevation(); }
    HWND btnRestart() const { return userBar_.btnRestart(); }
    HWND pnlAdvanced() const { return pnlAdvanced_.hwnd(); }
    HWND pnlAdditionalOpt() const { return pnlAdditionalOpt_.hwnd(); }
    HWND lnkProduct(int which) const { return pnlAdvanced_.link(which); }  // 1 and 2
    HACCEL Accelerators() const { return accelerators_.get(); }
    HIMAGELIST img16() const { return img16_.get(); }
    HIMAGELIST img32() const { return img32_.get(); }
    HIMAGELIST AppImageList() const { return AppImageList_.get(); }
    // False when the start-up password was wrong or cancelled (or the settings file could not
    // be read): no window was made; or when the window went for an elevated copy.
    bool Started() const { return !passwordRefused_ && !restarting_; }

    // The keyboard handling of the message loop: accelerators, then Tab between the
    // controls and the access keys. True when the message was handled.
    bool TranslateKeyboard(MSG& msg);

protected:
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    // Start-up after the controls exist: the model's FormCreate, the tree, the password gate.
    // Opens the settings store and asks for its password; false ends the application.
    bool PassGate();
    std::wstring dataFolder() const;
    void RunStartup();
    bool CanClose();
    AskSaveHook AskSave();
    void SaveAndBroadcast();

    // Whose restrictions: the chooser, the title, the line without administrator rights.
    void LoadUserChoices();
    void ShowEditedUser();
    void ShowElevationLine();
    void OnUserChosen();
    void ChooseUser(const UserProfile& user);
    void StartOnUser(const std::wstring& argument);
    void OnChooseUserMenu();
    void OnRestartAsAdministrator();
    bool RestartAsAdministrator(const UserProfile& user);
    void ApplyMenuShield();

    // Menu commands.
    void OnSave();
    void OnWebsite();
    void OnUndoAll();
    void OnAdminPassword();
    void OnAbout();
    void OnFind();
    void OnPendingChanges();
    void OnExport(bool policyFiles);
    void OnHideWithoutEffect();
    void OnOpenProfile();
    void OnRemoveFromRegistry();
    void UpdateRemoveItem(HMENU menu);
    void OnListContextMenu(POINT at);
    std::optional<std::wstring> SelectedItemName() const;
    // The rows' check marks, images and state column from the entries, in place.
    void RefreshRows();
    std::optional<std::wstring> ChooseExportPath(bool folder);
    std::optional<ExportContent> ChooseExportContent();

    // The tree and what the list shows.
    void BuildCategoryTree();
    void AddGroupNodes(const std::vector<CategoryNode>& nodes, HTREEITEM parent);
    void OnTreeSelChanged(const NMTREEVIEWW& change);
    void ShowGroupView(GroupView view);
    void ShowSelectedGroup();
    void ShowCurrentList();  // the search's rows while the box holds text, else the tree's group
    void OnSearchChanged();
    void FillList(std::vector<ListItemView> items, const std::vector<std::wstring>* groups, bool checkBoxes,
                  const std::wstring& description, const std::wstring& supported, const FrameRequest& frame);
    void ShowDescription(const std::wstring& description, const std::wstring& supported);
    void FitInfoScrollBar();
    void ShowLocation(const std::wstring& itemName);
    void PlaceLocation();
    static LRESULT CALLBACK SearchProc(HWND edit, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                       DWORD_PTR self);
    void OnListItemChanged(const NMLISTVIEW& change);
    void OnListDblClick();
    LRESULT OnListCustomDraw(NMLVCUSTOMDRAW& draw);
    void OnListMouseDown(POINT at);
    void BuildOptionFrame(const FrameRequest& request);
    void ApplyFrameEnabling(std::optional<bool> enabled);
    static LRESULT CALLBACK ListProc(HWND list, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                     DWORD_PTR self);

    void OnCreate();
    void OnClose();
    void OnDestroy();
    void OnCommand(int id, int code);
    LRESULT OnNotify(const NMHDR& header);
    void OnDpiChanged(const RECT& suggested);
    void OnGetMinMaxInfo(MINMAXINFO& info);
    void CreateControls();
    void ApplyFont();
    void ApplyImages();
    void Relayout();
    MainLayout CurrentLayout() const;
    void PlaceInitially(int showCommand);
    void SavePlacement();
    int Dpi() const;
    HMODULE resources() const;  // menu, accelerators, scheme, images, dialogs

    MainWindowOptions options_;
    HINSTANCE instance_ = nullptr;
    std::unique_ptr<TMainModel> model_;
    MainLayoutModel layout_;
    // Off until the window has its first size and place: the controls are laid out once, at
    // the size they are first shown at.
    bool layoutReady_ = false;
    SIZE laidOutSize_{-1, -1};  // the client size of the last layout
    UniqueGdi<HFONT> font_;
    UniqueIcon bigIcon_, smallIcon_;
    UniqueImageList img16_, img32_, AppImageList_;
    UniqueAccelerators accelerators_;

    UserBar userBar_;
    std::vector<UserChoice> userChoices_;  // what the chooser lists, in its order
    UniqueGdi<HBITMAP> shieldBitmap_;      // File > Restart as administrator
    Panel pnlCategories_, pnlRestrictions_, pnlDescription_, pnlAdditionalOpt_;
    AdvertisingPanel pnlAdvanced_;
    Splitter categoriesSplitter_, optSplitter_;
    // Children of the panels above: destroyed with them.
    HWND trvCategories_ = nullptr;
    HWND lstRestrList_ = nullptr;
    HWND lblInfo_ = nullptr;
    HWND lblSupported_ = nullptr;
    HWND edtSearch_ = nullptr;
    HWND edtLocation_ = nullptr;
    HWND stbStatus_ = nullptr;

    // What the list shows now: its items in list order (an item's data is its index here).
    bool FListLoading = false;
    ListViewStyle listView_ = ListViewStyle::Report;
    ImageListKind smallImages_ = ImageListKind::Img16;
    std::vector<ListItemView> listItems_;
    std::wstring lastExportFolder_;  // where the file dialogs of File > Export open next
    bool searching_ = false;  // the list shows the search's rows, with a group column
    std::unique_ptr<TOptionFrame> FLastFrame_;  // the one option frame shown, if any
    bool passwordRefused_ = false;
    bool starting_ = false;    // inside RunStartup, where the window cannot go yet
    bool restarting_ = false;  // an elevated copy took over during start-up
    UINT instanceMessage_ = 0;  // another start on this settings folder asks this copy to the front
};

// The one main window of the process, for frames and dialogs that reach it.
extern TfrmQuillmark* frmQuillmark;

// Entry sequence after the common controls are set up: create the main window, run the
// message loop; the exit code of the loop.
int RunQuillmark(HINSTANCE instance, int showCommand, MainWindowOptions options = {});
