#pragma once
// Edit > Pending changes: one row per location the next save writes, or a line saying there
// is nothing to save.
#include <windows.h>

#include <vector>

#include "app/pending.h"

void ShowPendingChanges(HMODULE resources, HWND owner, const std::vector<PendingChange>& rows);
