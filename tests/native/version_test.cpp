#include <doctest/doctest.h>

#include "app/version.h"

TEST_CASE("The version text takes the four 16-bit parts, most significant first") {
    CHECK(VersionText(0x00010002, 0x00010001) == L"1.2.1.1");
    CHECK(VersionText(0, 0) == L"0.0.0.0");
    CHECK(VersionText(0xFFFF000A, 0x00C8FFFF) == L"65535.10.200.65535");
}

TEST_CASE("The About line shows the major and minor version and the whole build") {
    CHECK(AboutVersionLine(L"1.2.1.1") == L"Version 1.2 (Build 1.2.1.1)");
    CHECK(AboutVersionLine(L"0.0.0.0") == L"Version 0.0 (Build 0.0.0.0)");
    CHECK(AboutVersionLine(L"10.20.30.40") == L"Version 10.20 (Build 10.20.30.40)");
}
