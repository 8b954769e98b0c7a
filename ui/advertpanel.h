#pragma once
// The advertising panel shown for a group without tweaks: two companion products, each a
// link that opens its web page, above a few lines about it. It draws its own links and
// places its own controls, and scrolls them when the panel is shorter than they are.
#include "base/win/handles.h"
#include "ui/panel.h"

class AdvertisingPanel : public Panel {
public:
    // Hidden at first; the texts take the parent's font once ApplyFont is called.
    void create(HWND parent, int id, HINSTANCE instance);
    // The font for its texts; the links' font is built here at the panel's DPI.
    void ApplyFont(HFONT textFont);
    HWND link(int which) const;  // 1 or 2

protected:
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    void Layout();
    // Scrolls by delta pixels, within the texts' height; the scroll bar shows only while the
    // texts are taller than the panel.
    void ScrollBy(int delta);
    void ScrollIntoView(HWND control);
    void OnVScroll(int request);
    int LineStep() const;   // one line of the scroll bar's arrows and the wheel
    int MaxScroll() const;  // the texts' height beyond the panel's
    void DrawLink(const DRAWITEMSTRUCT& item);

    HFONT textFont_ = nullptr;
    UniqueGdi<HFONT> linkFont_;
    int scroll_ = 0;         // pixels of the texts above the panel's top
    int contentHeight_ = 0;  // the texts' height with their margins
    bool laying_ = false;
};
