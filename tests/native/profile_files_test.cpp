// The .reg and Registry.pol readers: every form regedit and Group Policy write, read back
// from what the writers write, and damaged files named by line or byte offset.
#include <doctest/doctest.h>

#include <string>
#include <vector>

#include "profile/polfile.h"
#include "profile/regfile.h"
#include "tests/native/registry_fixture.h"

using regtest::dword;
using regtest::sz;
using regtest::utf16;

namespace {

using Removal = ProfileKey::Removal;

std::vector<std::uint8_t> utf16File(const std::wstring& text) {
    std::vector<std::uint8_t> bytes{0xFF, 0xFE};
    const std::vector<std::uint8_t> units = utf16(text, false);
    bytes.insert(bytes.end(), units.begin(), units.end());
    return bytes;
}

std::vector<std::uint8_t> ansiFile(const std::string& text) { return {text.begin(), text.end()}; }

ProfileKey key(RegRoot root, const std::wstring& path, std::vector<ProfileValue> values,
               Removal remove = Removal::None, bool recreate = true) {
    return {root, path, remove, recreate, std::move(values)};
}

RegValue typed(RegType type, std::vector<std::uint8_t> data) { return {type, std::move(data)}; }

std::wstring errorOf(const std::vector<std::uint8_t>& bytes, RegRoot policyRoot = 0) {
    try {
        if (policyRoot)
            ReadPolicyFile(bytes, policyRoot);
        else
            ReadRegFile(bytes);
    } catch (const ProfileError& e) {
        return e.message();
    }
    return L"(read without an error)";
}

}  // namespace

TEST_CASE("reg reader: every form of version 5, UTF-16LE behind its mark") {
    const std::wstring text =
        L"Windows Registry Editor Version 5.00\r\n"
        L"\r\n"
        L"; a comment line\r\n"
        L"[HKEY_CURRENT_USER\\Software\\Test]\r\n"
        L"\"Flag\"=dword:0000000a\r\n"
        L"\"Quoted \\\"name\\\"\"=\"C:\\\\dir \\\"x\\\"\"\r\n"
        L"@=\"default\"\r\n"
        L"  \"Spaced\" = dword:1  ; a comment after the data\r\n"
        L"\"Binary\"=hex:01,02,ff\r\n"
        L"\"Expand\"=hex(2):25,00,41,00,00,00\r\n"
        L"\"Multi\"=hex(7):61,00,00,00,\\\r\n"
        L"  62,00,00,00,\\\r\n"
        L"  00,00\r\n"
        L"\"Qword\"=hex(b):05,00,00,00,01,00,00,00\r\n"
        L"\"Gone\"=-\r\n"
        L"\"Lines\"=\"a\\nb\\tc\"\r\n"
        L"\r\n"
        L"[-HKEY_LOCAL_MACHINE\\Software\\Old]\r\n"
        L"\r\n"
        L"[-HKCU\\Software\\Anew]\r\n"
        L"[HKCU\\Software\\Anew]\r\n"
        L"\"0\"=\"x.exe\"\r\n"
        L"[hkey_classes_root\\mailto\\shell\\open\\command\\]\r\n"
        L"@=\"mail.exe\"\r\n";
    const std::vector<ProfileKey> expected = {
        key(kHkeyCurrentUser, L"Software\\Test",
            {{L"Flag", dword(10)},
             {L"Quoted \"name\"", sz(L"C:\\dir \"x\"")},
             {L"", sz(L"default")},
             {L"Spaced", dword(1)},
             {L"Binary", typed(kRegBinary, {1, 2, 0xff})},
             {L"Expand", typed(kRegExpandSz, utf16(L"%A"))},
             {L"Multi", typed(kRegMultiSz, {0x61, 0, 0, 0, 0x62, 0, 0, 0, 0, 0})},
             {L"Qword", typed(kRegQword, {5, 0, 0, 0, 1, 0, 0, 0})},
             {L"Gone", std::nullopt},
             {L"Lines", sz(L"a\nb\\tc")}}),
        key(kHkeyLocalMachine, L"Software\\Old", {}, Removal::Tree, false),
        key(kHkeyCurrentUser, L"Software\\Anew", {{L"0", sz(L"x.exe")}}, Removal::Tree, true),
        key(kHkeyClassesRoot, L"mailto\\shell\\open\\command", {{L"", sz(L"mail.exe")}}),
    };
    CHECK(ReadRegFile(utf16File(text)) == expected);
    // Line ends of any kind, and a file that lost its mark, read the same.
    std::wstring lf = text;
    for (std::size_t at; (at = lf.find(L"\r\n")) != std::wstring::npos;) lf.erase(at, 1);
    CHECK(ReadRegFile(utf16File(lf)) == expected);
    CHECK(ReadRegFile(utf16(text, false)) == expected);
}

TEST_CASE("reg reader: REGEDIT4 in the ANSI code page, its hex text data converted to UTF-16") {
    const std::string text =
        "REGEDIT4\r\n"
        "\r\n"
        "[HKEY_CURRENT_USER\\Software\\Test]\r\n"
        "\"Caf\xe9\"=\"cr\xe8me\"\r\n"
        "\"Path\"=hex(2):25,41,00\r\n"
        "\"Raw\"=hex:e9\r\n";
    CHECK(ReadRegFile(ansiFile(text)) ==
          std::vector<ProfileKey>{key(kHkeyCurrentUser, L"Software\\Test",
                                      {{L"Caf\u00e9", sz(L"cr\u00e8me")},
                                       {L"Path", typed(kRegExpandSz, utf16(L"%A"))},
                                       {L"Raw", typed(kRegBinary, {0xe9})}})});
}

TEST_CASE("reg writer and reader: what one writes the other reads back") {
    const std::vector<ProfileKey> keys = {
        key(kHkeyLocalMachine, L"Software\\Q", {{L"a\"b\\c", dword(0xfffffffe)}, {L"", sz(L"x\ny")}}),
        key(kHkeyCurrentUser, L"Software\\Q\\List", {{L"0", sz(L"a.exe")}}, Removal::Tree, true),
        key(kHkeyCurrentUser, L"Software\\Gone", {}, Removal::Tree, false),
        key(kHkeyCurrentUser, L"Software\\Q",
            {{L"Removed", std::nullopt},
             {L"Bin", typed(kRegBinary, {})},
             {L"Q", typed(kRegQword, {1, 2, 3, 4, 5, 6, 7, 8})},
             {L"Unterminated", typed(kRegSz, {0x41, 0})}}),
    };
    CHECK(ReadRegFile(RegFileBytes(RegFileText(keys, {L"a comment"}))) == keys);
}

TEST_CASE("reg reader: a damaged file is refused with the line that shows it") {
    const std::wstring header = L"Windows Registry Editor Version 5.00\r\n\r\n";
    const std::wstring keyLine = L"[HKEY_CURRENT_USER\\Software\\Test]\r\n";
    const struct {
        const char* what;
        std::wstring text;
        std::wstring error;
    } cases[] = {
        {"no header", L"[HKEY_CURRENT_USER\\Software\\Test]\r\n", L"line 1: not a registry file"},
        {"another header", L"Windows Registry Editor Version 6.00\r\n", L"line 1: not a registry file"},
        {"empty file", L"", L"line 1: not a registry file"},
        {"value before any key", header + L"\"a\"=dword:1\r\n", L"line 3: a value outside of any key"},
        {"value after a removed key", header + L"[-HKCU\\Software\\X]\r\n\"a\"=dword:1\r\n",
         L"line 4: a value outside of any key"},
        {"unknown root", header + L"[HKEY_NOWHERE\\Software]\r\n", L"line 3: \"HKEY_NOWHERE\" is not a registry root"},
        {"key without bracket", header + L"[HKEY_CURRENT_USER\\Software\r\n", L"line 3: the key has no closing bracket"},
        {"dword too long", header + keyLine + L"\"a\"=dword:123456789\r\n", L"line 4: dword: needs one to eight"},
        {"dword not hex", header + keyLine + L"\"a\"=dword:xyz\r\n", L"line 4: dword: needs one to eight"},
        {"text not closed", header + keyLine + L"\"a\"=\"open\r\n", L"line 4: the text has no closing quote"},
        {"name not closed", header + keyLine + L"\"a=dword:1\r\n", L"line 4: the value name has no closing quote"},
        {"no equals sign", header + keyLine + L"\"a\" dword:1\r\n", L"line 4: \"=\" expected"},
        {"unknown data", header + keyLine + L"\"a\"=word:1\r\n", L"line 4: the data \"word:1\" is none of"},
        {"text after data", header + keyLine + L"\"a\"=\"x\" y\r\n", L"line 4: text after the value's data"},
        {"bad byte", header + keyLine + L"\"a\"=hex:01,0g\r\n", L"line 4: \"0g\" is not a byte"},
        {"bad byte on a continued line", header + keyLine + L"\"a\"=hex:01,\\\r\n  02,,03\r\n",
         L"line 5: \"\" is not a byte"},
        {"hex type not closed", header + keyLine + L"\"a\"=hex(2:00\r\n", L"line 4: hex(n): needs"},
        {"truncated inside continued data", header + keyLine + L"\"a\"=hex:01,\\\r\n  02,\\",
         L"line 5: the file ends inside the value that begins at line 4"},
        {"stray line", header + keyLine + L"garbage\r\n", L"line 4: neither a key in brackets nor a value"},
    };
    for (const auto& c : cases) {
        CAPTURE(std::string(c.what));
        const std::wstring error = errorOf(utf16File(c.text));
        CHECK_MESSAGE(error.rfind(c.error, 0) == 0, std::string(error.begin(), error.end()));
    }
    SUBCASE("bytes that are no text") {
        std::vector<std::uint8_t> odd = utf16File(header + keyLine);
        odd.push_back('x');
        CHECK(errorOf(odd) == L"byte offset " + std::to_wstring(odd.size() - 1) +
                                  L": the file ends in the middle of a character");
        std::vector<std::uint8_t> nul = utf16File(header + keyLine + L"\"a\"=dword:1\r\n");
        nul[10] = nul[11] = 0;
        CHECK(errorOf(nul) == L"byte offset 10: a NUL character: the file is damaged");
    }
}

TEST_CASE("pol writer and reader: removals, every data type, the key's own creation record") {
    const std::vector<ProfileKey> keys = {
        key(kHkeyCurrentUser, L"Software\\Policies\\A", {{L"Flag", dword(1)}, {L"Gone", std::nullopt}}),
        key(kHkeyCurrentUser, L"Software\\Policies\\List", {{L"0", sz(L"x.exe")}}, Removal::Values, true),
        key(kHkeyCurrentUser, L"Software\\Policies\\Emptied", {}, Removal::Values, true),
        key(kHkeyCurrentUser, L"Software\\Policies\\A",
            {{L"", sz(L"default")}, {L"Bin", typed(kRegBinary, {9, 8})}, {L"Multi", typed(kRegMultiSz, utf16(L"a"))}}),
    };
    CHECK(ReadPolicyFile(PolicyFileBytes(keys, kHkeyCurrentUser), kHkeyCurrentUser) == keys);
    // A file holds one root: the other root's keys are not in it, and the reader gives its
    // keys the root of the part it was read as.
    const std::vector<std::uint8_t> machine = PolicyFileBytes(keys, kHkeyLocalMachine);
    CHECK(ReadPolicyFile(machine, kHkeyLocalMachine).empty());
    CHECK(ReadPolicyFile(PolicyFileBytes(keys, kHkeyCurrentUser), kHkeyLocalMachine)[0].Root == kHkeyLocalMachine);

    // The policy editor's record that only creates a key, and a removal in any case.
    std::vector<std::uint8_t> bytes = PolicyFileBytes({}, kHkeyCurrentUser);
    auto unit = [&](char16_t c) { bytes.insert(bytes.end(), {static_cast<std::uint8_t>(c), static_cast<std::uint8_t>(c >> 8)}); };
    auto text = [&](const std::u16string& s) { for (char16_t c : s) unit(c); unit(0); };
    auto dwordBytes = [&](std::uint32_t n) { for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<std::uint8_t>(n >> (8 * i))); };
    unit(u'['); text(u"Software\\K"); unit(u';'); text(u""); unit(u';'); dwordBytes(kRegNone); unit(u';'); dwordBytes(0); unit(u';'); unit(u']');
    unit(u'['); text(u"Software\\K"); unit(u';'); text(u"**DEL.Name"); unit(u';'); dwordBytes(kRegSz); unit(u';'); dwordBytes(4); unit(u';');
    unit(u' '); unit(0); unit(u']');
    CHECK(ReadPolicyFile(bytes, kHkeyCurrentUser) ==
          std::vector<ProfileKey>{key(kHkeyCurrentUser, L"Software\\K", {{L"Name", std::nullopt}})});
}

TEST_CASE("pol reader: a damaged file is refused with the byte offset that shows it") {
    const std::vector<std::uint8_t> good =
        PolicyFileBytes({key(kHkeyLocalMachine, L"Software\\P", {{L"Flag", dword(1)}})}, kHkeyLocalMachine);
    const std::size_t record = 8;  // after the header
    auto with = [&](std::size_t at, std::uint8_t byte) {
        std::vector<std::uint8_t> bytes = good;
        bytes[at] = byte;
        return bytes;
    };
    const struct {
        const char* what;
        std::vector<std::uint8_t> bytes;
        std::wstring error;
    } cases[] = {
        {"shorter than the header", {'P', 'R', 'e', 'g', 1, 0}, L"byte offset 0: not a Registry.pol file: it is shorter"},
        {"another signature", with(0, 'Q'), L"byte offset 0: not a Registry.pol file: it does not begin with \"PReg\""},
        {"version 2", with(4, 2), L"byte offset 4: version 2 is not supported, only version 1"},
        {"no opening bracket", with(record, '{'), L"byte offset 8: \"[\" at the start of a record expected"},
        {"no closing bracket", with(good.size() - 2, '}'),
         L"byte offset " + std::to_wstring(good.size() - 2) + L": \"]\" at the end of the record expected"},
        {"truncated in the data", {good.begin(), good.end() - 5},
         L"byte offset " + std::to_wstring(good.size() - 5) + L": the file ends inside the record that begins at byte offset 8"},
        {"truncated in the key name", {good.begin(), good.begin() + 13},
         L"byte offset 13: the file ends inside the record that begins at byte offset 8"},
    };
    for (const auto& c : cases) {
        CAPTURE(std::string(c.what));
        const std::wstring error = errorOf(c.bytes, kHkeyLocalMachine);
        CHECK_MESSAGE(error.rfind(c.error, 0) == 0, std::string(error.begin(), error.end()));
    }
    CHECK(ReadPolicyFile(good, kHkeyLocalMachine).size() == 1);
}
