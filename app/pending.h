#pragma once
// Edit > Pending changes: what the next save writes or removes, worked out from the same
// requests and plans the save carries out, against the registry as it is now.
#include <string>
#include <vector>

#include "app/appobjects.h"
#include "registry/registry.h"

struct PendingChange {
    std::wstring Name;     // the tweak's name, the applet's path or the application list's name
    std::wstring Caption;  // what the list shows for it
    RegRoot Root = 0;
    std::wstring KeyPath;
    std::wstring ValueName;  // as the registry names it; "" for the default value
    std::wstring Location;   // root and key, "HKEY_CURRENT_USER\Software\..."
    std::wstring Value;      // ValueNameText: "(Default)" for the unnamed value; "(key)" for a whole key
    std::wstring Now;        // the registry value now, "(not set)" when missing
    std::wstring After;      // what the save leaves there
};

// In the save's order: check-box tweaks, applets, application lists with their tweaks. A location that two
// entries of one tweak would write alike is listed once. ownExeName as the save's run-list
// step uses it.
std::vector<PendingChange> PendingChanges(const TAppObjectsList& entries, const std::wstring& ownExeName);
