// The derivation and the random bytes of the native build; the same table runs under Wine
// against bcrypt.dll.
#include "tests/contract/crypto_contract.cpp"
