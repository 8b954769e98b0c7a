#include "base/error.h"

#include "base/text.h"

WideError::WideError(std::wstring message) : std::runtime_error(toUtf8(message)), message_(std::move(message)) {}

std::wstring errorText(const std::exception& error) {
    if (const auto* wide = dynamic_cast<const WideError*>(&error)) return wide->message();
    return fromUtf8(error.what());
}

std::wstring currentErrorText() {
    try {
        throw;
    } catch (const std::exception& error) {
        return errorText(error);
    } catch (...) {
        return L"Unknown error";
    }
}
