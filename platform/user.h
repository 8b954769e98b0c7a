#pragma once
#include <string>

// The Windows name of the user running the process; empty when the platform cannot tell.
std::wstring currentUserName();

// Whether the process's access token holds the local Administrators group enabled for
// access (a deny-only membership does not count).
bool isUserAdministrator();
