// The parts of base/text.h that the system provides: the ANSI code page (Latin-1 in the native
// build, where there is none) and upper case beyond ASCII. Both builds must fold alike: the
// C library's towupper folds nothing beyond ASCII in the "C" locale, so it is not used.
#include "base/text.h"

#include <type_traits>

#ifdef _WIN32
#include <windows.h>

wchar_t upperCaseBeyondAscii(wchar_t c) {
    // The invariant simple mapping, as file and registry names compare.
    wchar_t upper = c;
    if (LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, &c, 1, &upper, 1, nullptr, nullptr, 0) != 1) return c;
    return upper;
}

std::wstring fromAnsi(std::string_view bytes) {
    if (bytes.empty()) return {};
    const int size = MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    std::wstring out(static_cast<std::size_t>(size), L'\0');
    MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), out.data(), size);
    return out;
}

std::string toAnsi(std::wstring_view text, bool* lossless) {
    if (lossless) *lossless = true;
    if (text.empty()) return {};
    const int size =
        WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), out.data(), size, nullptr, nullptr);
    // Best-fit mappings are losses too: only a full round trip counts.
    if (lossless) *lossless = fromAnsi(out) == text;
    return out;
}

#else

#include <locale.h>
#include <wctype.h>

wchar_t upperCaseBeyondAscii(wchar_t c) {
    static const locale_t unicode = newlocale(LC_CTYPE_MASK, "C.UTF-8", locale_t{});
    if (!unicode) return c;
    const auto upper = static_cast<wchar_t>(towupper_l(static_cast<wint_t>(c), unicode));
    // Windows keeps the dotless i and the long s as they are rather than fold them onto ASCII.
    return upper < 0x80 ? c : upper;
}

std::wstring fromAnsi(std::string_view bytes) {
    std::wstring out;
    out.reserve(bytes.size());
    for (char c : bytes) out += static_cast<wchar_t>(static_cast<unsigned char>(c));
    return out;
}

std::string toAnsi(std::wstring_view text, bool* lossless) {
    std::string out;
    out.reserve(text.size());
    bool all = true;
    for (wchar_t c : text) {
        const bool fits = static_cast<std::make_unsigned_t<wchar_t>>(c) <= 0xFF;
        all = all && fits;
        out += fits ? static_cast<char>(c) : '?';
    }
    if (lossless) *lossless = all;
    return out;
}

#endif
