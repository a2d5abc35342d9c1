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

private:
    std::vector<TPartFilterItem> m_parts;
    char16_t m_separator = u';';
    char16_t m_manyWildcard = u'*';
    char16_t m_oneWildcard = u'?';
};

} // namespace vdx
