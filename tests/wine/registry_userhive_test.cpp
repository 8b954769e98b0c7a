// The registry engine's contract on the real registry once more, through another user's key
// under HKEY_USERS: every operation lands there, and HKEY_CURRENT_USER is never asked for.
#define QM_CONTRACT_IN_USER_HIVE
#include "tests/contract/registry_access_contract.cpp"
#include "tests/contract/applytweak_contract.cpp"
#include "tests/contract/tweakstate_contract.cpp"
