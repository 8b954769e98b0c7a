#include "platform/broadcast.h"

#include <windows.h>

bool BroadcastPolicyChange()
{
    DWORD_PTR result = 0;
    return SendMessageTimeoutW(HWND_BROADCAST, WM_SETTINGCHANGE, 0, reinterpret_cast<LPARAM>(L"Policy"),
                               SMTO_ABORTIFHUNG, 2000, &result) != 0;
}
