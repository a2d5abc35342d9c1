#include "persistence/KLX_unit_Ini.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "engine/VDX_unit_Helpers.h"
#include "platform/VDX_unit_AtomicFile.h"
#include "platform/VDX_unit_FileSystem.h"
#include "platform/VDX_unit_Locale.h"
#include "platform/VDX_unit_Text.h"

namespace vdx {

namespace {

// The file is read in blocks of kBlock bytes behind the unfinished line of
// the previous block, so the buffer holds at most two blocks. A line of more
// than kBlock bytes (without its line break) is skipped whole.
constexpr std::size_t kBlock = 65536;
constexpr std::size_t kBuffer = 2 * kBlock;
// Name and value lengths are 16-bit fields.
constexpr std::size_t kMaxField = 65535;
// Pool positions are 32-bit fields.
constexpr std::size_t kMaxPool = 0xFFFFFFFFu;

// Sections of at most this many keys keep file order and are searched
// linearly (by hash): cheaper than sorting them, and as fast to search.
constexpr std::int32_t kLinearKeys = 32;

constexpr std::size_t kSectionStep = 131072;
constexpr std::size_t kKeyStep = 262144;
constexpr std::size_t kPoolStep = 65536;
constexpr std::size_t kOutputStep = 131072;

#pragma pack(push, 1)
struct TSectionRec {
    std::uint32_t namePos;
    std::uint16_t nameLen;
    // Position of appearance while loading or writing; after indexing, the
    // position in the sorted table.
    std::int32_t order;
    // Index of the section's first key in the sorted key table, -1 for none.
    std::int32_t firstKey;
    std::int32_t keyCount;
    // Hash of the upper-cased name, set by indexing: sections are ordered by
    // it first, as keys are within a section.
    std::uint32_t nameHash;
};

struct TKeyRec {
    std::uint32_t namePos;
    std::uint16_t nameLen;
    std::uint32_t valuePos;
    std::uint16_t valueLen;
    std::int32_t section;
    // Hash of the upper-cased name, set by indexing: the first key of the
    // order within a section, so most comparisons never touch the name pool.
    std::uint32_t nameHash;
};
#pragma pack(pop)

// A table of trivially copyable records that grows by a fixed step. The
// first step is taken on the first append, so a store that is never filled
// costs nothing. Records move when it grows: hold indexes, not pointers.
template <typename T>
class TStepArray {
public:
    explicit TStepArray(std::size_t step) : m_step(step) {}
    ~TStepArray() { std::free(m_data); }
    TStepArray(const TStepArray&) = delete;
    TStepArray& operator=(const TStepArray&) = delete;

    std::size_t Size() const { return m_size; }
    T* Data() { return m_data; }
    const T* Data() const { return m_data; }
    T& operator[](std::size_t i) { return m_data[i]; }
    const T& operator[](std::size_t i) const { return m_data[i]; }
    // Keeps the memory for the next fill.
    void Clear() { m_size = 0; }
    void Shrink(std::size_t size) { m_size = size; }
    void Swap(TStepArray& other) {
        std::swap(m_data, other.m_data);
        std::swap(m_size, other.m_size);
        std::swap(m_capacity, other.m_capacity);
        std::swap(m_step, other.m_step);
    }
    // Room for n records without growing (a load sizes its pools by the file).
    void ReserveFor(std::size_t n) { Reserve(n); }
    // Sets the size to n; the new records are uninitialised.
    void Resize(std::size_t n) {
        Reserve(n);
        m_size = n;
    }

    void Push(const T& item) {
        Reserve(m_size + 1);
        m_data[m_size++] = item;
    }
    void Append(const T* items, std::size_t n) {
        Reserve(m_size + n);
        if (n > 0)
            std::memcpy(m_data + m_size, items, n * sizeof(T));
        m_size += n;
    }

private:
    void Reserve(std::size_t needed) {
        if (needed <= m_capacity)
            return;
        const std::size_t capacity = (needed + m_step - 1) / m_step * m_step;
        void* grown = std::realloc(m_data, capacity * sizeof(T));
        if (!grown)
            throw std::bad_alloc();
        m_data = static_cast<T*>(grown);
        m_capacity = capacity;
    }

    T* m_data = nullptr;
    std::size_t m_size = 0;
    std::size_t m_capacity = 0;
    std::size_t m_step;
};

inline bool IsBreak(char c) {
    return c == '\r' || c == '\n';
}

inline bool IsBlank(char c) {
    return static_cast<unsigned char>(c) <= 32;
}

inline char AsciiUpper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

// Byte order with unsigned bytes; a name that is a prefix of another sorts first.
inline int CompareBytes(const char* a, std::size_t na, const char* b, std::size_t nb) {
    const int c = std::memcmp(a, b, std::min(na, nb));
    if (c != 0)
        return c;
    return na < nb ? -1 : (na > nb ? 1 : 0);
}

// Hash of an upper-cased name, eight bytes at a time: a byte-wise hash is
// one long chain of multiplications, which cost more than the rest of
// parsing a key line.
inline std::uint32_t NameHash(const char* name, std::size_t n) {
    constexpr std::uint64_t kMul = 0xFF51AFD7ED558CCDull;
    std::uint64_t h = (n + 1) * 0x9E3779B97F4A7C15ull;
    std::size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        std::uint64_t word = 0;
        std::memcpy(&word, name + i, 8);
        h = (h ^ word) * kMul;
        h ^= h >> 32;
    }
    if (i < n) {
        std::uint64_t word = 0;
        std::memcpy(&word, name + i, n - i);
        h = (h ^ word) * kMul;
        h ^= h >> 32;
    }
    return static_cast<std::uint32_t>(h ^ (h >> 29));
}

// The form names take in the loaded name pool. Settings read hundreds of
// thousands of keys at start-up, all of them short ASCII names, so those are
// upper-cased into a buffer inside the object; other names take the general
// conversion.
class TLookupName {
public:
    explicit TLookupName(std::u16string_view name) {
        if (name.size() <= sizeof(m_buffer)) {
            std::size_t i = 0;
            for (; i < name.size() && name[i] < 0x80; ++i)
                m_buffer[i] = AsciiUpper(static_cast<char>(name[i]));
            if (i == name.size()) {
                m_view = std::string_view(m_buffer, i);
                m_hash = NameHash(m_buffer, i);
                return;
            }
        }
        m_heap = ToUtf8(name);
        for (char& c : m_heap)
            c = AsciiUpper(c);
        m_view = m_heap;
        m_hash = NameHash(m_heap.data(), m_heap.size());
    }
    TLookupName(const TLookupName&) = delete;
    TLookupName& operator=(const TLookupName&) = delete;

    const char* data() const { return m_view.data(); }
    std::size_t size() const { return m_view.size(); }
    std::string_view View() const { return m_view; }
    // NameHash of the upper-cased name.
    std::uint32_t Hash() const { return m_hash; }

private:
    char m_buffer[128];
    std::uint32_t m_hash = 0;
    std::string m_heap;
    std::string_view m_view;
};

// The order of keys within a section: by hash, then by name (equal hashes of
// different names), so that equal names are neighbours and a lookup is a
// binary search on the same order.
inline int CompareKeyName(std::uint32_t hashA, const char* a, std::size_t na, std::uint32_t hashB,
                          const char* b, std::size_t nb) {
    if (hashA != hashB)
        return hashA < hashB ? -1 : 1;
    return CompareBytes(a, na, b, nb);
}

bool HasBreak(std::string_view text) {
    return text.find_first_of("\r\n") != std::string_view::npos;
}

// Decimal with an optional sign, or hexadecimal after "$" (or after "0x"
// when more follows it); the whole text must be the number and fit 32 bits.
bool ParseInt32(std::string_view text, std::int32_t& value) {
    bool hex = false;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        text.remove_prefix(2);
        hex = true;
    } else if (!text.empty() && text[0] == '$') {
        text.remove_prefix(1);
        hex = true;
    }
    bool negative = false;
    if (!hex && !text.empty() && (text[0] == '+' || text[0] == '-')) {
        negative = text[0] == '-';
        text.remove_prefix(1);
    }
    // from_chars into an unsigned type accepts digits only: no sign, no
    // prefix, no blanks.
    std::uint64_t magnitude = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, magnitude, hex ? 16 : 10);
    if (text.empty() || ec != std::errc() || ptr != end)
        return false;
    if (negative) {
        if (magnitude > 2147483648u)
            return false;
        value = static_cast<std::int32_t>(-static_cast<std::int64_t>(magnitude));
    } else {
        if (magnitude > 2147483647u)
            return false;
        value = static_cast<std::int32_t>(magnitude);
    }
    return true;
}

// [sign] digits [separator digits] [e|E [sign] digits], at least one digit
// before the exponent; the separator is the regional one only.
bool ParseFloat(std::string_view text, std::string_view separator, double& value) {
    std::string plain;
    plain.reserve(text.size());
    std::size_t i = 0;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        if (text[i] == '-')
            plain += '-';
        ++i;
    }
    int digits = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
        plain += text[i++];
        ++digits;
    }
    if (!separator.empty() && text.substr(i, separator.size()) == separator) {
        plain += '.';
        i += separator.size();
        while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
            plain += text[i++];
            ++digits;
        }
    }
    if (digits == 0)
        return false;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        plain += 'e';
        ++i;
        if (i < text.size() && (text[i] == '+' || text[i] == '-'))
            plain += text[i++];
        int expDigits = 0;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
            plain += text[i++];
            ++expDigits;
        }
        if (expDigits == 0)
            return false;
    }
    if (i != text.size())
        return false;
    // Locale-independent; out of the double range gives result_out_of_range.
    const char* end = plain.data() + plain.size();
    const auto [ptr, ec] = std::from_chars(plain.data(), end, value, std::chars_format::general);
    return ec == std::errc() && ptr == end;
}

std::string DecimalSeparatorUtf8() {
    const char16_t separator = DecimalSeparator();
    // Nearly always "." or ",": no conversion needed.
    if (separator < 0x80)
        return std::string(1, static_cast<char>(separator));
    return ToUtf8(std::u16string(1, separator));
}

} // namespace

struct TKLXIni::TImpl {
    TStepArray<TSectionRec> sections{kSectionStep};
    TStepArray<TKeyRec> keys{kKeyStep};
    TStepArray<char> names{kPoolStep};
    TStepArray<char> values{kPoolStep};
    TStepArray<char> output{kOutputStep};
    // The keys regrouped by section while indexing; kept for the next load.
    TStepArray<TKeyRec> sortedKeys{kKeyStep};
    // The read buffer, made on the first load and kept for the next one.
    std::unique_ptr<char[]> readBuffer;
    std::u16string fileName;
    // Always set: values are decoded from UTF-8 when read.
    bool utf8Values = true;
    // True once a load has sorted the tables; lookups need it.
    bool indexed = false;
    // The section the keys being parsed belong to, -1 before the first header.
    std::int32_t currentSection = -1;

    void Clear() {
        sections.Clear();
        keys.Clear();
        names.Clear();
        values.Clear();
        output.Clear();
        fileName.clear();
        indexed = false;
        currentSection = -1;
    }

    std::string_view NameOf(std::uint32_t pos, std::uint16_t len) const {
        return {names.Data() + pos, len};
    }
    std::string_view ValueOf(const TKeyRec& key) const {
        return {values.Data() + key.valuePos, key.valueLen};
    }

    // Copies bytes into a pool with the zero byte after them; false when the
    // pool would outgrow its 32-bit positions.
    static bool PoolAppend(TStepArray<char>& pool, std::string_view bytes, std::uint32_t& pos) {
        if (pool.Size() + bytes.size() + 1 > kMaxPool)
            return false;
        pos = static_cast<std::uint32_t>(pool.Size());
        pool.Append(bytes.data(), bytes.size());
        pool.Push('\0');
        return true;
    }

    std::int32_t AppendSection(std::string_view name) {
        if (name.size() > kMaxField || sections.Size() >= 0x7FFFFFFF)
            return -1;
        // Packed fields cannot be bound to references: positions go through locals.
        std::uint32_t namePos = 0;
        if (!PoolAppend(names, name, namePos))
            return -1;
        TSectionRec rec{};
        rec.namePos = namePos;
        rec.nameLen = static_cast<std::uint16_t>(name.size());
        rec.order = static_cast<std::int32_t>(sections.Size());
        rec.firstKey = -1;
        rec.keyCount = 0;
        rec.nameHash = 0;
        sections.Push(rec);
        return rec.order;
    }

    void AppendKey(std::int32_t section, std::string_view name, std::string_view value) {
        if (name.size() > kMaxField || value.size() > kMaxField || keys.Size() >= 0x7FFFFFFF)
            return;
        if (names.Size() + name.size() + 1 > kMaxPool ||
            values.Size() + value.size() + 1 > kMaxPool)
            return;
        std::uint32_t namePos = 0;
        std::uint32_t valuePos = 0;
        PoolAppend(names, name, namePos);
        PoolAppend(values, value, valuePos);
        TKeyRec rec{};
        rec.namePos = namePos;
        rec.valuePos = valuePos;
        rec.nameLen = static_cast<std::uint16_t>(name.size());
        rec.valueLen = static_cast<std::uint16_t>(value.size());
        rec.section = section;
        rec.nameHash = 0;
        keys.Push(rec);
    }

    // A key read from a file: its name goes into the pool upper-cased, and
    // hashed, as lookups need it (a written store keeps names as given).
    void AppendLoadedKey(std::int32_t section, std::string_view name, std::string_view value) {
        if (name.size() > kMaxField || value.size() > kMaxField || keys.Size() >= 0x7FFFFFFF)
            return;
        if (names.Size() + name.size() + 1 > kMaxPool ||
            values.Size() + value.size() + 1 > kMaxPool)
            return;
        const auto namePos = static_cast<std::uint32_t>(names.Size());
        names.Resize(names.Size() + name.size() + 1);
        char* upper = names.Data() + namePos;
        for (std::size_t i = 0; i < name.size(); ++i)
            upper[i] = AsciiUpper(name[i]);
        upper[name.size()] = '\0';
        const std::uint32_t h = NameHash(upper, name.size());
        std::uint32_t valuePos = 0;
        PoolAppend(values, value, valuePos);
        TKeyRec rec{};
        rec.namePos = namePos;
        rec.valuePos = valuePos;
        rec.nameLen = static_cast<std::uint16_t>(name.size());
        rec.valueLen = static_cast<std::uint16_t>(value.size());
        rec.section = section;
        rec.nameHash = h;
        keys.Push(rec);
    }

    template <typename TRead>
    int Load(TRead&& read);
    void ParseLines(const char* text, std::size_t n);
    void ParseLine(const char* line, std::size_t n);
    void Index();

    // name is upper-cased, hash its NameHash.
    int FindSection(std::string_view name, std::uint32_t hash) const;
    const TKeyRec* FindKey(int section, std::u16string_view key) const;
    // name is upper-cased, hash its NameHash.
    const TKeyRec* FindKey(int section, std::string_view name, std::uint32_t hash) const;
    const TSectionRec* KeyedSection(int section) const {
        if (!indexed || section < 0 || static_cast<std::size_t>(section) >= sections.Size())
            return nullptr;
        const TSectionRec& rec = sections[static_cast<std::size_t>(section)];
        return rec.keyCount > 0 ? &rec : nullptr;
    }

    void BuildOutput();
    int Save(std::u16string_view path);
};

// Reads blocks through read(buffer, capacity, got) until it reports the end
// (got == 0) or an error, parsing every complete line, then indexes what was
// parsed. Returns 0 or the read error.
template <typename TRead>
int TKLXIni::TImpl::Load(TRead&& read) {
    if (!readBuffer)
        readBuffer.reset(new char[kBuffer]);
    char* const buf = readBuffer.get();
    std::size_t used = 0;  // the unfinished line carried over, at most kBlock
    bool skipping = false; // inside a line longer than kBlock
    int rc = 0;
    for (;;) {
        std::size_t got = 0;
        rc = read(buf + used, kBlock, got);
        if (rc != 0 || got == 0)
            break;
        const std::size_t end = used + got;
        std::size_t start = 0;
        if (skipping) {
            // Nothing was carried over, so the line end can only be new.
            while (start < end && !IsBreak(buf[start]))
                ++start;
            if (start == end) {
                used = 0;
                continue;
            }
            skipping = false;
        }
        // The carried-over bytes hold no break, so only the new ones are
        // searched: short reads (one byte at a time, say) stay linear. After
        // a skip, buf[start] is a break, so one is always found.
        const std::size_t fresh = std::max(start, used);
        std::size_t last = end; // just after the last line break
        while (last > fresh && !IsBreak(buf[last - 1]))
            --last;
        if (last == fresh)
            last = start;
        if (last > start)
            ParseLines(buf + start, last - start);
        const std::size_t rest = end - last;
        if (rest > kBlock) {
            skipping = true;
            used = 0;
        } else {
            std::memmove(buf, buf + end - rest, rest);
            used = rest;
        }
    }
    // An unfinished last line is not parsed.
    Index();
    return rc;
}

// text ends just after a line break.
void TKLXIni::TImpl::ParseLines(const char* text, std::size_t n) {
    // Every "\r" and every "\n" ends a line (so "\r\n" leaves an empty line
    // between them, which parses to nothing and is not looked at). memchr
    // finds the breaks far faster than a byte loop on files of hundreds of
    // thousands of lines.
    auto line = [this, text](std::size_t start, std::size_t end) {
        // The over-long line's tail was part of a block; it still counts whole.
        if (end > start && end - start <= kBlock)
            ParseLine(text + start, end - start);
    };
    std::size_t lineStart = 0;
    while (lineStart < n) {
        const void* lf = std::memchr(text + lineStart, '\n', n - lineStart);
        const std::size_t lfPos =
            lf ? static_cast<std::size_t>(static_cast<const char*>(lf) - text) : n;
        while (lineStart < lfPos) {
            const void* cr = std::memchr(text + lineStart, '\r', lfPos - lineStart);
            if (!cr)
                break;
            const auto crPos = static_cast<std::size_t>(static_cast<const char*>(cr) - text);
            line(lineStart, crPos);
            lineStart = crPos + 1;
        }
        // The text ends just after a break, so without a "\n" nothing is left.
        if (!lf)
            break;
        line(lineStart, lfPos);
        lineStart = lfPos + 1;
    }
}

// One line without its break. Token, key name and flags live only for the
// line; the current section carries over.
void TKLXIni::TImpl::ParseLine(const char* line, std::size_t n) {
    // Nearly every line is "name=value" with no bracket before the "=":
    // there every byte after the "=" is part of the value and every byte
    // before it part of the name, which is what the full scan below finds
    // for such a line, at a fraction of its cost.
    const void* equals = std::memchr(line, '=', n);
    if (!equals) {
        // Without "=" only a header yields anything.
        if (!std::memchr(line, '[', n))
            return;
    } else {
        const auto eq = static_cast<std::size_t>(static_cast<const char*>(equals) - line);
        bool plain = true;
        for (std::size_t i = 0; i < eq && plain; ++i)
            plain = line[i] != '[' && line[i] != ']';
        if (plain) {
            if (currentSection < 0)
                return;
            std::size_t keyStart = 0;
            std::size_t keyEnd = eq;
            while (keyStart < keyEnd && IsBlank(line[keyStart]))
                ++keyStart;
            while (keyEnd > keyStart && IsBlank(line[keyEnd - 1]))
                --keyEnd;
            std::size_t valueStart = eq + 1;
            std::size_t valueEnd = n;
            while (valueStart < valueEnd && IsBlank(line[valueStart]))
                ++valueStart;
            while (valueEnd > valueStart && IsBlank(line[valueEnd - 1]))
                --valueEnd;
            if (keyEnd > keyStart && valueEnd > valueStart)
                AppendLoadedKey(currentSection, {line + keyStart, keyEnd - keyStart},
                                {line + valueStart, valueEnd - valueStart});
            return;
        }
    }
    std::size_t tokenStart = 0;
    std::size_t tokenLen = 0; // ordinary characters since tokenStart
    std::size_t keyStart = 0;
    std::size_t keyLen = 0;
    bool inHeader = false;
    bool afterEquals = false;
    bool comment = false;
    auto trim = [line](std::size_t& start, std::size_t& len) {
        while (len > 0 && IsBlank(line[start])) {
            ++start;
            --len;
        }
        while (len > 0 && IsBlank(line[start + len - 1]))
            --len;
    };
    for (std::size_t i = 0; i < n; ++i) {
        const char c = line[i];
        bool ordinary = true;
        if (c == '=') {
            if (!inHeader && !afterEquals) {
                keyStart = tokenStart;
                keyLen = tokenLen;
                trim(keyStart, keyLen);
                tokenLen = 0;
                afterEquals = true;
                ordinary = false;
            }
        } else if (c == '[') {
            if (afterEquals) {
            } else if (comment) {
                ordinary = false;
            } else if (!inHeader) {
                // What stood before "[" belongs to nothing.
                ordinary = false;
                tokenLen = 0;
                inHeader = true;
            }
        } else if (c == ']') {
            if (!afterEquals) {
                ordinary = false;
                if (inHeader && !comment) {
                    std::size_t start = tokenStart;
                    std::size_t len = tokenLen;
                    trim(start, len);
                    if (len > 0) {
                        // A header the tables cannot hold opens no section,
                        // so its keys are not filed under the previous one.
                        currentSection = AppendSection({line + start, len});
                    }
                    // The rest of the line is ignored.
                    return;
                }
            }
        } else if (c == '/') {
            // A line always ends in its break, which the caller cut off; the
            // next byte of the line is checked only when there is one.
            if (i + 1 < n && line[i + 1] == '/')
                comment = true;
        }
        if (ordinary) {
            if (tokenLen == 0)
                tokenStart = i;
            ++tokenLen;
        }
    }
    if (!afterEquals || keyLen == 0 || currentSection < 0)
        return;
    trim(tokenStart, tokenLen);
    if (tokenLen == 0)
        return;
    AppendLoadedKey(currentSection, {line + keyStart, keyLen}, {line + tokenStart, tokenLen});
}

void TKLXIni::TImpl::Index() {
    // Section names are upper-cased in place here; key names already were
    // when they were parsed.
    char* pool = names.Data();
    for (std::size_t s = 0; s < sections.Size(); ++s) {
        char* name = pool + sections[s].namePos;
        for (std::size_t i = 0; i < sections[s].nameLen; ++i)
            name[i] = AsciiUpper(name[i]);
        sections[s].nameHash = NameHash(name, sections[s].nameLen);
    }

    const std::size_t sectionCount = sections.Size();
    TSectionRec* sec = sections.Data();
    const char* namePool = names.Data();
    std::sort(sec, sec + sectionCount, [namePool](const TSectionRec& a, const TSectionRec& b) {
        const int c = CompareKeyName(a.nameHash, namePool + a.namePos, a.nameLen, b.nameHash,
                                     namePool + b.namePos, b.nameLen);
        return c != 0 ? c < 0 : a.order < b.order;
    });

    // Merge runs of equal names into their first section; newIndex maps the
    // position of appearance to the merged section.
    std::vector<std::int32_t> newIndex(sectionCount);
    std::size_t kept = 0;
    for (std::size_t i = 0; i < sectionCount; ++i) {
        const TSectionRec rec = sec[i];
        if (kept > 0 && sec[kept - 1].nameHash == rec.nameHash &&
            CompareBytes(namePool + sec[kept - 1].namePos, sec[kept - 1].nameLen,
                         namePool + rec.namePos, rec.nameLen) == 0) {
            newIndex[static_cast<std::size_t>(rec.order)] = static_cast<std::int32_t>(kept - 1);
            continue;
        }
        newIndex[static_cast<std::size_t>(rec.order)] = static_cast<std::int32_t>(kept);
        sec[kept] = rec;
        sec[kept].order = static_cast<std::int32_t>(kept);
        sec[kept].firstKey = -1;
        sec[kept].keyCount = 0;
        ++kept;
    }
    sections.Shrink(kept);

    // Each section's keys must lie together, in file order. They already do
    // unless a section name appeared twice: keys follow their header and
    // sections are numbered in order of appearance. Otherwise they are
    // grouped by a counting sort, which keeps file order within a section.
    const std::size_t keyCount = keys.Size();
    TKeyRec* key = keys.Data();
    const bool merged = kept < sectionCount;
    for (std::size_t i = 0; i < keyCount; ++i) {
        const std::int32_t owner = newIndex[static_cast<std::size_t>(key[i].section)];
        key[i].section = owner;
        TSectionRec& ownerRec = sec[static_cast<std::size_t>(owner)];
        if (ownerRec.keyCount++ == 0)
            ownerRec.firstKey = static_cast<std::int32_t>(i);
    }
    if (merged) {
        std::int32_t next = 0;
        for (std::size_t s = 0; s < kept; ++s) {
            sec[s].firstKey = sec[s].keyCount > 0 ? next : -1;
            next += sec[s].keyCount;
        }
        sortedKeys.Resize(keyCount);
        TKeyRec* sorted = sortedKeys.Data();
        // newIndex is no longer needed: it becomes the fill position per section.
        for (std::size_t s = 0; s < kept; ++s)
            newIndex[s] = sec[s].firstKey;
        for (std::size_t i = 0; i < keyCount; ++i)
            sorted[newIndex[static_cast<std::size_t>(key[i].section)]++] = key[i];
        keys.Swap(sortedKeys);
        key = keys.Data();
    }
    // Values are pooled in file order, so the value position keeps equal
    // names of one section in file order: the first of them is found.
    auto less = [namePool](const TKeyRec& a, const TKeyRec& b) {
        const int c = CompareKeyName(a.nameHash, namePool + a.namePos, a.nameLen, b.nameHash,
                                     namePool + b.namePos, b.nameLen);
        return c != 0 ? c < 0 : a.valuePos < b.valuePos;
    };
    // A section of a few keys stays in file order and is searched by its
    // hashes from the front, which finds the first of equal names too; only
    // long sections (histories, lists) are sorted for a binary search.
    for (std::size_t s = 0; s < kept; ++s)
        if (sec[s].keyCount > kLinearKeys)
            std::sort(key + sec[s].firstKey, key + sec[s].firstKey + sec[s].keyCount, less);
    indexed = true;
}

int TKLXIni::TImpl::FindSection(std::string_view name, std::uint32_t hash) const {
    if (!indexed)
        return -1;
    std::size_t lo = 0;
    std::size_t hi = sections.Size();
    while (lo < hi) {
        const std::size_t mid = lo + (hi - lo) / 2;
        const TSectionRec& rec = sections[mid];
        const int c = CompareKeyName(rec.nameHash, names.Data() + rec.namePos, rec.nameLen, hash,
                                     name.data(), name.size());
        if (c == 0)
            return static_cast<int>(mid);
        if (c < 0)
            lo = mid + 1;
        else
            hi = mid;
    }
    return -1;
}

const TKeyRec* TKLXIni::TImpl::FindKey(int section, std::u16string_view key) const {
    // Nothing to find: the name need not be converted.
    if (!KeyedSection(section))
        return nullptr;
    const TLookupName name(key);
    return FindKey(section, name.View(), name.Hash());
}

const TKeyRec* TKLXIni::TImpl::FindKey(int section, std::string_view name,
                                       std::uint32_t hash) const {
    const TSectionRec* rec = KeyedSection(section);
    if (!rec)
        return nullptr;
    if (rec->keyCount <= kLinearKeys) {
        const TKeyRec* k = keys.Data() + rec->firstKey;
        const TKeyRec* const end = k + rec->keyCount;
        for (; k != end; ++k)
            if (k->nameHash == hash &&
                CompareBytes(names.Data() + k->namePos, k->nameLen, name.data(), name.size()) == 0)
                return k;
        return nullptr;
    }
    // Lower bound, so that of equal names the first in the file is found.
    std::size_t lo = static_cast<std::size_t>(rec->firstKey);
    std::size_t hi = lo + static_cast<std::size_t>(rec->keyCount);
    const std::size_t end = hi;
    while (lo < hi) {
        const std::size_t mid = lo + (hi - lo) / 2;
        const TKeyRec& k = keys[mid];
        if (CompareKeyName(k.nameHash, names.Data() + k.namePos, k.nameLen, hash, name.data(),
                           name.size()) < 0)
            lo = mid + 1;
        else
            hi = mid;
    }
    if (lo == end)
        return nullptr;
    const TKeyRec& found = keys[lo];
    if (found.nameHash != hash ||
        CompareBytes(names.Data() + found.namePos, found.nameLen, name.data(), name.size()) != 0)
        return nullptr;
    return &found;
}

void TKLXIni::TImpl::BuildOutput() {
    output.Clear();
    std::int32_t previous = -1;
    auto put = [this](std::string_view bytes) { output.Append(bytes.data(), bytes.size()); };
    for (std::size_t i = 0; i < keys.Size(); ++i) {
        const TKeyRec key = keys[i];
        if (key.section != previous) {
            if (output.Size() > 0)
                put("\r\n");
            const TSectionRec& sec = sections[static_cast<std::size_t>(key.section)];
            put("[");
            put(NameOf(sec.namePos, sec.nameLen));
            put("]\r\n");
            previous = key.section;
        }
        put(NameOf(key.namePos, key.nameLen));
        put("=");
        put(ValueOf(key));
        put("\r\n");
    }
}

// Writes the text to a new file beside the target, flushes it and renames it
// over the target, so that a crash or a full disk leaves the old file whole.
// A link to the settings file (kept in a dotfiles folder, say) stays a link,
// and the new file keeps the mode of the one it replaces.
int TKLXIni::TImpl::Save(std::u16string_view path) {
    BuildOutput();
    TAtomicWriteOptions options;
    options.resolveLink = true;
    options.keepMode = true;
    options.syncFolder = true;
    return WriteFileAtomically(
        NativePath(LongPathForm(path)),
        [this](int fd) {
            const char* text = output.Data();
            std::size_t left = output.Size();
            int rc = 0;
            while (rc == 0 && left > 0) {
                const std::size_t piece = std::min(left, kBlock);
                rc = WriteAll(fd, text, piece);
                text += piece;
                left -= piece;
            }
            return rc;
        },
        options);
}

TKLXIni::TKLXIni() : m_impl(std::make_unique<TImpl>()) {}

TKLXIni::~TKLXIni() = default;

int TKLXIni::LoadFromFile(std::u16string_view path) {
    m_impl->Clear();
    m_impl->fileName.assign(path);
    const std::string native = NativePath(LongPathForm(path));
    int fd = -1;
    if (const int rc = Fs().Open(native.c_str(), O_RDONLY, 0, fd); rc != 0)
        return rc;
    // Names and values together never take more bytes than their lines, so
    // pools of the file's size never grow: growing a pool of megabytes by
    // fixed steps would copy it over and over. Pages not filled cost nothing.
    struct stat st {};
    if (Fs().FStat(fd, st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0) {
        const auto size = std::min<std::size_t>(static_cast<std::size_t>(st.st_size), kMaxPool);
        m_impl->names.ReserveFor(size);
        m_impl->values.ReserveFor(size);
    }
    const int rc = m_impl->Load([fd](char* buffer, std::size_t capacity, std::size_t& got) {
        return Fs().Read(fd, buffer, capacity, got);
    });
    (void)Fs().Close(fd);
    return rc;
}

void TKLXIni::LoadFromText(std::string_view bytes) {
    m_impl->Clear();
    m_impl->Load([&bytes](char* buffer, std::size_t capacity, std::size_t& got) {
        got = std::min(capacity, bytes.size());
        if (got > 0)
            std::memcpy(buffer, bytes.data(), got);
        bytes.remove_prefix(got);
        return 0;
    });
}

int TKLXIni::FindSection(std::u16string_view name) const {
    const TLookupName upper(name);
    return m_impl->FindSection(upper.View(), upper.Hash());
}

namespace {

// The value of a found key; defaultValue when absent.
std::u16string StringValue(std::string_view value, bool found, std::u16string_view defaultValue) {
    if (!found)
        return std::u16string(defaultValue);
    // The lossless codec: bytes that are not valid UTF-8 come back as lone
    // surrogates and are written back unchanged.
    return FromUtf8(value);
}

std::int32_t IntegerValue(std::string_view value, bool found, std::int32_t defaultValue) {
    std::int32_t parsed = 0;
    if (!found || !ParseInt32(value, parsed))
        return defaultValue;
    return parsed;
}

double FloatValue(std::string_view value, bool found, double defaultValue) {
    double parsed = 0;
    if (!found || !ParseFloat(value, DecimalSeparatorUtf8(), parsed))
        return defaultValue;
    return parsed;
}

} // namespace

TIniKey::TIniKey(std::u16string_view name) {
    const TLookupName upper(name);
    m_upper.assign(upper.View());
    m_hash = upper.Hash();
}

std::u16string TKLXIni::ReadString(int section, std::u16string_view key,
                                   std::u16string_view defaultValue) const {
    const TKeyRec* found = m_impl->FindKey(section, key);
    return StringValue(found ? m_impl->ValueOf(*found) : std::string_view(), found, defaultValue);
}

std::int32_t TKLXIni::ReadInteger(int section, std::u16string_view key,
                                  std::int32_t defaultValue) const {
    const TKeyRec* found = m_impl->FindKey(section, key);
    return IntegerValue(found ? m_impl->ValueOf(*found) : std::string_view(), found, defaultValue);
}

double TKLXIni::ReadFloat(int section, std::u16string_view key, double defaultValue) const {
    const TKeyRec* found = m_impl->FindKey(section, key);
    return FloatValue(found ? m_impl->ValueOf(*found) : std::string_view(), found, defaultValue);
}

std::u16string TKLXIni::ReadString(int section, const TIniKey& key,
                                   std::u16string_view defaultValue) const {
    const TKeyRec* found = m_impl->FindKey(section, key.Upper(), key.Hash());
    return StringValue(found ? m_impl->ValueOf(*found) : std::string_view(), found, defaultValue);
}

std::int32_t TKLXIni::ReadInteger(int section, const TIniKey& key,
                                  std::int32_t defaultValue) const {
    const TKeyRec* found = m_impl->FindKey(section, key.Upper(), key.Hash());
    return IntegerValue(found ? m_impl->ValueOf(*found) : std::string_view(), found, defaultValue);
}

double TKLXIni::ReadFloat(int section, const TIniKey& key, double defaultValue) const {
    const TKeyRec* found = m_impl->FindKey(section, key.Upper(), key.Hash());
    return FloatValue(found ? m_impl->ValueOf(*found) : std::string_view(), found, defaultValue);
}

int TKLXIni::AddSection(std::string_view name) {
    if (HasBreak(name))
        return -1;
    return m_impl->AppendSection(name);
}

void TKLXIni::WriteString(int section, std::u16string_view key, std::u16string_view value) {
    if (section < 0 || static_cast<std::size_t>(section) >= m_impl->sections.Size())
        return;
    const std::string name = ToUtf8(key);
    const std::string bytes = ToUtf8(value);
    if (HasBreak(name) || HasBreak(bytes))
        return;
    m_impl->AppendKey(section, name, bytes);
}

void TKLXIni::WriteInteger(int section, std::u16string_view key, std::int32_t value) {
    char text[16];
    const auto result = std::to_chars(text, text + sizeof text, value);
    WriteString(section, key, FromUtf8({text, static_cast<std::size_t>(result.ptr - text)}));
}

void TKLXIni::WriteFloat(int section, std::u16string_view key, double value) {
    char text[64];
    const auto result =
        std::to_chars(text, text + sizeof text, value, std::chars_format::general, 15);
    std::u16string utf16 = FromUtf8({text, static_cast<std::size_t>(result.ptr - text)});
    std::replace(utf16.begin(), utf16.end(), u'.', DecimalSeparator());
    WriteString(section, key, utf16);
}

int TKLXIni::SaveToFile(std::u16string_view path) {
    return m_impl->Save(path);
}

std::string TKLXIni::SavedText() const {
    m_impl->BuildOutput();
    if (m_impl->output.Size() == 0)
        return {};
    return std::string(m_impl->output.Data(), m_impl->output.Size());
}

} // namespace vdx
