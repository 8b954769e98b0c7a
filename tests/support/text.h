#pragma once
// Texts for tests that the compiler's literals cannot give directly.
#include <cstddef>
#include <string>

namespace testsupport {

// A literal with its embedded nulls, without the terminator the compiler adds: the
// double-null lists of drives and of the open dialog's selection.
template <std::size_t N>
std::wstring withNulls(const wchar_t (&text)[N]) {
    return std::wstring(text, N - 1);
}

}  // namespace testsupport
