#pragma once
#include <string>

// The product version of a file's version resource as "A.B.C.D"; "0.0.0.0" when the file
// has no readable version. An empty name means the running executable.
std::wstring GetAppVersion(const std::wstring& FileName = {});
