#include <windows.h>

#include <commctrl.h>

#include "base/win/phasetimes.h"
#include "ui/mainwindow.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand)
{
    markPhase("wWinMain");
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES | ICC_TREEVIEW_CLASSES | ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&controls);
    return RunQuillmark(instance, showCommand);
}
