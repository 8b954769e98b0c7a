#pragma once
// A failed Win32 call as an exception: the call's name and the system's error text.
#include <stdexcept>
#include <string>

class Win32Error : public std::runtime_error {
public:
    Win32Error(const char* call, unsigned long code);
    unsigned long code() const { return code_; }
private:
    unsigned long code_;
};

[[noreturn]] void throwLastError(const char* call);
void throwIfFailed(long status, const char* call);  // an LSTATUS other than ERROR_SUCCESS

// The text to show for an error: UTF-8 messages widened, the reader's own wide text kept.
std::wstring errorMessage(const std::exception& error);
std::wstring widen(const std::string& utf8);
