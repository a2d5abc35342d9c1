#include "persistence/VDX_unit_History.h"

#include <algorithm>
#include <vector>

#include "persistence/KLX_unit_Ini.h"
#include "persistence/VDX_unit_IniValues.h"

namespace vdx {

std::size_t HistoryLimit(std::int32_t maxHistoryItems) {
    if (maxHistoryItems <= 0)
        return 0;
    return static_cast<std::size_t>(maxHistoryItems < kMaxHistoryLimit ? maxHistoryItems
                                                                       : kMaxHistoryLimit);
}

void LoadTextList(TStrList& list, const TKLXIni& ini, int section, std::u16string_view countKey,
                  std::u16string_view itemPrefix, char16_t ignoredChar, std::size_t limit,
                  THistoryCompare compare) {
    list.clear();
    if (limit == 0)
        return;
    const std::int32_t count = ReadCount(ini, section, countKey);
    std::u16string key;
    for (std::int32_t n = 1; n <= count; ++n) {
        std::u16string text = ini.ReadString(section, NumberedKey(key, itemPrefix, n), u"");
        if (text.empty())
            continue;
        list.push_back(TStrItem{std::move(text)});
        // Tidying keeps the earliest entries of each key, so once a tidied list
        // is full no later item can enter it.
        if (list.size() > limit) {
            TidyHistory(list, ignoredChar, limit, compare);
            if (list.size() == limit)
                return;
        }
    }
    TidyHistory(list, ignoredChar, limit, compare);
}

void SaveTextList(const TStrList& list, TKLXIni& ini, int section, std::u16string_view countKey,
                  std::u16string_view itemPrefix) {
    std::vector<std::u16string> stored;
    stored.reserve(list.size());
    for (const TStrItem& item : list) {
        std::u16string text = StoredText(item.text);
        if (!text.empty())
            stored.push_back(std::move(text));
    }
    ini.WriteInteger(section, countKey, static_cast<std::int32_t>(stored.size()));
    std::u16string key;
    std::int64_t n = 0;
    for (const std::u16string& text : stored)
        ini.WriteString(section, NumberedKey(key, itemPrefix, ++n), text);
}

std::size_t THistory::Limit(std::int32_t maxHistoryItems) const {
    return m_rule.fixedLimit > 0 ? HistoryLimit(m_rule.fixedLimit) : HistoryLimit(maxHistoryItems);
}

void THistory::Add(std::u16string_view text, std::int32_t maxHistoryItems) {
    items.push_back(TStrItem{std::u16string(text)});
    std::rotate(items.begin(), items.end() - 1, items.end());
    TidyHistory(items, m_rule.addIgnore, Limit(maxHistoryItems), m_rule.compare);
}

void THistory::Load(const TKLXIni& ini, int section, std::u16string_view countKey,
                    std::u16string_view itemPrefix, std::int32_t maxHistoryItems) {
    LoadTextList(items, ini, section, countKey, itemPrefix, m_rule.loadIgnore,
                 Limit(maxHistoryItems), m_rule.compare);
}

void THistory::Save(TKLXIni& ini, int section, std::u16string_view countKey,
                    std::u16string_view itemPrefix) const {
    SaveTextList(items, ini, section, countKey, itemPrefix);
}

} // namespace vdx
