#pragma once
// The version texts of the About box.
#include <cstdint>
#include <string>

// "A.B.C.D" from the fixed version record's two 32-bit halves (most significant first).
std::wstring VersionText(std::uint32_t mostSignificant, std::uint32_t leastSignificant);
// "Version A.B (Build A.B.C.D)" for a version text "A.B.C.D".
std::wstring AboutVersionLine(const std::wstring& version);
