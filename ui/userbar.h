#pragma once
// The row above the panes: whose restrictions are shown, as a drop-down list of the
// computer's users, and, while Quillmark runs without administrator rights, one line that
// says so beside a button that restarts it elevated. The controls are children of the main
// window, whose command handler receives their notifications.
#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "app/layout.h"
#include "app/userchoice.h"

class UserBar {
public:
    void create(HWND parent, HINSTANCE instance);

    // The list's items; `selected` is shown in the closed list.
    void ShowChoices(const std::vector<UserChoice>& choices, int selected);
    // The line that says the process is not elevated; none hides it with its button.
    void ShowElevationNote(const std::optional<std::wstring>& text);
    bool ElevationLineShown() const { return elevationLine_; }

    void Place(const MainLayout& l);
    HWND cmbUser() const { return cmbUser_; }
    HWND lblElevation() const { return lblElevation_; }
    HWND btnRestart() const { return btnRestart_; }
    int Selected() const;
    bool DroppedDown() const;

private:
    HWND lblUser_ = nullptr, cmbUser_ = nullptr, lblElevation_ = nullptr, btnRestart_ = nullptr;
    bool elevationLine_ = false;
};
