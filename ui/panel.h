#pragma once
// A plain container. Notifications of the controls inside go on to its parent, so that the
// main window handles all of them wherever a control sits.
#include "ui/basewindow.h"

class Panel : public BaseWindow {
public:
    void create(HWND parent, int id, HINSTANCE instance, bool visible = true);

protected:
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
};
