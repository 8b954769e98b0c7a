#include <doctest/doctest.h>

#include <filesystem>
#include <functional>
#include <memory>

#include "app/password.h"
#include "app/passwordhash.h"
#include "store/Encript.h"
#include "tests/native/registry_fixture.h"

namespace {

// Hashes made here take a few iterations: the sanitized portable derivation is slow, and no
// check below depends on the count.
const ScopedPasswordIterations fastHashes(64);

// A settings store on a scratch file holding the given AdminPass entry, if any.
struct PasswordStore {
    regtest::StoreScope scope;
    explicit PasswordStore(const std::wstring& entry = L"") {
        if (!entry.empty()) scope.store().SetStr(AdminPassKey, entry);
    }
    TEncriptor& store() { return scope.store(); }
    std::wstring entry() { return store().GetStr(AdminPassKey, L""); }
};

// A prompt that answers once and counts how often it was shown.
struct Prompt {
    explicit Prompt(std::optional<std::wstring> typed) : answer(std::move(typed)) {}
    std::optional<std::wstring> answer;
    int shown = 0;
    std::function<void()> whileShown;
    PasswordPrompt fn() {
        return [this] {
            ++shown;
            if (whileShown) whileShown();
            return answer;
        };
    }
};

// "password" with the salt "salt" and 4096 iterations: the published PBKDF2-HMAC-SHA256 bytes.
const std::wstring kKnownEntry = L"pbkdf2-sha256$4096$c2FsdA==$xeR41ZKIyEGqUw22hFxMjZYok6ABzk4RpJY4c6qYE0o=";

}  // namespace

TEST_CASE("The stored entry is a salted hash that describes itself and holds no form of the password") {
    const std::wstring password = L"Correct Horse \u043f\u0430\u0440\u043e\u043b\u044c";
    const std::wstring a = HashPassword(password), b = HashPassword(password);
    CHECK(a.starts_with(L"pbkdf2-sha256$64$"));
    CHECK(a != b);  // each hash has a salt of its own
    for (const std::wstring& entry : {a, b}) {
        CHECK(StoredPasswordFormOf(entry) == StoredPasswordForm::Hash);
        CHECK(entry.find(L"Horse") == std::wstring::npos);
        CHECK(entry.find(L"\u043f\u0430\u0440") == std::wstring::npos);
        CHECK(PasswordMatches(entry, password));
        CHECK_FALSE(PasswordMatches(entry, L"correct Horse \u043f\u0430\u0440\u043e\u043b\u044c"));
        CHECK_FALSE(PasswordMatches(entry, L""));
    }
    // The format is the published derivation: an entry made from the known vector matches.
    CHECK(PasswordMatches(kKnownEntry, L"password"));
    CHECK_FALSE(PasswordMatches(kKnownEntry, L"Password"));
}

TEST_CASE("Entries that begin like a hash but do not read as one let nobody in") {
    const std::wstring damaged[] = {
        L"pbkdf2-sha256$",
        L"pbkdf2-sha256$4096$c2FsdA==",
        L"pbkdf2-sha256$x$c2FsdA==$xeR41ZKIyEGqUw22hFxMjZYok6ABzk4RpJY4c6qYE0o=",
        L"pbkdf2-sha256$0$c2FsdA==$xeR41ZKIyEGqUw22hFxMjZYok6ABzk4RpJY4c6qYE0o=",
        L"pbkdf2-sha256$-1$c2FsdA==$xeR41ZKIyEGqUw22hFxMjZYok6ABzk4RpJY4c6qYE0o=",
        L"pbkdf2-sha256$99999999999$c2FsdA==$xeR41ZKIyEGqUw22hFxMjZYok6ABzk4RpJY4c6qYE0o=",
        L"pbkdf2-sha256$4096$$xeR41ZKIyEGqUw22hFxMjZYok6ABzk4RpJY4c6qYE0o=",
        L"pbkdf2-sha256$4096$c2FsdA=$xeR41ZKIyEGqUw22hFxMjZYok6ABzk4RpJY4c6qYE0o=",
        L"pbkdf2-sha256$4096$c2F*dA==$xeR41ZKIyEGqUw22hFxMjZYok6ABzk4RpJY4c6qYE0o=",
        L"pbkdf2-sha256$4096$c2FsdA==$xeR41ZKIyEGqUw22hFxMjZYok6ABzk4RpJY4c6qYE0=",
        L"pbkdf2-sha256$4096$c2FsdA==$xeR41ZKIyEGqUw22hFxMjZYok6ABzk4RpJY4c6qYEw==",  // 31 bytes
        L"pbkdf2-sha256$4096$c2FsdA==$xeR41ZKIyEGqUw22hFxMjZYok6ABzk4RpJY4c6qYE0o=$",
    };
    for (const std::wstring& entry : damaged) {
        CAPTURE(doctest::StringMaker<std::wstring>::convert(entry));
        CHECK(StoredPasswordFormOf(entry) == StoredPasswordForm::Damaged);
        CHECK_FALSE(PasswordMatches(entry, L"password"));
        CHECK_FALSE(PasswordMatches(entry, entry));
    }
    // A last hash byte that differs in one bit refuses as well.
    CHECK_FALSE(PasswordMatches(L"pbkdf2-sha256$4096$c2FsdA==$xeR41ZKIyEGqUw22hFxMjZYok6ABzk4RpJY4c6qYE0s=", L"password"));
}

TEST_CASE("The start-up gate asks only when a password is stored and accepts only the exact text") {
    const struct {
        const char* what;
        std::wstring defined;
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
        // The hash keeps the password as it was typed, outer spaces and all.
        {"defined with a leading space, typed with it", L" Secret", L" Secret", PasswordGate::Accepted, 1},
        {"defined with a leading space, typed without", L" Secret", L"Secret", PasswordGate::Refused, 1},
    };
    for (const auto& c : cases) {
        CAPTURE(c.what);
        PasswordStore s(c.defined.empty() ? L"" : HashPassword(c.defined));
        Prompt prompt{c.typed};
        CHECK(CheckAdminPassword(s.store(), prompt.fn()) == c.result);
        CHECK(prompt.shown == c.asked);
    }
}

TEST_CASE("A password stored as text by an earlier version still opens, and is replaced by its hash") {
    const struct {
        const char* what;
        std::wstring stored;
        std::wstring typed;
        PasswordGate result;
    } cases[] = {
        {"the right password", L"Secret", L"Secret", PasswordGate::Accepted},
        {"another letter case", L"Secret", L"secret", PasswordGate::Refused},
        // Earlier versions read the value without its outer spaces.
        {"stored with a leading space, typed without", L" Secret", L"Secret", PasswordGate::Accepted},
        {"stored with a leading space, typed with it", L" Secret", L" Secret", PasswordGate::Refused},
    };
    for (const auto& c : cases) {
        CAPTURE(c.what);
        PasswordStore s(c.stored);
        const auto fileBefore = std::filesystem::file_size(s.store().DataFile);
        Prompt prompt{c.typed};
        CHECK(CheckAdminPassword(s.store(), prompt.fn()) == c.result);
        if (c.result == PasswordGate::Accepted) {
            CHECK(StoredPasswordFormOf(s.entry()) == StoredPasswordForm::Hash);
            CHECK(PasswordMatches(s.entry(), c.typed));
        } else {
            CHECK(StoredPasswordFormOf(s.entry()) == StoredPasswordForm::Legacy);
        }
        // In memory: the next save writes it.
        CHECK(std::filesystem::file_size(s.store().DataFile) == fileBefore);
    }
}

TEST_CASE("The gate compares with the entry it read before the prompt showed") {
    PasswordStore s(HashPassword(L"Secret"));
    Prompt prompt{L""};
    // Whatever changes the store while the prompt waits: the password removed, or replaced.
    SUBCASE("removed") { prompt.whileShown = [&] { s.store().Delete(AdminPassKey); }; }
    SUBCASE("replaced") { prompt.whileShown = [&] { s.store().SetStr(AdminPassKey, HashPassword(L"")); }; }
    CHECK(CheckAdminPassword(s.store(), prompt.fn()) == PasswordGate::Refused);
    CHECK(prompt.shown == 1);
}

TEST_CASE("Defining the password") {
    SUBCASE("OK stores a hash of the first entry in memory only; the dialog learns a password is set") {
        PasswordStore s(HashPassword(L"old"));
        const auto fileBefore = std::filesystem::file_size(s.store().DataFile);
        std::optional<bool> told;
        CHECK(ChangeAdminPassword(s.store(), [&](bool passwordSet) {
            told = passwordSet;
            return std::optional<std::wstring>(L"New one");
        }));
        CHECK(told == true);
        CHECK(StoredPasswordFormOf(s.entry()) == StoredPasswordForm::Hash);
        CHECK(PasswordMatches(s.entry(), L"New one"));
        CHECK_FALSE(PasswordMatches(s.entry(), L"old"));
        CHECK(std::filesystem::file_size(s.store().DataFile) == fileBefore);
    }
    SUBCASE("without a password the dialog is told so") {
        PasswordStore s;
        std::optional<bool> told;
        CHECK(ChangeAdminPassword(s.store(), [&](bool passwordSet) {
            told = passwordSet;
            return std::optional<std::wstring>(L"first");
        }));
        CHECK(told == false);
        CHECK(PasswordMatches(s.entry(), L"first"));
    }
    SUBCASE("Cancel changes nothing") {
        PasswordStore s(HashPassword(L"old"));
        const auto entries = s.store().IDList;
        CHECK_FALSE(ChangeAdminPassword(s.store(), [](bool) { return std::optional<std::wstring>(); }));
        CHECK(s.store().IDList == entries);
    }
    SUBCASE("an empty password switches the prompt off") {
        PasswordStore s(HashPassword(L"old"));
        CHECK(ChangeAdminPassword(s.store(), [](bool) { return std::optional<std::wstring>(L""); }));
        CHECK_FALSE(s.store().isValue(AdminPassKey));
        Prompt prompt{L"old"};
        CHECK(CheckAdminPassword(s.store(), prompt.fn()) == PasswordGate::NoPassword);
        CHECK(prompt.shown == 0);
    }
}

TEST_CASE("OK in the definition dialog: equal entries, and a question before a set password goes") {
    const struct {
        std::wstring entered, confirmation;
        bool passwordSet;
        PasswordDefinitionStep step;
    } cases[] = {
        {L"abc", L"abc", true, PasswordDefinitionStep::Accept},
        {L"abc", L"abc", false, PasswordDefinitionStep::Accept},
        {L"", L"", false, PasswordDefinitionStep::Accept},
        {L"", L"", true, PasswordDefinitionStep::AskRemoval},
        {L"abc", L"", true, PasswordDefinitionStep::Mismatch},
        {L"", L"abc", true, PasswordDefinitionStep::Mismatch},
        {L"abc", L"ABC", false, PasswordDefinitionStep::Mismatch},
        {L"abc", L"abc ", false, PasswordDefinitionStep::Mismatch},
    };
    for (const auto& c : cases) {
        CAPTURE(doctest::StringMaker<std::wstring>::convert(c.entered + L"|" + c.confirmation));
        CHECK(PasswordDefinitionOk(c.entered, c.confirmation, c.passwordSet) == c.step);
        CHECK(PasswordConfirmed(c.entered, c.confirmation) == (c.step != PasswordDefinitionStep::Mismatch));
    }
}
