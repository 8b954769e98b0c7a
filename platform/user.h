#pragma once
#include <string>

// The Windows name of the user running the process; empty when the platform cannot tell.
std::wstring currentUserName();
