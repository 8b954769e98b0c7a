#pragma once
// The settings store: an ordered list of name=value entries saved to one scrambled file.
#include <stdexcept>
#include <string>
#include <vector>

// Raised when the store file cannot be created, read or written.
class EInOutError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

extern const std::wstring ValidityMarker;

class TEncriptor {
public:
    // The fixed byte every character is XORed with in the scrambled format.
    static constexpr unsigned char ScrambleKey = 0xB3;

    TEncriptor(const std::wstring& FileName, bool Encoding);  // Create
    ~TEncriptor();                                             // never saves

    bool Flush(bool Exclusive);
    std::wstring GetStr(const std::wstring& Id, const std::wstring& DefaultValue) const;
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
    std::vector<std::wstring> IDList;  // "name=value", in file order
    bool IsValid = false;
    bool Encripted = true;

private:
    static unsigned char ScrambleChar(unsigned char b);
    static std::wstring EncodeHex(const std::wstring& S);
    static std::wstring DecodeHex(const std::wstring& S);
    void LoadData(bool Scrambled);
    void SaveData(bool Scrambled) const;
};
