#include "persistence/VDX_unit_Columns.h"

#include <algorithm>
#include <array>

#include "engine/VDX_unit_SearchData.h"
#include "persistence/KLX_unit_Ini.h"
#include "persistence/VDX_unit_IniValues.h"

namespace vdx {

namespace {

constexpr std::array<std::int32_t, 8> kSetColumns{20, 21, 22, 23, 24, 25, 26, 27};
constexpr std::array<std::int32_t, 7> kSetShown{20, 27, 21, 22, 23, 24, 25};
constexpr std::array<std::int32_t, 1> kSetFixed{20};

constexpr std::array<std::int32_t, 8> kResultColumns{10, 11, 12, 13, 14, 15, 16, 17};
constexpr std::array<std::int32_t, 5> kResultFixed{10, 12, 13, 14, 15};

constexpr std::array<std::int32_t, 7> kOperationColumns{10, 12, 13, 14, 15, 16, 17};

constexpr std::array<std::int32_t, 7> kAlertColumns{11, 12, 13, 14, 15, 16, 17};
constexpr std::array<std::int32_t, 4> kAlertFixed{11, 12, 13, 14};

const std::array<TColumnLayoutInfo, kColumnLayoutCount> kLayouts{{
    {"LV_Columns", u"LV_clm_", u"SortID", kSetColumns, kSetShown, kSetFixed, kColSearchPath},
    {"SG_Columns", u"SG_clm_", u"SortCol", kResultColumns, kResultColumns, kResultFixed, kColName},
    {"OP_Columns", u"OP_clm_", u"SortCol", kOperationColumns, kOperationColumns, kResultFixed,
     kColName},
    {"CPY_Columns", u"CPY_clm_", u"SortCol", kOperationColumns, kOperationColumns, kResultFixed,
     kColName},
    {"SA_Columns", u"SA_clm_", u"SortCol", kAlertColumns, kAlertColumns, kAlertFixed, kColName},
}};

constexpr std::int32_t kViewCount = 6;

} // namespace

std::u16string_view ColumnCaption(std::int32_t id) {
    switch (id) {
    case kColMark:
        return u"M";
    case kColGroup:
        return u"Grp";
    case kColName:
        return u"Name";
    case kColExt:
        return u"Ext";
    case kColPath:
        return u"Path";
    case kColSize:
        return u"Size";
    case kColDate:
        return u"Date";
    case kColAttr:
        return u"Attr";
    default:
        break;
    }
    const std::u16string_view setCaption = SetColumnCaption(id);
    return setCaption.empty() ? u"???" : setCaption;
}

bool IsColumnIdentifier(std::int32_t id) {
    return (id >= kColMark && id <= kColAttr) || (id >= kColSearchPath && id <= kColSubFolders);
}

const TColumnLayoutInfo& ColumnLayoutInfo(TColumnLayout layout) {
    return kLayouts[static_cast<std::size_t>(layout)];
}

TColumnList::TColumnList(TColumnLayout layout)
    : sortColumn(ColumnLayoutInfo(layout).defaultSort), m_layout(layout) {}

void TColumnList::AddDefinition(std::int32_t id, std::int32_t width) {
    if (TColumnBag* existing = FindDefinition(id)) {
        existing->width = width;
        return;
    }
    TColumnBag bag;
    bag.id = id;
    bag.width = width;
    m_definitions.push_back(std::move(bag));
}

bool TColumnList::AddShown(std::int32_t id) {
    if (!IsColumnIdentifier(id) || !FindDefinition(id) || IsShown(id))
        return false;
    m_shown.push_back(id);
    return true;
}

void TColumnList::Finish(std::span<const std::int32_t> fixedSet) {
    for (TColumnBag& bag : m_definitions) {
        bag.caption = std::u16string(ColumnCaption(bag.id));
        bag.fixed = std::find(fixedSet.begin(), fixedSet.end(), bag.id) != fixedSet.end();
    }
}

TColumnBag* TColumnList::Definition(std::size_t index) {
    return index < m_definitions.size() ? &m_definitions[index] : nullptr;
}

const TColumnBag* TColumnList::Definition(std::size_t index) const {
    return index < m_definitions.size() ? &m_definitions[index] : nullptr;
}

std::int32_t TColumnList::ShownId(std::size_t position) const {
    return position < m_shown.size() ? m_shown[position] : -1;
}

TColumnBag* TColumnList::ShownDefinition(std::size_t position) {
    return position < m_shown.size() ? FindDefinition(m_shown[position]) : nullptr;
}

const TColumnBag* TColumnList::ShownDefinition(std::size_t position) const {
    return position < m_shown.size() ? FindDefinition(m_shown[position]) : nullptr;
}

TColumnBag* TColumnList::FindDefinition(std::int32_t id) {
    for (TColumnBag& bag : m_definitions)
        if (bag.id == id)
            return &bag;
    return nullptr;
}

const TColumnBag* TColumnList::FindDefinition(std::int32_t id) const {
    for (const TColumnBag& bag : m_definitions)
        if (bag.id == id)
            return &bag;
    return nullptr;
}

bool TColumnList::IsShown(std::int32_t id) const {
    return std::find(m_shown.begin(), m_shown.end(), id) != m_shown.end();
}

int TColumnList::ResultsSortKey() const {
    switch (sortColumn) {
    case kColMark:
        return 10;
    case kColGroup:
        return 9;
    case kColExt:
        return 3;
    case kColPath:
        return 6;
    case kColSize:
        return 4;
    case kColDate:
        return 5;
    default:
        return 2;
    }
}

void TColumnList::LoadDefaults() {
    const TColumnLayoutInfo& info = Info();
    autosize = true;
    ascending = true;
    sortColumn = info.defaultSort;
    m_definitions.clear();
    m_shown.clear();
    for (std::int32_t id : info.definitions)
        AddDefinition(id, kDefaultColumnWidth);
    for (std::int32_t id : info.defaultShown)
        AddShown(id);
    Finish(info.fixed);
}

void TColumnList::Load(const TKLXIni& ini, int section, std::int32_t* resultView) {
    const TColumnLayoutInfo& info = Info();
    m_definitions.clear();
    m_shown.clear();
    autosize = ReadBool(ini, section, u"bAutosize", true);
    ascending = ReadBool(ini, section, u"bAsc", true);
    sortColumn = ini.ReadInteger(section, info.sortKey, info.defaultSort);
    if (resultView)
        *resultView = ReadRanged(ini, section, u"ResultView", 0, 0, kViewCount - 1);

    std::u16string key;
    for (std::int32_t id : info.definitions) {
        std::int32_t width =
            ini.ReadInteger(section, NumberedKey(key, u"Column_", id), kDefaultColumnWidth);
        if (width < 0)
            width = kDefaultColumnWidth;
        AddDefinition(id, width);
    }
    if (!FindDefinition(sortColumn))
        sortColumn = info.defaultSort;

    std::u16string countKey(info.shownPrefix);
    countKey += u"Count";
    const std::int32_t count = ReadCount(ini, section, countKey);
    for (std::int32_t position = 0; position < count && m_shown.size() < m_definitions.size();
         ++position)
        AddShown(ini.ReadInteger(section, NumberedKey(key, info.shownPrefix, position), -1));
    if (m_shown.empty())
        for (std::int32_t id : info.defaultShown)
            AddShown(id);
    Finish(info.fixed);
}

void TColumnList::Save(TKLXIni& ini, int section, const std::int32_t* resultView) const {
    const TColumnLayoutInfo& info = Info();
    WriteBool(ini, section, u"bAutosize", autosize);
    WriteBool(ini, section, u"bAsc", ascending);
    ini.WriteInteger(section, info.sortKey, sortColumn);
    if (resultView)
        ini.WriteInteger(section, u"ResultView", *resultView);
    std::u16string key;
    for (const TColumnBag& bag : m_definitions)
        ini.WriteInteger(section, NumberedKey(key, u"Column_", bag.id), bag.width);
    if (m_shown.empty())
        return;
    std::u16string countKey(info.shownPrefix);
    countKey += u"Count";
    ini.WriteInteger(section, countKey, static_cast<std::int32_t>(m_shown.size()));
    for (std::size_t position = 0; position < m_shown.size(); ++position)
        ini.WriteInteger(section,
                         NumberedKey(key, info.shownPrefix, static_cast<std::int64_t>(position)),
                         m_shown[position]);
}

} // namespace vdx
