// The error base and errorText natively; the same contract runs under Wine.
#include "tests/contract/error_text_contract.cpp"
