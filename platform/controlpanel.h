#pragma once
// The shell's Control Panel folder: its items with their names, paths and small icons.
#include <windows.h>

#include <commctrl.h>

#include <vector>

#include "base/win/handles.h"
#include "registry/cpapplets.h"

struct ControlPanelApplet {
    ControlPanelItem Item;  // ImageIndex not yet set
    UniqueIcon Icon;        // the 16-pixel icon as the shell shows it; null when none
};

// Every item of the Control Panel folder, folders and non-folders, in the shell's order.
// Empty when the shell cannot give the folder. Without icons (a command has no window to
// show them) the shell reads no applet files for them, which is most of the time taken.
std::vector<ControlPanelApplet> EnumerateControlPanel(bool withIcons = true);

// The platform side of LoadCPApplets. Does nothing while AppImageList holds any image;
// otherwise puts copies of img16's off and on images (2 and 21) in it, then one icon per
// applet, and returns the applets with the indexes of their icons (0 for an applet without
// one).
std::vector<ControlPanelItem> LoadCPApplets(HIMAGELIST AppImageList, HIMAGELIST img16);
