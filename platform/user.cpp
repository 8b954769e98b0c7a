#include "platform/user.h"

#include <windows.h>

std::wstring currentUserName()
{
    wchar_t buffer[257];  // a user name has at most 256 characters
    DWORD size = static_cast<DWORD>(std::size(buffer));
    if (!GetUserNameW(buffer, &size) || size == 0) return {};
    return std::wstring(buffer, size - 1);
}
