#pragma once
// TKLXIni reads and writes the program's INI files. Reading takes the whole
// file in one pass into flat record tables and two byte pools and indexes the
// names by sorting, so every lookup is a binary search; writing appends
// sections and keys in the order they are to appear and saves them at once.
// A store is used either for reading or for writing, never both.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace vdx {

// A key name prepared once for many lookups: upper-cased and hashed as the
// store indexes its names. Readers that look up the same names in thousands
// of sections (the search path records of the settings) keep one per name.
class TIniKey {
public:
    explicit TIniKey(std::u16string_view name);
    std::string_view Upper() const { return m_upper; }
    std::uint32_t Hash() const { return m_hash; }

private:
    std::string m_upper;
    std::uint32_t m_hash = 0;
};

class TKLXIni {
public:
    TKLXIni();
    ~TKLXIni();
    TKLXIni(const TKLXIni&) = delete;
    TKLXIni& operator=(const TKLXIni&) = delete;

    // ---- Reading ----

    // Empties the store and loads the file. Returns 0 or the errno of the
    // failure (ENOENT for a missing file, which callers treat as empty); keys
    // parsed before a read error stay available.
    int LoadFromFile(std::u16string_view path);
    // Loads from bytes already in memory, exactly as LoadFromFile parses a
    // file (used by tests and the fuzz target).
    void LoadFromText(std::string_view bytes);

    // Index of the section (ASCII letters compared without case), or -1.
    int FindSection(std::u16string_view name) const;
    // A key present twice in a section reads as its first occurrence. Values
    // that are not valid UTF-8 decode losslessly (stray bytes become lone
    // surrogates) and are written back byte for byte.
    std::u16string ReadString(int section, std::u16string_view key,
                              std::u16string_view defaultValue) const;
    std::int32_t ReadInteger(int section, std::u16string_view key, std::int32_t defaultValue) const;
    // Accepts the user's regional decimal separator only, as WriteFloat writes it.
    double ReadFloat(int section, std::u16string_view key, double defaultValue) const;
    // The same three reads with a prepared name.
    std::u16string ReadString(int section, const TIniKey& key,
                              std::u16string_view defaultValue) const;
    std::int32_t ReadInteger(int section, const TIniKey& key, std::int32_t defaultValue) const;
    double ReadFloat(int section, const TIniKey& key, double defaultValue) const;

    // ---- Writing ----

    // Appends a section; name is already UTF-8. No check for duplicates.
    // Returns -1 for a name the file cannot hold (more than 65,535 bytes or
    // a line break); writes to -1 or any other unknown index are ignored.
    int AddSection(std::string_view name);
    // A key whose name or value holds a line break, or more than 65,535
    // bytes of UTF-8, is not written: it would corrupt the lines after it.
    void WriteString(int section, std::u16string_view key, std::u16string_view value);
    void WriteInteger(int section, std::u16string_view key, std::int32_t value);
    void WriteFloat(int section, std::u16string_view key, double value);
    // Writes the text to a temporary file beside path, flushes it to disk and
    // renames it over path. Returns 0 or the errno of the first failing step;
    // on failure the old file is left as it was.
    int SaveToFile(std::u16string_view path);
    // The text SaveToFile writes.
    std::string SavedText() const;

private:
    struct TImpl;
    std::unique_ptr<TImpl> m_impl;
};

} // namespace vdx
