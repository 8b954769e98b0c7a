#pragma once
// The settings store: an ordered list of name=value entries saved to one scrambled file.
#include <cstddef>
#include <initializer_list>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "store/atomic_file.h"

extern const std::wstring ValidityMarker;

// The store's entries: a list of "name=value" texts that also finds the first entry of a name
// without walking the list. Elements are read-only through this type; every change goes through
// a member below, and each member that can move or rename entries drops the name index, which
// the next look-up rebuilds. So the index can never describe a list other than the current one,
// however the list is edited. Reads as a std::vector<std::wstring> wherever one is expected.
class EntryList {
public:
    using value_type = std::wstring;
    using size_type = std::size_t;
    using const_iterator = std::vector<std::wstring>::const_iterator;
    using iterator = const_iterator;
    static constexpr size_type npos = static_cast<size_type>(-1);

    EntryList() = default;
    EntryList(std::initializer_list<std::wstring> entries) : items_(entries) {}
    explicit EntryList(std::vector<std::wstring> entries) : items_(std::move(entries)) {}
    EntryList(const EntryList&) = default;
    EntryList& operator=(const EntryList&) = default;
    EntryList(EntryList&& other) noexcept;
    EntryList& operator=(EntryList&& other) noexcept;
    EntryList& operator=(std::vector<std::wstring> entries);
    EntryList& operator=(std::initializer_list<std::wstring> entries);

    operator const std::vector<std::wstring>&() const { return items_; }
    const std::vector<std::wstring>& items() const { return items_; }

    size_type size() const { return items_.size(); }
    bool empty() const { return items_.empty(); }
    const std::wstring& operator[](size_type i) const { return items_[i]; }
    const std::wstring& at(size_type i) const { return items_.at(i); }
    const std::wstring& front() const { return items_.front(); }
    const std::wstring& back() const { return items_.back(); }
    const std::wstring* data() const { return items_.data(); }
    const_iterator begin() const { return items_.begin(); }
    const_iterator end() const { return items_.end(); }

    void clear();
    void push_back(std::wstring entry);
    const_iterator insert(const_iterator pos, std::wstring entry);
    const_iterator erase(const_iterator pos);
    const_iterator erase(const_iterator first, const_iterator last);
    void replace(size_type i, std::wstring entry);  // sets entry i to a new text
    template <class Pred>
    size_type eraseIf(Pred pred) {
        try {
            size_type removed = std::erase_if(items_, pred);
            if (removed) dropIndex();
            return removed;
        } catch (...) {
            dropIndex();
            throw;
        }
    }

    // Position of the first entry whose name equals `name` without regard to case; npos if none.
    size_type find(const std::wstring& name) const;

    friend bool operator==(const EntryList& a, const EntryList& b) { return a.items_ == b.items_; }
    friend bool operator==(const EntryList& a, const std::vector<std::wstring>& b) { return a.items_ == b; }

private:
    void dropIndex();
    void buildIndex() const;

    std::vector<std::wstring> items_;
    // Folded name -> position of its first entry; valid only while `indexed_` is set.
    mutable std::unordered_map<std::wstring, size_type> firstByName_;
    mutable bool indexed_ = false;
};

// Raised by a save when the file holds something else than this store last read or wrote:
// another program (a second copy of this one, most likely) saved it since, and overwriting
// it would silently drop what that one saved.
class EStoreChanged : public EInOutError {
public:
    using EInOutError::EInOutError;
};

class TEncriptor {
public:
    // The fixed byte every character is XORed with in the scrambled format.
    static constexpr unsigned char ScrambleKey = 0xB3;

    // Create. A missing file is created holding the validity marker, unless CreateMissing is
    // false: then the store starts with that entry in memory and HasFile() tells.
    TEncriptor(const std::wstring& FileName, bool Encoding, bool CreateMissing = true);
    ~TEncriptor();  // never saves

    // The file existed when the store last read or wrote it.
    bool HasFile() const { return stamp_.exists; }

    bool Flush(bool Exclusive);
    std::wstring GetStr(const std::wstring& Id, const std::wstring& DefaultValue) const;
    // The value exactly as stored, outer blanks and all: a text typed with them is read back whole.
    std::wstring GetText(const std::wstring& Id, const std::wstring& DefaultValue) const;
    int GetInt(const std::wstring& Id, int DefaultValue) const;
    bool GetBool(const std::wstring& Id, bool DefaultValue) const;
    bool isValue(const std::wstring& Id) const;
    void SetStr(const std::wstring& Id, const std::wstring& Value);
    void SetInt(const std::wstring& Id, int Value);
    void SetBool(const std::wstring& Id, bool Value);
    void Delete(const std::wstring& Id);
    std::wstring EncodePart(const std::wstring& S) const;
    std::wstring DecodePart(const std::wstring& S) const;
    void EncodeStr(const std::wstring& Id, const std::wstring& Value);
    std::wstring DecodeStr(const std::wstring& Id) const;
    void setList(const std::wstring& Id, const std::vector<std::wstring>& sList);
    void setListItem(const std::wstring& Id, const std::wstring& Value);
    int getList(const std::wstring& Id, std::vector<std::wstring>& sList, bool lLowerCase) const;
    void DeleteListItem(const std::wstring& Id, int Index);
    void DeleteListItem(const std::wstring& Id, const std::wstring& Value);
    void DeleteBlock(const std::wstring& Id);
    void RenameBlock(const std::wstring& Id, const std::wstring& Vl);

    std::wstring DataFile;
    bool MayFlush = false;
    EntryList IDList;  // "name=value", in file order
    bool IsValid = false;
    bool Encripted = true;

private:
    // What the file held when this store last read or wrote it: its content, by size and hash.
    struct ContentStamp {
        bool exists = false;
        std::size_t size = 0, hash = 0;
        bool operator==(const ContentStamp&) const = default;
    };
    static ContentStamp stampOf(const std::optional<std::string>& content);

    static unsigned char ScrambleChar(unsigned char b);
    static std::wstring EncodeHex(const std::wstring& S);
    static std::wstring DecodeHex(const std::wstring& S);
    void LoadData(bool Scrambled, bool CreateMissing);
    void SaveData(bool Scrambled);
    void writeFile(const std::string& bytes);

    ContentStamp stamp_;
    std::wstring stampPath_;  // the file stamp_ describes; a store given another DataFile writes unchecked
};
