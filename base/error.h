#pragma once
// The error base: every error of this program carries its message as wide text, so a
// message box shows a value name or path in any script exactly as it is.
#include <exception>
#include <stdexcept>
#include <string>

class WideError : public std::runtime_error {
public:
    explicit WideError(std::wstring message);  // what() is the message in UTF-8
    const std::wstring& message() const noexcept { return message_; }

private:
    std::wstring message_;
};

// The text a message box shows for an error: a WideError's own message; for any other
// standard exception its what(), read as UTF-8.
std::wstring errorText(const std::exception& error);
// The same for the exception being handled, inside a catch block; "Unknown error" for one
// that is no standard exception.
std::wstring currentErrorText();
