#pragma once
// Compiled ";"-separated wildcard mask lists ("*" any run, "?" one character,
// case-insensitive), asked once per file the scan meets.

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace vdx {

// One element of a compiled mask: a literal run, a "?", or the match-all ".".
struct TSubPartItem {
    std::u16string text;
    bool anchored = false;
    bool tail = false;
    // Set only on the first literal of a group: a copy of that literal and the
    // group's further elements.
    std::unique_ptr<std::vector<TSubPartItem>> group;
};

// One mask of the list.
struct TPartFilterItem {
    std::u16string text;
    std::vector<TSubPartItem> elements;
};

// Compiles a mask list once and answers, without allocating, whether a file
// name matches it. Matches only reads the compiled list, so one thread may use
// it while nothing recompiles it.
class TFileSpecProcessor {
public:
    TFileSpecProcessor() = default;
    TFileSpecProcessor(const TFileSpecProcessor&) = delete;
    TFileSpecProcessor& operator=(const TFileSpecProcessor&) = delete;

    // Discards the compiled list and compiles text.
    void SetMask(std::u16string_view text);
    // True when name matches the list; defaultAnswer for an empty list or one
    // holding a match-all mask.
    bool Matches(std::u16string_view name, bool defaultAnswer) const;
    void Clear();

    const std::vector<TPartFilterItem>& Parts() const { return m_parts; }

    // True for the part that "*", "*.*" and the like compile to.
    static bool IsMatchAllPart(const TPartFilterItem& part);

private:
    void CompilePart(TPartFilterItem& part) const;
    bool IsOneWildcard(const TSubPartItem& item) const;
    bool MatchPart(const TPartFilterItem& part, std::u16string_view name) const;
    bool FindGroup(const std::vector<TSubPartItem>& group, std::u16string_view rest,
                   std::size_t from, std::size_t& matchEnd) const;

    std::vector<TPartFilterItem> m_parts;
    char16_t m_separator = u';';
    char16_t m_manyWildcard = u'*';
    char16_t m_oneWildcard = u'?';
    // Cached at compile time so that Matches need not look for it per file.
    bool m_hasMatchAll = false;
};

} // namespace vdx
