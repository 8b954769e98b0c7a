#include "profile/regfile.h"

#include <cstdio>
#include <optional>

#include "base/text.h"
#include "registry/regaccess.h"

namespace {

const wchar_t* const LineEnd = L"\r\n";

// regedit's escapes inside quotes.
std::wstring escaped(const std::wstring& text) {
    std::wstring out;
    for (wchar_t c : text) {
        if (c == L'\\' || c == L'"') out += L'\\';
        out += c;
    }
    return out;
}

bool hasControlCharacter(const std::wstring& text) {
    for (wchar_t c : text)
        if (c < 0x20) return true;
    return false;
}

std::wstring hexBytes(const std::vector<std::uint8_t>& bytes) {
    std::wstring out;
    wchar_t pair[4];
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        std::swprintf(pair, 4, L"%02x", bytes[i]);
        if (i) out += L',';
        out += pair;
    }
    return out;
}

std::wstring regData(const RegValue& value) {
    if (value.type == kRegDword && value.data.size() == 4) {
        wchar_t text[16];
        const std::uint32_t n = value.data[0] | (value.data[1] << 8) | (value.data[2] << 16) |
                                (static_cast<std::uint32_t>(value.data[3]) << 24);
        std::swprintf(text, 16, L"dword:%08x", static_cast<unsigned>(n));
        return text;
    }
    if (value.type == kRegSz) {
        const std::wstring text = registryText(value.data);
        // A line break inside quotes would end the line; hex(1) carries any text intact.
        if (!hasControlCharacter(text) && toUtf16le(text, true) == value.data) return L"\"" + escaped(text) + L"\"";
        return L"hex(1):" + hexBytes(value.data);
    }
    if (value.type == kRegBinary) return L"hex:" + hexBytes(value.data);
    wchar_t type[16];
    std::swprintf(type, 16, L"hex(%x):", static_cast<unsigned>(value.type));
    return type + hexBytes(value.data);
}

// --- reading ---

struct SourceLine {
    std::wstring text;
    int number = 0;
};

ProfileError lineError(int line, const std::wstring& what) {
    return ProfileError(L"line " + std::to_wstring(line) + L": " + what);
}

ProfileError offsetError(std::size_t offset, const std::wstring& what) {
    return ProfileError(L"byte offset " + std::to_wstring(offset) + L": " + what);
}

bool isBlank(wchar_t c) { return c == L' ' || c == L'\t'; }

std::wstring trimRight(std::wstring s) {
    while (!s.empty() && isBlank(s.back())) s.pop_back();
    return s;
}

std::size_t skipBlanks(const std::wstring& s, std::size_t at) {
    while (at < s.size() && isBlank(s[at])) ++at;
    return at;
}

bool startsWithNoCase(const std::wstring& s, std::size_t at, std::wstring_view prefix) {
    return ::startsWithNoCase(std::wstring_view(s).substr(at), prefix);
}

std::optional<unsigned> hexNumber(const std::wstring& digits, std::size_t maxDigits) {
    if (digits.empty() || digits.size() > maxDigits) return std::nullopt;
    unsigned n = 0;
    for (wchar_t c : digits) {
        const bool digit = (c >= L'0' && c <= L'9') || ((c | 0x20) >= L'a' && (c | 0x20) <= L'f');
        if (!digit) return std::nullopt;
        n = n * 16 + static_cast<unsigned>(c <= L'9' ? c - L'0' : (c | 0x20) - L'a' + 10);
    }
    return n;
}

// The file's text. A NUL inside it means the file is not text, or is damaged.
std::wstring decodedText(const std::vector<std::uint8_t>& bytes) {
    // regedit writes UTF-16LE behind its mark; a file that lost the mark still reads.
    const bool utf16 = bytes.size() >= 2 && ((bytes[0] == 0xFF && bytes[1] == 0xFE) || (bytes[0] != 0 && bytes[1] == 0));
    if (utf16) {
        const std::size_t start = bytes[0] == 0xFF && bytes[1] == 0xFE ? 2 : 0;
        if (bytes.size() % 2) throw offsetError(bytes.size() - 1, L"the file ends in the middle of a character");
        std::size_t end = bytes.size();
        while (end > start && bytes[end - 1] == 0 && bytes[end - 2] == 0) end -= 2;  // padding
        for (std::size_t i = start; i < end; i += 2)
            if (bytes[i] == 0 && bytes[i + 1] == 0) throw offsetError(i, L"a NUL character: the file is damaged");
        return fromUtf16le(bytes.data() + start, end - start);
    }
    std::size_t end = bytes.size();
    while (end > 0 && bytes[end - 1] == 0) --end;
    for (std::size_t i = 0; i < end; ++i)
        if (bytes[i] == 0) throw offsetError(i, L"a NUL character: the file is damaged");
    const std::string_view text(reinterpret_cast<const char*>(bytes.data()), end);
    if (text.starts_with("\xEF\xBB\xBF")) return fromUtf8(text.substr(3));
    return fromAnsi(text);
}

std::vector<SourceLine> splitLines(const std::wstring& text) {
    std::vector<SourceLine> lines;
    std::size_t start = 0;
    int number = 1;
    for (std::size_t i = 0; i <= text.size(); ++i) {
        if (i < text.size() && text[i] != L'\r' && text[i] != L'\n') continue;
        lines.push_back({text.substr(start, i - start), number++});
        if (i + 1 < text.size() && text[i] == L'\r' && text[i + 1] == L'\n') ++i;
        start = i + 1;
    }
    return lines;
}

class RegFileReader {
public:
    RegFileReader(std::vector<SourceLine> lines, bool ansiStrings) : lines_(std::move(lines)), ansi_(ansiStrings) {}

    std::vector<ProfileKey> read(std::size_t firstLine) {
        next_ = firstLine;
        while (next_ < lines_.size()) {
            const SourceLine& line = lines_[next_++];
            const std::size_t at = skipBlanks(line.text, 0);
            if (at == line.text.size() || line.text[at] == L';') continue;
            if (line.text[at] == L'[')
                keyLine(line.text.substr(at), line.number);
            else if (line.text[at] == L'"' || line.text[at] == L'@')
                valueLine(line.text.substr(at), line.number);
            else
                throw lineError(line.number, L"neither a key in brackets nor a value: \"" + trimRight(line.text) + L"\"");
        }
        return std::move(keys_);
    }

private:
    void keyLine(const std::wstring& text, int number) {
        const std::size_t close = text.rfind(L']');
        if (close == std::wstring::npos) throw lineError(number, L"the key has no closing bracket");
        const std::size_t after = skipBlanks(text, close + 1);
        if (after < text.size() && text[after] != L';')
            throw lineError(number, L"text after the key's closing bracket");
        std::wstring name = text.substr(1, close - 1);
        const bool removal = !name.empty() && name[0] == L'-';
        if (removal) name.erase(0, 1);
        while (!name.empty() && name.back() == L'\\') name.pop_back();
        const std::size_t slash = name.find(L'\\');
        const std::wstring rootName = name.substr(0, slash);
        const RegRoot root = ProfileRootByName(rootName);
        if (!root) throw lineError(number, L"\"" + rootName + L"\" is not a registry root");
        const std::wstring path = slash == std::wstring::npos ? std::wstring() : name.substr(slash + 1);

        if (removal) {
            keys_.push_back({root, path, ProfileKey::Removal::Tree, false, {}});
        } else if (!keys_.empty() && keys_.back().Root == root && keys_.back().Path == path &&
                   keys_.back().Remove == ProfileKey::Removal::Tree && !keys_.back().Recreate) {
            keys_.back().Recreate = true;  // "[-key]" then "[key]": the key anew
        } else {
            keys_.push_back({root, path, ProfileKey::Removal::None, true, {}});
        }
        inKey_ = !removal;
    }

    void valueLine(const std::wstring& text, int number) {
        if (!inKey_) throw lineError(number, L"a value outside of any key");
        std::size_t at = 0;
        std::wstring name;
        if (text[0] == L'@') {
            at = 1;
        } else {
            std::optional<std::wstring> quotedName = quoted(text, at);
            if (!quotedName) throw lineError(number, L"the value name has no closing quote");
            name = std::move(*quotedName);
        }
        at = skipBlanks(text, at);
        if (at >= text.size() || text[at] != L'=') throw lineError(number, L"\"=\" expected after the value name");
        at = skipBlanks(text, at + 1);
        keys_.back().Values.push_back({name, data(text, at, number)});
    }

    std::optional<RegValue> data(const std::wstring& text, std::size_t at, int number) {
        if (at < text.size() && text[at] == L'-') {
            endOfData(text, at + 1, number);
            return std::nullopt;
        }
        if (at < text.size() && text[at] == L'"') {
            std::optional<std::wstring> value = quoted(text, at);
            if (!value) throw lineError(number, L"the text has no closing quote");
            endOfData(text, at, number);
            return RegValue{kRegSz, toUtf16le(*value, true)};
        }
        if (startsWithNoCase(text, at, L"dword:")) {
            std::size_t end = at + 6;
            while (end < text.size() && !isBlank(text[end]) && text[end] != L';') ++end;
            const std::optional<unsigned> n = hexNumber(text.substr(at + 6, end - at - 6), 8);
            if (!n) throw lineError(number, L"dword: needs one to eight hexadecimal digits");
            endOfData(text, end, number);
            return RegValue{kRegDword,
                            {static_cast<std::uint8_t>(*n), static_cast<std::uint8_t>(*n >> 8),
                             static_cast<std::uint8_t>(*n >> 16), static_cast<std::uint8_t>(*n >> 24)}};
        }
        if (startsWithNoCase(text, at, L"hex:")) return RegValue{kRegBinary, hexData(text.substr(at + 4), number)};
        if (startsWithNoCase(text, at, L"hex(")) {
            const std::size_t close = text.find(L')', at);
            const std::optional<unsigned> type =
                close == std::wstring::npos ? std::nullopt : hexNumber(text.substr(at + 4, close - at - 4), 8);
            if (!type || close + 1 >= text.size() || text[close + 1] != L':')
                throw lineError(number, L"hex(n): needs the type in hexadecimal, a closing bracket and a colon");
            RegValue value{*type, hexData(text.substr(close + 2), number)};
            // REGEDIT4 files carry text data in the ANSI code page.
            if (ansi_ && (value.type == kRegSz || value.type == kRegExpandSz || value.type == kRegMultiSz))
                value.data = toUtf16le(
                    fromAnsi({reinterpret_cast<const char*>(value.data.data()), value.data.size()}), false);
            return value;
        }
        throw lineError(number, L"the data \"" + trimRight(text.substr(at)) +
                                    L"\" is none of \"text\", dword:, hex: and hex(n):, nor - to remove the value");
    }

    // Only blanks or a comment may follow the data.
    static void endOfData(const std::wstring& text, std::size_t at, int number) {
        at = skipBlanks(text, at);
        if (at < text.size() && text[at] != L';') throw lineError(number, L"text after the value's data");
    }

    // The byte list "aa,bb,..."; a line ending in "\" goes on in the next line.
    std::vector<std::uint8_t> hexData(std::wstring text, int number) {
        std::vector<std::uint8_t> bytes;
        const int first = number;
        for (;;) {
            text = trimRight(text);
            const bool more = !text.empty() && text.back() == L'\\';
            if (more) text.pop_back();
            for (std::size_t at = skipBlanks(text, 0); at < text.size(); at = skipBlanks(text, at)) {
                const std::size_t comma = text.find(L',', at);
                const std::wstring token = trimRight(text.substr(at, comma == std::wstring::npos ? comma : comma - at));
                const std::optional<unsigned> byte = hexNumber(token, 2);
                if (!byte) throw lineError(number, L"\"" + token + L"\" is not a byte in hexadecimal");
                bytes.push_back(static_cast<std::uint8_t>(*byte));
                if (comma == std::wstring::npos) break;
                at = comma + 1;
            }
            if (!more) return bytes;
            if (next_ >= lines_.size())
                throw lineError(number, L"the file ends inside the value that begins at line " + std::to_wstring(first));
            text = lines_[next_].text;
            number = lines_[next_++].number;
        }
    }

    // The text between quotes from text[at], with regedit's escapes; at ends past the
    // closing quote. Nothing when there is none.
    static std::optional<std::wstring> quoted(const std::wstring& text, std::size_t& at) {
        std::wstring out;
        for (++at; at < text.size();) {
            const wchar_t c = text[at++];
            if (c == L'"') return out;
            if (c != L'\\' || at == text.size()) {
                out += c;
                continue;
            }
            const wchar_t e = text[at++];
            switch (e) {
            case L'\\':
            case L'"': out += e; break;
            case L'n': out += L'\n'; break;
            case L'r': out += L'\r'; break;
            default:  // not an escape: regedit keeps both characters
                out += L'\\';
                out += e;
            }
        }
        return std::nullopt;
    }

    std::vector<SourceLine> lines_;
    bool ansi_;
    std::size_t next_ = 0;
    std::vector<ProfileKey> keys_;
    bool inKey_ = false;
};

}  // namespace

std::wstring RegFileText(const std::vector<ProfileKey>& keys, const std::vector<std::wstring>& comments) {
    std::wstring text = std::wstring(RegFileHeader5) + LineEnd + LineEnd;
    for (const std::wstring& comment : comments) text += L"; " + comment + LineEnd;
    if (!comments.empty()) text += LineEnd;
    for (const ProfileKey& key : keys) {
        const std::wstring name = RootKeyName(key.Root) + L"\\" + key.Path;
        if (key.Remove == ProfileKey::Removal::Tree) {
            text += L"[-" + name + L"]" + LineEnd + LineEnd;
            if (!key.Recreate) continue;
        } else if (key.Remove == ProfileKey::Removal::Values) {
            // A .reg file removes whole keys only; say so rather than remove the subkeys too.
            text += L"; Every value of the next key is removed first, which a .reg file cannot express." +
                    std::wstring(LineEnd);
        }
        text += L"[" + name + L"]" + LineEnd;
        for (const ProfileValue& v : key.Values) {
            text += v.Name.empty() ? std::wstring(L"@") : L"\"" + escaped(v.Name) + L"\"";
            text += L"=" + (v.Data ? regData(*v.Data) : std::wstring(L"-")) + LineEnd;
        }
        text += LineEnd;
    }
    return text;
}

std::vector<std::uint8_t> RegFileBytes(const std::wstring& text) {
    std::vector<std::uint8_t> bytes{0xFF, 0xFE};
    const std::vector<std::uint8_t> units = toUtf16le(text, false);
    bytes.insert(bytes.end(), units.begin(), units.end());
    return bytes;
}

std::vector<ProfileKey> ReadRegFile(const std::vector<std::uint8_t>& bytes) {
    std::vector<SourceLine> lines = splitLines(decodedText(bytes));
    std::size_t first = 0;
    while (first < lines.size() && trimRight(lines[first].text).empty()) ++first;
    const std::wstring header = first < lines.size() ? trimRight(lines[first].text) : std::wstring();
    if (header != RegFileHeader5 && header != RegFileHeader4)
        throw lineError(first < lines.size() ? lines[first].number : 1,
                        L"not a registry file: it does not begin with \"" + std::wstring(RegFileHeader5) +
                            L"\" or \"" + RegFileHeader4 + L"\"");
    return RegFileReader(std::move(lines), header == RegFileHeader4).read(first + 1);
}
