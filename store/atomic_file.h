#pragma once
// File primitives of the settings store: whole-file read and all-or-nothing replace.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace storefile {

// The whole content of the file, or nothing when it does not exist.
// Throws EInOutError when it exists but cannot be read.
std::optional<std::string> readAll(const std::wstring& path);

// Replaces the file's content in one step: the bytes go to a temporary file in the same
// folder, which is flushed to disk and then renamed over the old file. On any failure the
// old file is left as it was, the temporary file is removed and EInOutError is thrown.
void replaceAll(const std::wstring& path, std::string_view bytes);

// While alive, every write to a temporary file fails once this many bytes of it were
// written, as a full disk would make it fail. Lets tests break a save part way.
class ScopedWriteFault {
public:
    explicit ScopedWriteFault(std::size_t bytesBeforeFailure);
    ~ScopedWriteFault();
    ScopedWriteFault(const ScopedWriteFault&) = delete;
    ScopedWriteFault& operator=(const ScopedWriteFault&) = delete;
};

// Plain-mode text in the system's ANSI code page (Latin-1 outside Windows); characters the
// code page lacks become "?".
std::string toAnsi(const std::wstring& text);
std::wstring fromAnsi(const std::string& bytes);

// Text for error messages: the path as UTF-8.
std::string narrow(const std::wstring& text);

}  // namespace storefile
