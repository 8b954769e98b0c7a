#pragma once
// A failed Win32 call as an exception: the call's name and the system's error text.
#include <string>
#include <string_view>

#include "base/error.h"

// The system's text for an error code, in Unicode, without the line end; "error <code>"
// when the system has none.
std::wstring systemErrorText(unsigned long code);

class Win32Error : public WideError {
public:
    // `call` names the call, and what it was called on where that helps.
    Win32Error(std::wstring_view call, unsigned long code);
    unsigned long code() const { return code_; }

private:
    unsigned long code_;
};

[[noreturn]] void throwLastError(const char* call);
void throwIfFailed(long status, const char* call);  // an LSTATUS other than ERROR_SUCCESS
