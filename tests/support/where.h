#pragma once
// Test helpers report a failure at the line of the test that called them, as Wine's
// conformance tests do with ok_(__FILE__, __LINE__): each takes the caller's place as its
// last parameter, filled in by default.
#include <doctest/doctest.h>

#include <source_location>
#include <string>

namespace testsupport {

using Where = std::source_location;

// Ends the test case, at the caller's line, when the condition does not hold.
inline void require(bool condition, const std::string& what, const Where& where) {
    if (!condition) DOCTEST_ADD_FAIL_AT(where.file_name(), static_cast<int>(where.line()), what);
}

// Counts a failure at the caller's line and goes on.
inline void check(bool condition, const std::string& what, const Where& where) {
    if (!condition) DOCTEST_ADD_FAIL_CHECK_AT(where.file_name(), static_cast<int>(where.line()), what);
}

}  // namespace testsupport
