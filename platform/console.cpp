#include "platform/console.h"

#include "base/text.h"
#include "base/win/win32_error.h"

namespace {

bool usable(HANDLE handle) { return handle && handle != INVALID_HANDLE_VALUE && GetFileType(handle) != FILE_TYPE_UNKNOWN; }

bool isConsole(HANDLE handle) {
    DWORD mode = 0;
    return GetConsoleMode(handle, &mode) != FALSE;
}

void writeBytes(HANDLE handle, const std::string& bytes) {
    DWORD written = 0;
    WriteFile(handle, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

}  // namespace

CommandOutput::CommandOutput(const std::wstring& logFile, const std::wstring& logHeader)
{
    if (!logFile.empty()) {
        log_.reset(CreateFileW(logFile.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
        if (log_.get() == INVALID_HANDLE_VALUE) {
            (void)log_.release();
            throwLastError("CreateFileW (the /log file)");
        }
        // A new log starts with the mark that tells editors it is UTF-8.
        LARGE_INTEGER size{};
        if (GetFileSizeEx(log_.get(), &size) && size.QuadPart == 0) writeBytes(log_.get(), "\xEF\xBB\xBF");
        if (!logHeader.empty()) writeBytes(log_.get(), toUtf8(logHeader + L"\r\n"));
    }
    out_ = GetStdHandle(STD_OUTPUT_HANDLE);
    if (!usable(out_) && AttachConsole(ATTACH_PARENT_PROCESS)) {
        attached_ = true;
        conout_.reset(CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_EXISTING, 0, nullptr));
        if (conout_.get() == INVALID_HANDLE_VALUE) (void)conout_.release();
        out_ = conout_.get();
    }
    if (!usable(out_)) out_ = nullptr;
    console_ = out_ && isConsole(out_);
}

CommandOutput::~CommandOutput()
{
    conout_.reset();
    if (attached_) FreeConsole();
}

void CommandOutput::Line(const std::wstring& text)
{
    const std::wstring line = text + L"\r\n";
    if (out_ && console_) {
        DWORD written = 0;
        WriteConsoleW(out_, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    } else if (out_) {
        writeBytes(out_, toUtf8(line));
    }
    if (log_) writeBytes(log_.get(), toUtf8(line));
}
