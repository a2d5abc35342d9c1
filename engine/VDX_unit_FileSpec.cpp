#include "engine/VDX_unit_FileSpec.h"

#include <array>

#include "platform/VDX_unit_Text.h"

namespace vdx {

namespace {

// Element text of the match-all part; also what "*.*" compiles to on its own.
constexpr std::u16string_view kMatchAllText = u".";

// File names on Linux hold at most 255 bytes, hence at most 255 UTF-16 units;
// longer texts (only from callers other than the scan) take the heap path.
constexpr std::size_t kNameBufferSize = 512;

std::u16string_view Trimmed(std::u16string_view text) {
    std::size_t first = 0;
    std::size_t last = text.size();
    while (first < last && text[first] <= 32)
        ++first;
    while (last > first && text[last - 1] <= 32)
        --last;
    return text.substr(first, last - first);
}

TSubPartItem MakeItem(std::u16string_view text, bool anchored) {
    TSubPartItem item;
    item.text.assign(text);
    item.anchored = anchored;
    return item;
}

} // namespace

void TFileSpecProcessor::Clear() {
    m_parts.clear();
    m_hasMatchAll = false;
}

bool TFileSpecProcessor::IsMatchAllPart(const TPartFilterItem& part) {
    if (part.elements.size() != 1)
        return false;
    const TSubPartItem& only = part.elements.front();
    return only.text == kMatchAllText && !only.anchored && !only.tail && !only.group;
}

bool TFileSpecProcessor::IsOneWildcard(const TSubPartItem& item) const {
    // Literal runs never hold a wildcard (there is no escape), so a one-unit
    // text equal to the wildcard can only be the "?" element.
    return item.text.size() == 1 && item.text.front() == m_oneWildcard;
}

void TFileSpecProcessor::SetMask(std::u16string_view text) {
    Clear();
    std::u16string upper(text);
    UpperCaseInPlace(upper);
    std::u16string_view all(upper);
    std::size_t start = 0;
    while (start <= all.size()) {
        std::size_t stop = all.find(m_separator, start);
        if (stop == std::u16string_view::npos)
            stop = all.size();
        std::u16string_view piece = Trimmed(all.substr(start, stop - start));
        if (!piece.empty()) {
            TPartFilterItem& part = m_parts.emplace_back();
            part.text.assign(piece);
            CompilePart(part);
            if (IsMatchAllPart(part))
                m_hasMatchAll = true;
        }
        start = stop + 1;
    }
}

void TFileSpecProcessor::CompilePart(TPartFilterItem& part) const {
    std::vector<TSubPartItem>& elems = part.elements;
    const std::u16string_view mask(part.text);
    const char16_t wildcards[] = {m_manyWildcard, m_oneWildcard};
    const std::u16string_view wildcardSet(wildcards, 2);

    // Left-to-right scan into literal runs and "?" elements; a run of stars
    // only leaves "star pending" behind, so consecutive stars act as one.
    bool starPending = false;
    std::size_t pos = 0;
    while (pos < mask.size()) {
        const std::size_t wild = mask.find_first_of(wildcardSet, pos);
        if (wild == std::u16string_view::npos) {
            elems.push_back(MakeItem(mask.substr(pos), !starPending));
            starPending = false;
            break;
        }
        bool literalAdded = false;
        if (wild > pos) {
            elems.push_back(MakeItem(mask.substr(pos, wild - pos), !starPending));
            literalAdded = true;
        }
        if (mask[wild] == m_oneWildcard) {
            // Only a literal of this same step ties the "?" to what precedes
            // it; a literal before a star does not ("a*?" is not "a?").
            elems.push_back(MakeItem(mask.substr(wild, 1), literalAdded || !starPending));
            starPending = false;
        } else {
            starPending = true;
        }
        pos = wild + 1;
    }

    if (elems.empty()) {
        // Only stars: the match-all part.
        elems.push_back(MakeItem(kMatchAllText, false));
        return;
    }

    // Tail marking: the final star-free segment is matched from the end of
    // the name, unless the mask ends with a star.
    std::size_t firstTail = elems.size();
    if (!starPending) {
        firstTail = elems.size() - 1;
        elems.back().tail = true;
        while (firstTail > 0 && elems[firstTail].anchored) {
            --firstTail;
            elems[firstTail].tail = true;
        }
    }

    // Grouping, from the back so that earlier indices stay valid: a star-free
    // middle segment with two or more literal runs must be searched as a
    // whole, since its first literal's leftmost occurrence need not be the one
    // the rest of the segment follows. The head segment (anchored at the start
    // of the name) and the tail are never grouped.
    std::size_t segEnd = firstTail;
    while (segEnd > 0) {
        std::size_t segStart = segEnd - 1;
        while (segStart > 0 && elems[segStart].anchored)
            --segStart;
        const bool isHead = segStart == 0 && elems[0].anchored;
        if (!isHead) {
            std::size_t firstLit = segEnd;
            std::size_t lastLit = segEnd;
            std::size_t literals = 0;
            for (std::size_t i = segStart; i < segEnd; ++i) {
                if (IsOneWildcard(elems[i]))
                    continue;
                if (literals++ == 0)
                    firstLit = i;
                lastLit = i;
            }
            if (literals >= 2) {
                auto group = std::make_unique<std::vector<TSubPartItem>>();
                group->reserve(lastLit - firstLit + 1);
                group->push_back(MakeItem(elems[firstLit].text, elems[firstLit].anchored));
                for (std::size_t i = firstLit + 1; i <= lastLit; ++i)
                    group->push_back(std::move(elems[i]));
                elems.erase(elems.begin() + static_cast<std::ptrdiff_t>(firstLit) + 1,
                            elems.begin() + static_cast<std::ptrdiff_t>(lastLit) + 1);
                elems[firstLit].group = std::move(group);
            }
        }
        segEnd = segStart;
    }
}

bool TFileSpecProcessor::FindGroup(const std::vector<TSubPartItem>& group, std::u16string_view rest,
                                   std::size_t from, std::size_t& matchEnd) const {
    const std::u16string_view first(group.front().text);
    std::size_t at = rest.find(first, from);
    while (at != std::u16string_view::npos) {
        std::size_t pos = at + first.size();
        bool placed = true;
        for (std::size_t i = 1; i < group.size(); ++i) {
            const TSubPartItem& item = group[i];
            if (IsOneWildcard(item)) {
                if (pos >= rest.size())
                    return false; // a later occurrence leaves even less room
                ++pos;
                continue;
            }
            const std::u16string_view literal(item.text);
            if (rest.size() - pos < literal.size())
                return false; // likewise
            if (rest.compare(pos, literal.size(), literal) != 0) {
                placed = false;
                break;
            }
            pos += literal.size();
        }
        if (placed) {
            matchEnd = pos;
            return true;
        }
        // Occurrences may overlap ("AA?B" in "AAAXB"), so step by one.
        at = rest.find(first, at + 1);
    }
    return false;
}

bool TFileSpecProcessor::MatchPart(const TPartFilterItem& part, std::u16string_view name) const {
    const std::vector<TSubPartItem>& elems = part.elements;
    // The not yet consumed rest of the name is name[begin, end).
    std::size_t begin = 0;
    std::size_t end = name.size();
    // "?" elements consumed since the last literal or group match, and how
    // many of them were tied to their predecessor without a star between.
    std::size_t pending = 0;
    std::size_t anchoredPending = 0;

    std::size_t index = 0;
    for (; index < elems.size(); ++index) {
        const TSubPartItem& item = elems[index];
        const std::size_t restLen = end - begin;
        if (restLen == 0 || restLen < pending)
            return false;
        if (item.tail)
            break;
        const std::u16string_view rest = name.substr(begin, restLen);
        if (item.group) {
            std::size_t matchEnd = 0;
            if (!FindGroup(*item.group, rest, pending, matchEnd))
                return false;
            begin += matchEnd;
            pending = anchoredPending = 0;
        } else if (IsOneWildcard(item)) {
            ++pending;
            if (item.anchored)
                ++anchoredPending;
            else
                anchoredPending = 0;
            if (restLen < pending)
                return false;
        } else {
            const std::u16string_view literal(item.text);
            std::size_t at;
            if (item.anchored && anchoredPending == pending) {
                // No star since the last match: the literal must follow the
                // reserved characters at once.
                if (rest.compare(pending, literal.size(), literal) != 0)
                    return false;
                at = pending;
            } else {
                at = rest.find(literal, pending);
                if (at == std::u16string_view::npos)
                    return false;
            }
            begin += at + literal.size();
            pending = anchoredPending = 0;
        }
    }
    if (index == elems.size())
        return true; // the mask ends with a star

    // Tail phase: the final star-free segment must sit at the end of the rest.
    for (std::size_t back = elems.size(); back-- > index;) {
        const TSubPartItem& item = elems[back];
        const std::size_t restLen = end - begin;
        if (restLen == 0 || restLen < pending)
            return false;
        if (IsOneWildcard(item)) {
            --end;
            continue;
        }
        const std::u16string_view literal(item.text);
        if (restLen < literal.size() ||
            name.compare(end - literal.size(), literal.size(), literal) != 0)
            return false;
        end -= literal.size();
    }
    // A mask without any star must use up the whole name.
    if (index == 0 && elems.front().anchored)
        return begin == end;
    return end - begin >= pending;
}

bool TFileSpecProcessor::Matches(std::u16string_view name, bool defaultAnswer) const {
    if (m_parts.empty() || m_hasMatchAll)
        return defaultAnswer;

    std::array<char16_t, kNameBufferSize> local;
    std::u16string longName;
    char16_t* upper = local.data();
    if (name.size() > local.size()) {
        longName.resize(name.size());
        upper = longName.data();
    }
    name.copy(upper, name.size());
    UpperCaseInPlace(upper, name.size());
    const std::u16string_view upperName(upper, name.size());

    for (const TPartFilterItem& part : m_parts) {
        if (MatchPart(part, upperName))
            return true;
    }
    return false;
}

} // namespace vdx
