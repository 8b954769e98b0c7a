#include <doctest/doctest.h>

#include <filesystem>
#include <memory>

#include "app/password.h"
#include "app/version.h"
#include "store/Encript.h"
#include "tests/native/registry_fixture.h"

namespace {

// A settings store on a scratch file holding the given password, if any.
struct PasswordStore {
    regtest::StoreScope scope;
    explicit PasswordStore(const std::wstring& password = L"") {
        if (!password.empty()) scope.store().SetStr(AdminPassKey, password);
    }
    TEncriptor& store() { return scope.store(); }
};

// A prompt that answers once and counts how often it was shown.
struct Prompt {
    std::optional<std::wstring> answer;
    int shown = 0;
    PasswordPrompt fn() {
        return [this] {
            ++shown;
            return answer;
        };
    }
};

}  // namespace

TEST_CASE("The start-up gate asks only when a password is stored and accepts only the exact text") {
    const struct {
        const char* what;
        std::wstring stored;
        std::optional<std::wstring> typed;
        PasswordGate result;
        int asked;
    } cases[] = {
        {"no password: no question", L"", L"anything", PasswordGate::NoPassword, 0},
        {"the right password", L"Secret", L"Secret", PasswordGate::Accepted, 1},
        {"another letter case", L"Secret", L"secret", PasswordGate::Refused, 1},
        {"cancelled", L"Secret", std::nullopt, PasswordGate::Refused, 1},
        {"empty text", L"Secret", L"", PasswordGate::Refused, 1},
        {"a trailing space too many", L"Secret", L"Secret ", PasswordGate::Refused, 1},
        // The store gives values back without their outer spaces.
        {"defined with a leading space, typed with it", L" Secret", L" Secret", PasswordGate::Refused, 1},
        {"defined with a leading space, typed without", L" Secret", L"Secret", PasswordGate::Accepted, 1},
    };
    for (const auto& c : cases) {
        CAPTURE(c.what);
        PasswordStore s(c.stored);
        Prompt prompt{c.typed};
        CHECK(CheckAdminPassword(&s.store(), prompt.fn()) == c.result);
        CHECK(prompt.shown == c.asked);
    }
}

TEST_CASE("The gate without a store asks nothing") {
    Prompt prompt{L"x"};
    CHECK(CheckAdminPassword(nullptr, prompt.fn()) == PasswordGate::NoPassword);
    CHECK(prompt.shown == 0);
}

TEST_CASE("Defining the password") {
    SUBCASE("OK stores the first entry in memory only, the dialog starting from the current one") {
        PasswordStore s(L"old");
        const auto fileBefore = std::filesystem::file_size(s.store().DataFile);
        std::wstring offered;
        CHECK(ChangeAdminPassword(s.store(), [&](const std::wstring& current) {
            offered = current;
            return std::optional<std::wstring>(L"New one");
        }));
        CHECK(offered == L"old");
        CHECK(s.store().GetStr(AdminPassKey, L"") == L"New one");
        CHECK(std::filesystem::file_size(s.store().DataFile) == fileBefore);
    }
    SUBCASE("Cancel changes nothing") {
        PasswordStore s(L"old");
        const auto entries = s.store().IDList;
        CHECK_FALSE(ChangeAdminPassword(s.store(), [](const std::wstring&) { return std::optional<std::wstring>(); }));
        CHECK(s.store().IDList == entries);
    }
    SUBCASE("an empty password switches the prompt off") {
        PasswordStore s(L"old");
        CHECK(ChangeAdminPassword(s.store(), [](const std::wstring&) { return std::optional<std::wstring>(L""); }));
        Prompt prompt{L"old"};
        CHECK(CheckAdminPassword(&s.store(), prompt.fn()) == PasswordGate::NoPassword);
        CHECK(prompt.shown == 0);
    }
    SUBCASE("DefineAdminPassword keeps the text on cancel") {
        std::wstring password = L"kept";
        CHECK_FALSE(DefineAdminPassword(password, [](const std::wstring&) { return std::optional<std::wstring>(); }));
        CHECK(password == L"kept");
    }
}

TEST_CASE("The two entries of the definition dialog must match exactly") {
    CHECK(PasswordConfirmed(L"abc", L"abc"));
    CHECK(PasswordConfirmed(L"", L""));
    CHECK_FALSE(PasswordConfirmed(L"abc", L""));
    CHECK_FALSE(PasswordConfirmed(L"abc", L"ABC"));
    CHECK_FALSE(PasswordConfirmed(L"abc", L"abc "));
}

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
