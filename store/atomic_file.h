#pragma once
// File primitives of the settings store: whole-file read and all-or-nothing replace.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "base/error.h"

// Raised when the store file cannot be created, read or written.
class EInOutError : public WideError {
public:
    using WideError::WideError;
};

namespace storefile {

// The whole content of the file, or nothing when it does not exist.
// Throws EInOutError when it exists but cannot be read.
std::optional<std::string> readAll(const std::wstring& path);

// Replaces the file's content in one step: the bytes go to a temporary file in the same
// folder, which is flushed to disk and then renamed over the old file. On any failure the
// old file is left as it was, the temporary file is removed and EInOutError is thrown.
// Before it starts, it removes the temporary files of this file ("<file>.~<process>.<n>")
// that a save killed part way left behind: those whose process has ended. Nothing else.
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

// The steps of a replace, in order. A test can make any one of them fail.
enum class WriteStep { Create, Write, Flush, Close, Replace };

// While alive, every replace fails at that step as the system would (the step's error
// code), once its own work before the step is done.
class ScopedStepFault {
public:
    explicit ScopedStepFault(WriteStep step);
    ~ScopedStepFault();
    ScopedStepFault(const ScopedStepFault&) = delete;
    ScopedStepFault& operator=(const ScopedStepFault&) = delete;
};

// Plain-mode file text: in the system's ANSI code page (Latin-1 outside Windows) when that
// carries every character, as plain files always were; otherwise UTF-8 behind a byte-order
// mark, which the reader recognises.
std::string toPlainText(const std::wstring& text);
std::wstring fromPlainText(const std::string& bytes);

}  // namespace storefile
