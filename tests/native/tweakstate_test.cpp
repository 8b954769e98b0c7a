// Tweak state: the contract on the in-memory registry, plus the value-type lookups, which
// need no registry, and denied access, which only the in-memory registry can produce.
#include "tests/contract/tweakstate_contract.cpp"

using namespace contract;

TEST_CASE("InvertByType negates exactly the five inverted types") {
    const std::pair<const wchar_t*, bool> table[] = {
        {L"String01", true},      {L"Integer01", true},     {L"String_NoYes", true}, {L"String_noyes", true},
        {L"String_NY", true},     {L"String10", false},     {L"Integer10", false},   {L"String_YesNo", false},
        {L"String_yesno", false}, {L"String_YN", false},    {L"Integer31", false},   {L"String", false},
        {L"Integer", false},      {L"CLSID", false},        {L"string01", false},    {L"", false},
        {L"Integer21", false},
    };
    for (const auto& [type, inverted] : table) {
        CAPTURE(show(type));
        bool flag = true;
        InvertByType(flag, type);
        CHECK(flag == !inverted);
        flag = false;
        InvertByType(flag, type);
        CHECK(flag == inverted);
    }
}

TEST_CASE("The value-type table holds the seventeen types and Integer21 with their data types") {
    const std::pair<const wchar_t*, RegType> table[] = {
        {L"String10", kRegSz},     {L"String01", kRegSz},      {L"Integer10", kRegDword},  {L"Integer01", kRegDword},
        {L"String_YesNo", kRegSz}, {L"String_NoYes", kRegSz},  {L"String_YN", kRegSz},     {L"String_NY", kRegSz},
        {L"String_yesno", kRegSz}, {L"String_noyes", kRegSz},  {L"Integer31", kRegDword},  {L"Integer30", kRegDword},
        {L"Integer20", kRegDword}, {L"Integer43", kRegDword},  {L"String", kRegSz},        {L"Integer", kRegDword},
        {L"Integer21", kRegDword},
    };
    for (const auto& [name, dataType] : table) {
        const TValueTypeRec* type = FindValueType(name);
        REQUIRE(type);
        CHECK(type->DataType == dataType);
        CHECK(DataTypeOf(name) == dataType);
    }
    REQUIRE(FindValueType(L"CLSID"));
    CHECK(FindValueType(L"CLSID")->Kind == ValueKind::Clsid);
    CHECK_FALSE(FindValueType(L"integer10"));
    CHECK_FALSE(FindValueType(L"Integer10 "));
}

TEST_CASE("Denied access reads as absent") {
    Engine e;
    e.set(L"Integer10", dword(1));
    e.sandbox.memory().denyAccess(kHkeyCurrentUser, e.policies);
    const TCheckBoxRec rec = e.read(L"T_Integer10");
    CHECK_FALSE(rec.Exists1);
    CHECK_FALSE(rec.SetValue);
}

// Values directly under a root would be the real registry's own, so this stays in memory.
TEST_CASE("An alias that resolves to no key path is not read at the root") {
    Engine e;
    e.setAt(L"", L"MissingAlias", dword(1));
    e.setAt(L"", L"EmptyAlias", dword(1));
    CHECK_FALSE(e.read(L"MissingAlias", L"Group_Special").Exists1);
    CHECK_FALSE(e.read(L"EmptyAlias", L"Group_Special").Exists1);
}
