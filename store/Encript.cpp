#include "store/Encript.h"

#include <algorithm>
#include <climits>
#include <functional>
#include <type_traits>
#include <string_view>

#include "base/number.h"
#include "base/text.h"

const std::wstring ValidityMarker = L"#QZRWPLMTBKXNDCVG$HSYFJEWQAZMRTLK";

namespace {

constexpr std::size_t LineLength = 80;
constexpr int OffsetCycle = 10;

bool inBlock(std::wstring_view entry, std::wstring_view id) {
    return entry.size() >= id.size() && sameTextLatin1(entry.substr(0, id.size()), id);
}

std::wstring valueOf(const std::wstring& entry) {
    std::size_t eq = entry.find(L'=');
    return eq == std::wstring::npos ? std::wstring() : entry.substr(eq + 1);
}

// Trims every character up to U+0020: blanks and control characters.
std::wstring trimControls(const std::wstring& s) {
    std::size_t first = 0, last = s.size();
    while (first < last && static_cast<unsigned long>(s[first]) <= 0x20) ++first;
    while (last > first && static_cast<unsigned long>(s[last - 1]) <= 0x20) --last;
    return s.substr(first, last - first);
}

int hexDigit(wchar_t c) {
    if (c >= L'0' && c <= L'9') return c - L'0';
    if (c >= L'A' && c <= L'F') return c - L'A' + 10;
    if (c >= L'a' && c <= L'f') return c - L'a' + 10;
    return -1;
}

bool isHighSurrogate(wchar_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool isLowSurrogate(wchar_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

// Splits at CR LF, CR or LF; a final line end adds no empty entry.
std::vector<std::wstring> splitLines(const std::wstring& text) {
    std::vector<std::wstring> lines;
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != L'\r' && text[i] != L'\n') continue;
        lines.emplace_back(text, start, i - start);
        if (text[i] == L'\r' && i + 1 < text.size() && text[i + 1] == L'\n') ++i;
        start = i + 1;
    }
    if (start < text.size()) lines.emplace_back(text, start);
    return lines;
}

// A store text that holds characters above U+00FF is kept as UTF-8 bytes, one byte per
// character, behind this first line. It has no "=": a build that predates it reads the line
// as a nameless entry that matches no lookup. Text within U+0000..U+00FF never carries it,
// so such files stay byte for byte what they always were.
const std::wstring Utf8TextHeader = L"#QUILLMARK-UTF8-TEXT$VK3RZQ8WMT5NXJ2PLD7H";

bool beyondLatin1(std::wstring_view text) {
    return std::any_of(text.begin(), text.end(),
                       [](wchar_t c) { return static_cast<std::make_unsigned_t<wchar_t>>(c) > 0xFF; });
}

// The one-byte-per-character text that the scrambled format carries for a store text.
// `forceHeader`: the text begins with the header line itself and must be marked to read back.
std::wstring toStoreText(const std::wstring& text, bool forceHeader) {
    if (!forceHeader && !beyondLatin1(text)) return text;
    std::wstring out = Utf8TextHeader + L"\r\n";
    for (unsigned char byte : toUtf8(text)) out += static_cast<wchar_t>(byte);
    return out;
}

bool startsWithHeaderLine(std::wstring_view text) {
    if (!text.starts_with(Utf8TextHeader)) return false;
    return text.size() == Utf8TextHeader.size() || text[Utf8TextHeader.size()] == L'\r' || text[Utf8TextHeader.size()] == L'\n';
}

std::wstring fromStoreText(const std::wstring& text) {
    if (!startsWithHeaderLine(text)) return text;
    std::size_t rest = Utf8TextHeader.size();
    if (rest < text.size() && text[rest] == L'\r') ++rest;
    if (rest < text.size() && text[rest] == L'\n') ++rest;
    std::string bytes;
    bytes.reserve(text.size() - rest);
    for (std::size_t i = rest; i < text.size(); ++i) bytes += static_cast<char>(text[i]);
    return fromUtf8(bytes);
}

// Names and list values fold ASCII and Latin-1 letters only, the range the file keeps: the
// key two names share exactly when sameTextLatin1 holds for them.
std::wstring foldedName(std::wstring_view name) { return upperLatin1(name); }

}  // namespace

EntryList::EntryList(EntryList&& other) noexcept
    : items_(std::move(other.items_)), firstByName_(std::move(other.firstByName_)), indexed_(other.indexed_) {
    other.items_.clear();
    other.dropIndex();
}

EntryList& EntryList::operator=(EntryList&& other) noexcept {
    if (this == &other) return *this;
    items_ = std::move(other.items_);
    firstByName_ = std::move(other.firstByName_);
    indexed_ = other.indexed_;
    other.items_.clear();
    other.dropIndex();
    return *this;
}

EntryList& EntryList::operator=(std::vector<std::wstring> entries) {
    items_ = std::move(entries);
    dropIndex();
    return *this;
}

EntryList& EntryList::operator=(std::initializer_list<std::wstring> entries) {
    items_ = entries;
    dropIndex();
    return *this;
}

void EntryList::clear() {
    items_.clear();
    dropIndex();
}

// Appending moves no entry, so the index stays and learns the new name unless an earlier
// entry already holds it.
void EntryList::push_back(std::wstring entry) {
    items_.push_back(std::move(entry));
    if (!indexed_) return;
    const std::wstring& added = items_.back();
    std::size_t eq = added.find(L'=');
    if (eq == std::wstring::npos) return;
    try {
        firstByName_.try_emplace(foldedName(std::wstring_view(added).substr(0, eq)), items_.size() - 1);
    } catch (...) {
        dropIndex();  // the list already holds the entry: an index without it would miss it
        throw;
    }
}

EntryList::const_iterator EntryList::insert(const_iterator pos, std::wstring entry) {
    dropIndex();
    return items_.insert(pos, std::move(entry));
}

EntryList::const_iterator EntryList::erase(const_iterator pos) {
    dropIndex();
    return items_.erase(pos);
}

EntryList::const_iterator EntryList::erase(const_iterator first, const_iterator last) {
    dropIndex();
    return items_.erase(first, last);
}

// A new value under the same name leaves every position and name as it was.
void EntryList::replace(size_type i, std::wstring entry) {
    std::wstring& old = items_.at(i);
    const std::size_t oldEq = old.find(L'='), newEq = entry.find(L'=');
    const bool sameName = oldEq != std::wstring::npos && newEq != std::wstring::npos &&
                          sameTextLatin1(std::wstring_view(old).substr(0, oldEq), std::wstring_view(entry).substr(0, newEq));
    old = std::move(entry);
    if (!sameName) dropIndex();
}

EntryList::size_type EntryList::find(const std::wstring& name) const {
    if (!indexed_) buildIndex();
    auto it = firstByName_.find(foldedName(name));
    return it == firstByName_.end() ? npos : it->second;
}

void EntryList::dropIndex() {
    firstByName_.clear();
    indexed_ = false;
}

// An entry without "=" has no name and is not indexed; a name never holds "=", so a look-up
// of a text with "=" misses, as the plain scan does.
void EntryList::buildIndex() const {
    firstByName_.clear();
    firstByName_.reserve(items_.size());
    for (std::size_t i = 0; i < items_.size(); ++i) {
        std::size_t eq = items_[i].find(L'=');
        if (eq != std::wstring::npos) firstByName_.try_emplace(foldedName(std::wstring_view(items_[i]).substr(0, eq)), i);
    }
    indexed_ = true;
}

TEncriptor::TEncriptor(const std::wstring& FileName, bool Encoding, bool CreateMissing)
    : DataFile(FileName), Encripted(Encoding) {
    LoadData(Encripted, CreateMissing);
    IsValid = GetStr(ValidityMarker, L"") == ValidityMarker;
    MayFlush = false;
}

TEncriptor::~TEncriptor() = default;

bool TEncriptor::Flush(bool Exclusive) {
    if (!Exclusive && !MayFlush) return false;
    SaveData(Encripted);
    MayFlush = false;
    return true;
}

std::wstring TEncriptor::GetStr(const std::wstring& Id, const std::wstring& DefaultValue) const {
    std::size_t i = IDList.find(Id);
    return i == EntryList::npos ? DefaultValue : trimBlanks(valueOf(IDList[i]));
}

// A value that is not a decimal integer reads as absent: a damaged entry must not stop the caller.
std::wstring TEncriptor::GetText(const std::wstring& Id, const std::wstring& DefaultValue) const {
    std::size_t i = IDList.find(Id);
    return i == EntryList::npos ? DefaultValue : valueOf(IDList[i]);
}

int TEncriptor::GetInt(const std::wstring& Id, int DefaultValue) const {
    const std::optional<long long> value = parseDecimal(GetStr(Id, L""));
    if (!value || *value < INT_MIN || *value > INT_MAX) return DefaultValue;
    return static_cast<int>(*value);
}

bool TEncriptor::GetBool(const std::wstring& Id, bool DefaultValue) const {
    if (!isValue(Id)) return DefaultValue;
    return GetStr(Id, L"") == L"1";
}

bool TEncriptor::isValue(const std::wstring& Id) const {
    return IDList.find(Id) != EntryList::npos;
}

void TEncriptor::SetStr(const std::wstring& Id, const std::wstring& Value) {
    std::size_t i = IDList.find(Id);
    if (i == EntryList::npos) {
        IDList.push_back(Id + L"=" + Value);
        MayFlush = true;
        return;
    }
    const std::wstring& entry = IDList[i];
    std::size_t valueStart = entry.find(L'=') + 1;
    if (entry.compare(valueStart, std::wstring::npos, Value) == 0) return;
    if (Value.empty())
        IDList.erase(IDList.begin() + static_cast<std::ptrdiff_t>(i));
    else
        IDList.replace(i, entry.substr(0, valueStart) + Value);
    MayFlush = true;
}

void TEncriptor::SetInt(const std::wstring& Id, int Value) { SetStr(Id, std::to_wstring(Value)); }

void TEncriptor::SetBool(const std::wstring& Id, bool Value) { SetStr(Id, Value ? L"1" : L"0"); }

void TEncriptor::Delete(const std::wstring& Id) {
    std::size_t i = IDList.find(Id);
    if (i == EntryList::npos) return;
    IDList.erase(IDList.begin() + static_cast<std::ptrdiff_t>(i));
    MayFlush = true;
}

// A part with characters above U+00FF is marked and carried as UTF-8, as the file is.
std::wstring TEncriptor::EncodePart(const std::wstring& S) const {
    return EncodeHex(EncodeHex(toStoreText(S, startsWithHeaderLine(S))));
}

std::wstring TEncriptor::DecodePart(const std::wstring& S) const { return fromStoreText(DecodeHex(DecodeHex(S))); }

void TEncriptor::EncodeStr(const std::wstring& Id, const std::wstring& Value) { SetStr(Id, EncodePart(Value)); }

std::wstring TEncriptor::DecodeStr(const std::wstring& Id) const { return DecodePart(GetStr(Id, L"")); }

void TEncriptor::setList(const std::wstring& Id, const std::vector<std::wstring>& sList) {
    DeleteBlock(Id);
    for (std::size_t i = 0; i < sList.size(); ++i) IDList.push_back(Id + std::to_wstring(i) + L"=" + sList[i]);
    MayFlush = true;
}

void TEncriptor::setListItem(const std::wstring& Id, const std::wstring& Value) {
    const std::wstring wanted = trimControls(Value);
    int count = 0;
    bool present = false;
    for (const std::wstring& entry : IDList) {
        if (!inBlock(entry, Id)) continue;
        ++count;
        if (!present && sameTextLatin1(valueOf(entry), wanted)) present = true;
    }
    if (!present) IDList.push_back(Id + std::to_wstring(count) + L"=" + wanted);
    MayFlush = true;
}

int TEncriptor::getList(const std::wstring& Id, std::vector<std::wstring>& sList, bool lLowerCase) const {
    sList.clear();
    for (const std::wstring& entry : IDList) {
        if (!inBlock(entry, Id)) continue;
        std::wstring value = valueOf(entry);
        if (lLowerCase)
            for (wchar_t& c : value)
                if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c + 0x20);
        sList.push_back(std::move(value));
    }
    return static_cast<int>(sList.size());
}

// A negative index changes nothing, like one past the end.
void TEncriptor::DeleteListItem(const std::wstring& Id, int Index) {
    std::vector<std::wstring> items;
    int count = getList(Id, items, false);
    if (Index < 0 || Index >= count) return;
    items.erase(items.begin() + Index);
    setList(Id, items);
}

void TEncriptor::DeleteListItem(const std::wstring& Id, const std::wstring& Value) {
    std::vector<std::wstring> items;
    getList(Id, items, false);
    auto it = std::find_if(items.begin(), items.end(), [&](const std::wstring& v) { return sameTextLatin1(v, Value); });
    if (it == items.end()) return;
    items.erase(it);
    setList(Id, items);
}

void TEncriptor::DeleteBlock(const std::wstring& Id) {
    if (IDList.eraseIf([&](const std::wstring& e) { return inBlock(e, Id); })) MayFlush = true;
}

void TEncriptor::RenameBlock(const std::wstring& Id, const std::wstring& Vl) {
    for (std::size_t i = 0; i < IDList.size(); ++i) {
        const std::wstring& entry = IDList[i];
        if (!inBlock(entry, Id)) continue;
        std::wstring renamed = Vl + entry.substr(Id.size());
        if (renamed == entry) continue;
        IDList.replace(i, std::move(renamed));
        MayFlush = true;
    }
}

unsigned char TEncriptor::ScrambleChar(unsigned char b) { return static_cast<unsigned char>(b ^ ScrambleKey); }

// One byte per character. Callers hand in store text (toStoreText), which never holds more;
// should anything above U+00FF reach here, it is written as "?" (a surrogate pair as one)
// rather than as some unrelated character of its low byte.
std::wstring TEncriptor::EncodeHex(const std::wstring& S) {
    static const wchar_t digits[] = L"0123456789ABCDEF";
    std::wstring out;
    out.reserve(S.size() * 2);
    for (std::size_t i = 0; i < S.size(); ++i) {
        unsigned long code = static_cast<unsigned long>(S[i]);
        if (code > 0xFF) {
            if (isHighSurrogate(S[i]) && i + 1 < S.size() && isLowSurrogate(S[i + 1])) ++i;
            code = L'?';
        }
        unsigned char b = ScrambleChar(static_cast<unsigned char>(code));
        out += digits[b >> 4];
        out += digits[b & 0x0F];
    }
    return out;
}

std::wstring TEncriptor::DecodeHex(const std::wstring& S) {
    std::wstring out;
    out.reserve(S.size() / 2 + 1);
    for (std::size_t i = 0; i < S.size(); i += 2) {
        int value;
        if (i + 1 < S.size()) {
            int high = hexDigit(S[i]), low = hexDigit(S[i + 1]);
            value = high < 0 || low < 0 ? 0 : high * 16 + low;
        } else {
            value = std::max(hexDigit(S[i]), 0);
        }
        out += static_cast<wchar_t>(ScrambleChar(static_cast<unsigned char>(value)));
    }
    return out;
}

TEncriptor::ContentStamp TEncriptor::stampOf(const std::optional<std::string>& content) {
    if (!content) return {};
    return {true, content->size(), std::hash<std::string_view>{}(*content)};
}

void TEncriptor::LoadData(bool Scrambled, bool CreateMissing) {
    IDList.clear();
    std::optional<std::string> content = storefile::readAll(DataFile);
    stamp_ = stampOf(content);
    stampPath_ = DataFile;
    if (!content) {
        IDList.push_back(ValidityMarker + L"=" + ValidityMarker);
        if (CreateMissing) SaveData(Scrambled);
        return;
    }
    if (!Scrambled) {
        IDList = splitLines(storefile::fromPlainText(*content));
        return;
    }
    // Empty lines are skipped and lines joined without separators: every line end drops out.
    std::wstring joined;
    joined.reserve(content->size());
    int offset = 0;
    for (char byte : *content) {
        if (byte == '\r' || byte == '\n') continue;
        int code = static_cast<unsigned char>(byte) - offset;
        joined += code >= 0 ? static_cast<wchar_t>(code) : L'\xFFFF';
        offset = offset + 1 == OffsetCycle ? 0 : offset + 1;
    }
    IDList = splitLines(fromStoreText(DecodeHex(DecodeHex(joined))));
}

// Refuses to replace a file that changed since this store read or wrote it; a file deleted
// since holds nothing that the write would lose. The check and the replace are not one step,
// so two saves at the same instant can still race.
void TEncriptor::writeFile(const std::string& bytes) {
    const ContentStamp now = stampPath_ == DataFile ? stampOf(storefile::readAll(DataFile)) : ContentStamp{};
    if (now.exists && now != stamp_)
        throw EStoreChanged(L"The settings file \"" + DataFile +
                            L"\" was changed by another program after Quillmark read it, and was not "
                            L"overwritten. Close Quillmark and start it again to see the changed settings.");
    storefile::replaceAll(DataFile, bytes);
    stamp_ = {true, bytes.size(), std::hash<std::string_view>{}(bytes)};
    stampPath_ = DataFile;
}

void TEncriptor::SaveData(bool Scrambled) {
    std::wstring text;
    for (const std::wstring& entry : IDList) text += entry + L"\r\n";
    if (!Scrambled) {
        writeFile(storefile::toPlainText(text));
        return;
    }
    const bool headerFirst = !IDList.empty() && startsWithHeaderLine(IDList.front());
    const std::wstring encoded = EncodeHex(EncodeHex(toStoreText(text, headerFirst)));
    std::string file;
    file.reserve(encoded.size() + (encoded.size() / LineLength + 1) * 2);
    int offset = 0;
    for (std::size_t i = 0; i < encoded.size(); ++i) {
        file += static_cast<char>(encoded[i] + offset);
        offset = offset + 1 == OffsetCycle ? 0 : offset + 1;
        if ((i + 1) % LineLength == 0 || i + 1 == encoded.size()) file += "\r\n";
    }
    writeFile(file);
}
