#pragma once
// The option frames: small editors of a tweak's value shown in pnlAdditionalOpt. Each is a
// child window that fills its parent and follows its size, bound to one entry by SetValue.
#include <windows.h>

#include <memory>

#include "app/appobjects.h"
#include "app/framehost.h"
#include "base/win/handles.h"
#include "ui/basewindow.h"

// What a frame needs from the window that shows it.
class OptionFrameHost {
public:
    // The entry at an index of FAppObjectsList; it outlives the frame.
    virtual TRestrListRec& Entry(int ObjectIndex) = 0;
    // The frame changed its entry or the store; the window hands it to the model's
    // SettingsChanged.
    virtual void OnSettingsChanged(int ObjectIndex) = 0;

protected:
    ~OptionFrameHost() = default;
};

class TOptionFrame : public BaseWindow {
public:
    ~TOptionFrame() override;

    // Binds the frame to entry ObjectIndex and loads its controls; never reports a change.
    virtual void SetValue(int ObjectIndex) = 0;
    virtual void SetEnabled(bool aEnabled) = 0;

    bool fLoading = false;
    int FObjectIndex = -1;

protected:
    friend std::unique_ptr<TOptionFrame> CreateOptionFrame(FrameKind, HWND, OptionFrameHost&, int);
    explicit TOptionFrame(OptionFrameHost& host) : host_(host) {}
    // Creates the frame's window, hidden, as a child of parent; the derived constructor calls
    // it first and then adds its controls.
    void CreateFrame(HWND parent);
    // Sizes the frame to its parent and shows it.
    void Place();

    HWND AddControl(const wchar_t* className, const wchar_t* text, DWORD style, int id, DWORD exStyle = 0);
    // 96-DPI pixels at the frame's DPI.
    int Scale(int pixels) const;
    TRestrListRec& Entry() { return host_.Entry(FObjectIndex); }

    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    virtual void Layout(int width, int height) = 0;
    virtual void OnCommand(int /*id*/, int /*code*/) {}
    virtual LRESULT OnNotify(const NMHDR& /*header*/) { return 0; }
    // The colour of a static control's text; CLR_INVALID for the system's.
    virtual COLORREF TextColor(HWND /*control*/) const { return CLR_INVALID; }

    OptionFrameHost& host_;

private:
    static LRESULT CALLBACK FollowParent(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                         DWORD_PTR data);
    HWND parent_ = nullptr;
    int dpi_ = 96;
    UniqueGdi<HFONT> font_;
};

// ShowOptionFrame's steps 2 to 5 for one request: builds the frame of `kind` in parent,
// binds it to BindIndex when that is 0 or more, then places it. Null for FrameKind::None.
std::unique_ptr<TOptionFrame> CreateOptionFrame(FrameKind kind, HWND parent, OptionFrameHost& host, int BindIndex);
