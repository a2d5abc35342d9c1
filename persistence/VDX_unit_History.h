#pragma once
// A history list: the texts behind a combo box that remembers what the user
// entered, newest first, without repeats and no longer than its limit. Each
// list has its own rule for telling repeats apart (a trailing character to
// ignore, letter case or not) and either a fixed limit or the user's
// MaxHistoryItems.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "engine/VDX_unit_Helpers.h"

namespace vdx {

class TKLXIni;

// The trailing character of "no character ignored": CYRILLIC CAPITAL LETTER
// IO, which no path or mask ends with.
inline constexpr char16_t kNoIgnoredChar = u'\u0401';

// The largest limit any list is cut to. MaxHistoryItems is taken from the
// file as it stands; beyond this the de-duplication (quadratic in the list
// length) would make a damaged file stall the start.
inline constexpr std::int32_t kMaxHistoryLimit = 10'000;

// The limit a MaxHistoryItems value gives: negative counts as 0.
std::size_t HistoryLimit(std::int32_t maxHistoryItems);

// How one list compares, ignores and cuts.
struct THistoryRule {
    char16_t loadIgnore = u'?';  // trailing character ignored at load
    char16_t addIgnore = u'?';   // trailing character ignored when adding
    std::int32_t fixedLimit = 0; // 0: the list follows MaxHistoryItems
    THistoryCompare compare = THistoryCompare::IgnoreAsciiCase;
};

// Reads a list stored as countKey and itemPrefix + "1".. itemPrefix + count:
// absent or empty items are skipped, repeats dropped (the earlier stays) and
// the list cut to limit. Reading stops once limit distinct entries are in, so
// a huge damaged list costs no more than a full one. The list is replaced.
void LoadTextList(TStrList& list, const TKLXIni& ini, int section, std::u16string_view countKey,
                  std::u16string_view itemPrefix, char16_t ignoredChar, std::size_t limit,
                  THistoryCompare compare);
// Writes the count and the items numbered from 1, each as WriteText stores
// it; an entry that would be stored empty (blank, or holding a line break) is
// left out, so that the next load reads exactly the list written.
void SaveTextList(const TStrList& list, TKLXIni& ini, int section, std::u16string_view countKey,
                  std::u16string_view itemPrefix);

// One history list. The windows that own it read and change items directly
// and put new texts in with Add.
class THistory {
public:
    explicit THistory(const THistoryRule& rule) : m_rule(rule) {}

    TStrList items;

    const THistoryRule& Rule() const { return m_rule; }
    // The list's limit: its fixed limit, else MaxHistoryItems.
    std::size_t Limit(std::int32_t maxHistoryItems) const;
    // Puts text in front, removes later repeats and cuts the list to its limit.
    void Add(std::u16string_view text, std::int32_t maxHistoryItems);
    // The items' texts, in order (for combo boxes).
    std::size_t Count() const { return items.size(); }
    const std::u16string& Text(std::size_t index) const { return items[index].text; }

    void Load(const TKLXIni& ini, int section, std::u16string_view countKey,
              std::u16string_view itemPrefix, std::int32_t maxHistoryItems);
    void Save(TKLXIni& ini, int section, std::u16string_view countKey,
              std::u16string_view itemPrefix) const;

private:
    THistoryRule m_rule;
};

} // namespace vdx
